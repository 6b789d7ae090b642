# Windows link settings of the plug-in module: the host loads "tulm.auf", finds
# GetFilterTable by its undecorated name, and shows the version resource. The GCC
# runtimes are linked in so that the DLL needs nothing beyond Windows' own DLLs.
if(NOT TARGET tulm_plugin)
    message(FATAL_ERROR "resources/win32.cmake: the plug-in module tulm_plugin is not defined")
endif()

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)

set_target_properties(tulm_plugin PROPERTIES SUFFIX ".auf")
target_sources(tulm_plugin PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/tulm.def
    ${CMAKE_CURRENT_BINARY_DIR}/version.rc
    ${PROJECT_SOURCE_DIR}/shell/dll_main.cpp)
# No link time in the PE header (nor in the export directory): two builds of the same
# sources give the same bytes, whatever the day, so a release can be checked by rebuilding it.
target_link_options(tulm_plugin PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
