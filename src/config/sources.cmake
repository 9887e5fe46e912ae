target_sources(kestrel_core PRIVATE
    src/config/IniProfile.cpp
)
target_sources(kestrel_gui PRIVATE
)
