target_sources(kestrel_gui PRIVATE
    src/shell/FileDialog.cpp
    src/shell/MessageBox.cpp
    src/shell/SignalHandler.cpp
    src/shell/frmMain.cpp
    src/shell/frmMainFileMenu.cpp
)
