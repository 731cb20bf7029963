# Writes BuildInfo.h at every build, touching it only when its content
# changes, so that the build number follows new commits without a new
# configure. Inputs (-D): TEMPLATE, OUTPUT, SOURCE_DIR, PROJECT_VERSION,
# BUILD_NUMBER (empty: the commit count of a git checkout of SOURCE_DIR),
# WEBSITE, SUPPORT_EMAIL, UPDATE_FEED.
set(orvinta_build_number "${BUILD_NUMBER}")
if(orvinta_build_number STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    # Only a checkout of this project counts, not a tarball inside another repository.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
      OUTPUT_VARIABLE git_top RESULT_VARIABLE git_status
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(git_status EQUAL 0 AND NOT git_top STREQUAL "")
      file(REAL_PATH "${git_top}" git_top)
      file(REAL_PATH "${SOURCE_DIR}" source_top)
      if(git_top STREQUAL source_top)
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-list --count HEAD
          OUTPUT_VARIABLE git_count RESULT_VARIABLE git_status
          OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(git_status EQUAL 0)
          set(orvinta_build_number "${git_count}")
        endif()
      endif()
    endif()
  endif()
endif()
set(ORVINTA_WEBSITE "${WEBSITE}")
set(ORVINTA_SUPPORT_EMAIL "${SUPPORT_EMAIL}")
set(ORVINTA_UPDATE_FEED "${UPDATE_FEED}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
