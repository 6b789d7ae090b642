# The real FFT's accuracy table (fft_accuracy) and its speed beside FFTW and KissFFT
# (fft_speed). Each is skipped with a message when a library it needs is missing;
# neither is run by CTest.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(TULM_FFTW3 QUIET IMPORTED_TARGET fftw3)
    pkg_check_modules(TULM_KISSFFT QUIET IMPORTED_TARGET kissfft-float)
endif()
find_package(benchmark QUIET)

# The long-double references live with the tests; build them here too when the tests
# are switched off.
if(NOT TARGET tulm_test_support)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/support ${CMAKE_CURRENT_BINARY_DIR}/fft_support)
endif()

add_executable(fft_accuracy ${CMAKE_CURRENT_SOURCE_DIR}/fft_accuracy.cpp)
target_link_libraries(fft_accuracy PRIVATE tulm_fft tulm_test_support)
tulm_warnings(fft_accuracy)
if(TULM_FFTW3_FOUND)
    target_link_libraries(fft_accuracy PRIVATE PkgConfig::TULM_FFTW3)
    target_compile_definitions(fft_accuracy PRIVATE TULM_HAVE_FFTW)
else()
    message(STATUS "fft_accuracy: FFTW3 not found, the table shows no FFTW column")
endif()

if(NOT benchmark_FOUND)
    message(STATUS "fft_speed skipped: Google Benchmark not found (libbenchmark-dev)")
elseif(NOT TULM_FFTW3_FOUND OR NOT TULM_KISSFFT_FOUND)
    message(STATUS "fft_speed skipped: needs FFTW3 (libfftw3-dev) and KissFFT (libkissfft-dev)")
else()
    add_executable(fft_speed ${CMAKE_CURRENT_SOURCE_DIR}/fft_speed.cpp)
    target_link_libraries(fft_speed PRIVATE tulm_fft benchmark::benchmark
                          PkgConfig::TULM_FFTW3 PkgConfig::TULM_KISSFFT)
    tulm_warnings(fft_speed)
endif()
