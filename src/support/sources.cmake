target_sources(kestrel_core PRIVATE
    src/support/LoadResource.cpp
    src/support/LocalAddresses.cpp
    src/support/Module1.cpp
    src/support/NumericValue.cpp
    src/support/ProcessSetup.cpp
    src/support/ProgramFolder.cpp
    src/support/SignalHandler.cpp
)
target_sources(kestrel_gui PRIVATE
    src/support/FillLocalIPList.cpp
    src/support/LoadResStrings.cpp
)
