# The part of both toolchains that does not depend on the target: Debian's mingw-w64
# cross compilers for TOOLCHAIN_PREFIX, and the Wine loader QM_WINE_LOADER that runs
# what is built here (named by its path: /usr/bin/wine picks the 32-bit loader whenever
# it is installed, even where it cannot start).
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model is needed by GoogleTest (std::mutex); Debian ships both.
find_program(CMAKE_C_COMPILER NAMES ${TOOLCHAIN_PREFIX}-gcc-posix ${TOOLCHAIN_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${TOOLCHAIN_PREFIX}-g++-posix ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_WINE_LOADER})
