# The span renderer's speed beside the real FFTs it contains, and a processing call
# that only delivers beside a plain copy of the same bytes. Not run by CTest.
find_package(benchmark QUIET)
if(NOT benchmark_FOUND)
    message(STATUS "render_span bench skipped: Google Benchmark not found (libbenchmark-dev)")
else()
    add_executable(render_span_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_span.cpp)
    target_link_libraries(render_span_bench PRIVATE tulm_shell benchmark::benchmark)
    tulm_warnings(render_span_bench)
endif()
