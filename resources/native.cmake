# Native builds: the module exports GetFilterTable and nothing else.
set(tulm_version_script ${CMAKE_CURRENT_SOURCE_DIR}/tulm.version)
target_link_options(tulm_plugin PRIVATE "LINKER:--version-script=${tulm_version_script}")
set_property(TARGET tulm_plugin APPEND PROPERTY LINK_DEPENDS ${tulm_version_script})
