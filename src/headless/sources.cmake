target_sources(kestrel_core PRIVATE
    src/headless/HeadlessOptions.cpp
    src/headless/HeadlessRunner.cpp
)
