# Run by CTest: fails when a test program lists a parameter as raw bytes
# ("80-byte object <...>"). Such bytes hold pointers, so the test's name changes from
# build to build and ctest -R cannot select it; a parameter type prints its name instead.
execute_process(COMMAND ${TEST_PROGRAM} --gtest_list_tests
                OUTPUT_VARIABLE listed RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TEST_PROGRAM} --gtest_list_tests exited with ${status}")
endif()
string(REGEX MATCH "[^\n]*-byte object <[^\n]*" raw "${listed}")
if(raw)
    message(FATAL_ERROR "a test parameter is listed as raw bytes:\n${raw}")
endif()
