# The help file, compiled from the HTML topics next to this file with chmcmd (Debian's
# fp-utils-3.2.2) into the program folder, where the Help menu's Index looks for it.
set(KESTREL_HELP_FILE kestrel.chm)
find_program(CHMCMD_EXECUTABLE chmcmd)
if(NOT CHMCMD_EXECUTABLE)
    message(FATAL_ERROR "chmcmd was not found; it compiles the help file ${KESTREL_HELP_FILE}. "
                        "Install Debian's package fp-utils-3.2.2 (scripts/install-deps does).")
endif()

set(kestrel_help_sources
    kestrel.hhp kestrel.hhc kestrel.hhk help.css
    index.html sessions.html io-options.html configuration.html error-log.html tray-icon.html
    log-file-names.html data-monitor.html)
list(TRANSFORM kestrel_help_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
set(kestrel_help_work ${CMAKE_BINARY_DIR}/help)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/${KESTREL_HELP_FILE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${kestrel_help_work}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${kestrel_help_work}
    COMMAND ${CMAKE_COMMAND} -E copy ${kestrel_help_sources} ${kestrel_help_work}
    COMMAND ${CMAKE_COMMAND} -E chdir ${kestrel_help_work} ${CHMCMD_EXECUTABLE} kestrel.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${kestrel_help_work}/kestrel.chm
            ${CMAKE_BINARY_DIR}/${KESTREL_HELP_FILE}
    DEPENDS ${kestrel_help_sources}
    COMMENT "Compiling the help file ${KESTREL_HELP_FILE}"
    VERBATIM)
add_custom_target(kestrel_help ALL DEPENDS ${CMAKE_BINARY_DIR}/${KESTREL_HELP_FILE})
