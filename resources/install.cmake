# `cmake --install` puts Kestrel where a Linux desktop finds it:
#   lib/kestrel/kestrel, lib/kestrel/kestrel.chm   the program folder (help file next to the program)
#   bin/kestrel                                    a symbolic link to the program
#   share/applications/kestrel.desktop             the desktop entry, also for opening .ksf files
#   share/mime/packages/kestrel.xml                the MIME type application/x-kestrel-session
#   share/icons/hicolor/*/apps/kestrel.{png,svg}   the icon
# The program keeps default.ksf and errorlog.txt in its own folder, which must therefore be
# writable by its user: without an explicit prefix Kestrel installs for the current user
# (~/.local). A system-wide prefix installs a program whose folder users cannot write.
set(KESTREL_PROGRAM_DIR lib/kestrel)

install(TARGETS kestrel RUNTIME DESTINATION ${KESTREL_PROGRAM_DIR})
install(FILES ${CMAKE_BINARY_DIR}/${KESTREL_HELP_FILE} DESTINATION ${KESTREL_PROGRAM_DIR})
install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/kestrel\")
    message(STATUS \"Installing: \${link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(CREATE_LINK ../${KESTREL_PROGRAM_DIR}/kestrel \"\${link}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")
")

install(FILES resources/kestrel.desktop DESTINATION share/applications)
install(FILES resources/kestrel-mime.xml DESTINATION share/mime/packages RENAME kestrel.xml)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES resources/icons/kestrel-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME kestrel.png)
endforeach()
install(FILES resources/kestrel.svg DESTINATION share/icons/hicolor/scalable/apps)

# A direct install (no DESTDIR, as packaging uses) refreshes the desktop's caches, so that
# .ksf files open in Kestrel at once. Missing tools or failures leave the files in place.
install(CODE [[
    if("$ENV{DESTDIR}" STREQUAL "")
        find_program(update_mime update-mime-database)
        if(update_mime)
            execute_process(COMMAND ${update_mime} "${CMAKE_INSTALL_PREFIX}/share/mime"
                            OUTPUT_QUIET ERROR_QUIET)
        endif()
        find_program(update_desktop update-desktop-database)
        if(update_desktop)
            execute_process(COMMAND ${update_desktop} "${CMAKE_INSTALL_PREFIX}/share/applications"
                            OUTPUT_QUIET ERROR_QUIET)
        endif()
    endif()
]])
