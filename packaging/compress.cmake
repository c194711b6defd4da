# gzip -9n of IN into OUT, after scdoc when SCDOC is given (a manual page's source).
# SOURCE_DATE_EPOCH dates the page, so one version always gives the same bytes.
# Run with cmake -P and -DIN= -DOUT= -DGZIP= [-DSCDOC= -DEPOCH=]
cmake_minimum_required(VERSION 3.25)

set(plain ${IN})
if(SCDOC)
  string(REGEX REPLACE "\\.gz$" "" plain ${OUT})
  set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
  execute_process(COMMAND ${SCDOC} INPUT_FILE ${IN} OUTPUT_FILE ${plain} RESULT_VARIABLE rc
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "scdoc failed on ${IN} (${rc}): ${err}")
  endif()
endif()
execute_process(COMMAND ${GZIP} -9n -c ${plain} OUTPUT_FILE ${OUT} RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${plain} (${rc}): ${err}")
endif()
