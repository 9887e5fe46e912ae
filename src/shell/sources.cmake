target_sources(kestrel_gui PRIVATE
    src/shell/FileDialog.cpp
    src/shell/HelpViewer.cpp
    src/shell/MessageBox.cpp
    src/shell/ProgramIcon.cpp
    src/shell/TrayCallbackEvent.cpp
    src/shell/WebLink.cpp
    src/shell/basSubclass.cpp
    src/shell/clsTaskBar.cpp
    src/shell/frmAbout.cpp
    src/shell/frmMain.cpp
    src/shell/frmMainFileMenu.cpp
    src/shell/frmMainHelp.cpp
    src/shell/frmMainTray.cpp
)
# The program's icon in every size, compiled into the program.
qt_add_resources(kestrel_gui kestrel_icons
    PREFIX /kestrel
    BASE resources
    FILES
        resources/icons/kestrel-16.png
        resources/icons/kestrel-22.png
        resources/icons/kestrel-24.png
        resources/icons/kestrel-32.png
        resources/icons/kestrel-48.png
        resources/icons/kestrel-64.png
        resources/icons/kestrel-128.png
        resources/icons/kestrel-256.png
)
target_compile_definitions(kestrel_gui PRIVATE KESTREL_HELP_FILE="${KESTREL_HELP_FILE}")
