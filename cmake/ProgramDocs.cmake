# Man pages and shell completion made at build time from the programs themselves, so that they
# never drift from --help: help2man reads the help of every command, and the CLI writes its own
# completion script from its command tree.
include(GNUInstallDirs)
find_program(QSTK_HELP2MAN help2man)
find_program(QSTK_GZIP gzip)
if(NOT QSTK_HELP2MAN OR NOT QSTK_GZIP)
  message(WARNING "help2man or gzip not found: no man pages. Install the Debian packages help2man and gzip "
                  "(make deps does) and configure again.")
endif()

# man/NAME.1.gz from `TARGET HELP_OPTION` and `TARGET --version`, installed with the tools.
function(qstk_add_manpage target name summary help_option)
  if(NOT QSTK_HELP2MAN OR NOT QSTK_GZIP)
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${name}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ASAN_OPTIONS=detect_leaks=0
            ${QSTK_HELP2MAN} --no-info --section=1 --name=${summary} --help-option=${help_option}
            --version-option=--version --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${QSTK_GZIP} -9nf ${page}
    DEPENDS ${target}
    COMMENT "Writing the man page of ${name}"
    VERBATIM)
  add_custom_target(${name}_manpage ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endfunction()

# The standard output of `TARGET ARGS...` as the file OUTPUT, remade whenever the program is.
function(qstk_add_program_output target output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DPROGRAM=$<TARGET_FILE:${target}> "-DARGS=${ARGN}"
            -P ${PROJECT_SOURCE_DIR}/cmake/WriteProgramOutput.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/WriteProgramOutput.cmake
    VERBATIM)
endfunction()
