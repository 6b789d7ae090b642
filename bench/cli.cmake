# `cmake --build <dir> --target bench_cli`: times the command-line tool on 10- and
# 60-minute files beside a plain sox copy of each, in the same run.
if(TARGET tulm)
    add_custom_target(bench_cli
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cli_speed.sh $<TARGET_FILE:tulm>
        DEPENDS tulm
        USES_TERMINAL
        COMMENT "tulm render against sox on 10- and 60-minute stereo 48 kHz files")
endif()

# `cmake --build <dir> --target bench_detect`: tulm detect on 10- and 60-minute files
# beside a plain sox copy of each, in the same run.
if(TARGET tulm)
    add_custom_target(bench_detect
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/detect_speed.sh $<TARGET_FILE:tulm>
        DEPENDS tulm
        USES_TERMINAL
        COMMENT "tulm detect against sox on 10- and 60-minute stereo 48 kHz files")
endif()
