target_sources(kestrel_gui PRIVATE
    src/shell/MessageBox.cpp
    src/shell/frmMain.cpp
)
