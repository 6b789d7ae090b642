# Each layer of the plug-in sees its own folder and the layers below it, and nothing
# else: an include of a layer above fails to build. tulm_include_root(TARGET SCOPE
# PATH...) gives TARGET an include folder of its own in which each PATH (a folder or a
# single header of the source tree) stands under its usual name, as a link.
function(tulm_include_root target scope)
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    foreach(path IN LISTS ARGN)
        get_filename_component(parent ${root}/${path} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
    endforeach()
    target_include_directories(${target} ${scope} ${root})
endfunction()

# The plug-in's code: position-independent (it goes into a module), and hidden unless
# it says otherwise (only GetFilterTable does).
function(tulm_core_library target)
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    tulm_warnings(${target})
endfunction()
