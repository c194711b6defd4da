# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE). CPack's DEB generator
# dates every archive member, the tarballs and the .deb's own members by
# SOURCE_DATE_EPOCH, so one commit always packs into the same bytes: the time is that
# of the last commit, or the release's date outside a git checkout. A SOURCE_DATE_EPOCH
# already in the environment (a distribution's build) is left as it is.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "")
  if(CPACK_VIEWER_GIT)
    execute_process(COMMAND ${CPACK_VIEWER_GIT} -C ${CPACK_VIEWER_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    if(NOT rc EQUAL 0)
      set(epoch "")
    endif()
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    set(epoch ${CPACK_VIEWER_RELEASE_EPOCH})
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
