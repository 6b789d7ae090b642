# `build/default/bench/detect_eval`: tone detection and suggested settings scored on
# real recordings with tones mixed in. Run by hand, never by the tests; it reads the
# recordings of alsa-utils, gnome-audio and oxygen-sounds and skips those not installed.
if(TARGET tulm_commands)
    add_executable(detect_eval ${CMAKE_CURRENT_SOURCE_DIR}/detect_eval.cpp)
    target_link_libraries(detect_eval PRIVATE tulm_commands)
    target_compile_definitions(detect_eval PRIVATE TULM_MODULE="$<TARGET_FILE_DIR:tulm>/tulm.so")
    tulm_warnings(detect_eval)
    add_dependencies(detect_eval tulm)
endif()
