# Warnings are errors on our own code. Never -ffast-math: it changes the arithmetic
# the FFT and renderer tests check, and the 32-bit build must give the native numbers.
function(tulm_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
