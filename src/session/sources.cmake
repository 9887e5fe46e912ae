target_sources(kestrel_core PRIVATE
)
target_sources(kestrel_gui PRIVATE
)
