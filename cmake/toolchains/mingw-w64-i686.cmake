# Cross build for 32-bit Windows with the MinGW-w64 i686 compilers (posix thread model).
# The host that loads the plug-in is a 32-bit program, so the DLL must be i386 PE32.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TULM_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TULM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TULM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TULM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TULM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic instead of the x87 unit: x87 keeps intermediates in 80-bit registers,
# and the 32-bit plug-in must compute the same doubles as the native 64-bit build.
# The host may call in with a stack aligned to 4 bytes only; -mstackrealign keeps any
# 16-byte spill slot the SSE code wants valid all the same.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
