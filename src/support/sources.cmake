target_sources(kestrel_core PRIVATE
    src/support/Module1.cpp
    src/support/LocalAddresses.cpp
    src/support/LoadResource.cpp
    src/support/ProgramFolder.cpp
)
target_sources(kestrel_gui PRIVATE
    src/support/LoadResStrings.cpp
    src/support/FillLocalIPList.cpp
)
