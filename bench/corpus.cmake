# `build/default/bench/detect_corpus` and `corpus_screen`: the detector's evaluation on the
# corpus of bench/corpus/recordings.tsv, and the screening of its recordings for tones of
# their own. Run by hand, never by the tests; scripts/install-deps.sh corpus installs the
# recordings, and a recording not installed is skipped with a note.
find_package(fmt QUIET)
if(TARGET tulm_session AND TARGET tulm_io AND TULM_FFTW3_FOUND AND TARGET fmt::fmt)
    add_library(tulm_corpus STATIC ${CMAKE_CURRENT_SOURCE_DIR}/corpus.cpp ${CMAKE_CURRENT_SOURCE_DIR}/audible.cpp)
    target_link_libraries(tulm_corpus PUBLIC tulm_session tulm_report tulm_io PkgConfig::TULM_FFTW3 fmt::fmt)
    target_include_directories(tulm_corpus PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    tulm_warnings(tulm_corpus)

    add_executable(detect_corpus ${CMAKE_CURRENT_SOURCE_DIR}/detect_corpus.cpp)
    add_executable(corpus_screen ${CMAKE_CURRENT_SOURCE_DIR}/corpus_screen.cpp)
    foreach(t detect_corpus corpus_screen)
        target_link_libraries(${t} PRIVATE tulm_corpus)
        target_compile_definitions(${t} PRIVATE TULM_CORPUS="${CMAKE_CURRENT_SOURCE_DIR}/corpus/recordings.tsv")
        tulm_warnings(${t})
    endforeach()
    target_compile_definitions(detect_corpus PRIVATE TULM_MODULE="$<TARGET_FILE_DIR:tulm>/tulm.so")
    add_dependencies(detect_corpus tulm)
    # A fit's failure in a miss is worded as the tool words it.
    target_link_libraries(detect_corpus PRIVATE tulm_commands)
endif()
