# Man pages written by help2man from each program's --help and --version
# output, gzipped as Debian installs them. Only with ORVINTA_MAN_PAGES
# (scripts/package.sh sets it): help2man is a packaging tool, not a build
# dependency.
option(ORVINTA_MAN_PAGES "Write and install man pages with help2man" OFF)
if(ORVINTA_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
  find_program(GZIP gzip REQUIRED)
endif()
include(GNUInstallDirs)

# orvinta_man_page(TARGET SUMMARY [OPTIONS help2man options...])
function(orvinta_man_page target summary)
  if(NOT ORVINTA_MAN_PAGES)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 2 page "" "" OPTIONS)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  # Run by its name from its folder, so that the usage line names the
  # program as a user types it.
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
      ${HELP2MAN} --no-info --name ${summary} ${page_OPTIONS} --output ${page} ${target}
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${target}
    COMMENT "Man page of ${target}" VERBATIM)
  add_custom_target(${target}_man_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
