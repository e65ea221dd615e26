# Cross-compiles for Windows with mingw-w64, for the target that TWINKLA_TRIPLE
# names (i686-w64-mingw32 or x86_64-w64-mingw32):
#   cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DTWINKLA_TRIPLE=i686-w64-mingw32
# The -posix compilers have std::thread and std::mutex, which GoogleTest needs.
if(NOT TWINKLA_TRIPLE MATCHES "^(i686|x86_64)-w64-mingw32$")
    message(FATAL_ERROR "set TWINKLA_TRIPLE to i686-w64-mingw32 or x86_64-w64-mingw32 "
                        "(it is '${TWINKLA_TRIPLE}')")
endif()
# The compiler checks read this file again, in projects of their own.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TWINKLA_TRIPLE)

set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${TWINKLA_TRIPLE})
set(CMAKE_C_COMPILER ${TWINKLA_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TWINKLA_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TWINKLA_TRIPLE}-windres)
set(TWINKLA_WIDL ${TWINKLA_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${TWINKLA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows programs run under Wine, in the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
