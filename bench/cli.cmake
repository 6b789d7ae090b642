# `cmake --build <dir> --target bench_cli`: times the command-line tool on a 10-minute
# file beside a plain sox copy of it, in the same run.
if(TARGET tulm)
    add_custom_target(bench_cli
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cli_speed.sh $<TARGET_FILE:tulm>
        DEPENDS tulm
        USES_TERMINAL
        COMMENT "tulm render against sox on a 10-minute stereo 48 kHz file")
endif()
