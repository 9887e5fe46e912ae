target_sources(kestrel_core PRIVATE
    src/config/IniProfile.cpp
    src/config/ConfigFile.cpp
)
target_sources(kestrel_gui PRIVATE
    src/config/FitText.cpp
    src/config/frmOptions.cpp
    src/config/frmServerOptions.cpp
)
