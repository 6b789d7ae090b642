# The span renderer's speed beside the bare FFT work of its span (FFTW, the batch entry,
# single calls), and a processing call that only delivers beside a plain copy of the
# same bytes. Not run by CTest.
find_package(benchmark QUIET)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(TULM_FFTW3 QUIET IMPORTED_TARGET fftw3)
endif()
if(NOT benchmark_FOUND)
    message(STATUS "render_span bench skipped: Google Benchmark not found (libbenchmark-dev)")
elseif(NOT TULM_FFTW3_FOUND)
    message(STATUS "render_span bench skipped: needs FFTW3 (libfftw3-dev)")
else()
    add_executable(render_span_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_span.cpp)
    target_link_libraries(render_span_bench PRIVATE tulm_shell benchmark::benchmark
                          PkgConfig::TULM_FFTW3)
    tulm_warnings(render_span_bench)
endif()
