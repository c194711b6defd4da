# Draws the icons from the program's own picture: the snapshot tool renders frame
# FRAME, and ImageMagick crops a square around the cube and scales it to each size.
# Run with cmake -P and -DSNAPSHOT= -DCONVERT= -DOUT_DIR= -DNAME= -DFRAME= -DSIZES=, and
# -DRUN_WITH= the emulator a cross-built snapshot tool runs under (empty for a native one).
cmake_minimum_required(VERSION 3.25)

set(frame ${OUT_DIR}/frame.png)
execute_process(COMMAND ${RUN_WITH} ${SNAPSHOT} --frames ${FRAME} --out ${frame} RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "icons: ${SNAPSHOT} failed (${rc}): ${err}")
endif()

# The cube is the only thing in colour (the axes are white, the background black), so
# the box around every pixel with any saturation is the box around the cube.
execute_process(COMMAND ${CONVERT} ${frame} -colorspace HSL -channel G -separate +channel
                        -threshold 0 -format "%@" info:
                OUTPUT_VARIABLE box RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT box MATCHES "^([0-9]+)x([0-9]+)\\+([0-9]+)\\+([0-9]+)$")
  message(FATAL_ERROR "icons: no box around the cube from ${CONVERT} (${rc}): '${box}' ${err}")
endif()
set(w ${CMAKE_MATCH_1})
set(h ${CMAKE_MATCH_2})
set(x ${CMAKE_MATCH_3})
set(y ${CMAKE_MATCH_4})
if(w LESS 32 OR h LESS 32)
  message(FATAL_ERROR "icons: frame ${FRAME} shows no cube to crop (box ${box})")
endif()

# A square a little larger than the cube, moved inside the 800 x 600 frame if needed.
set(side ${w})
if(h GREATER w)
  set(side ${h})
endif()
math(EXPR side "${side} * 104 / 100")
if(side GREATER 600)
  set(side 600)
endif()
math(EXPR left "${x} + ${w} / 2 - ${side} / 2")
math(EXPR top "${y} + ${h} / 2 - ${side} / 2")
math(EXPR right_most "800 - ${side}")
math(EXPR bottom_most "600 - ${side}")
foreach(edge left top)
  if(${edge} LESS 0)
    set(${edge} 0)
  endif()
endforeach()
if(left GREATER right_most)
  set(left ${right_most})
endif()
if(top GREATER bottom_most)
  set(top ${bottom_most})
endif()

# Black becomes transparent so the cube stands on any panel; no time stamps, so one
# version always gives the same bytes.
foreach(size IN LISTS SIZES)
  set(out ${OUT_DIR}/${size}x${size}/${NAME}.png)
  file(MAKE_DIRECTORY ${OUT_DIR}/${size}x${size})
  execute_process(COMMAND ${CONVERT} ${frame} -crop ${side}x${side}+${left}+${top} +repage
                          -transparent black -resize ${size}x${size} -strip
                          -define png:exclude-chunks=date,time PNG32:${out}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "icons: ${CONVERT} could not write ${out} (${rc}): ${err}")
  endif()
endforeach()
