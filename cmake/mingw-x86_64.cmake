# Cross-compiles for 64-bit Windows (64-bit docks, and machines that cannot run 32-bit
# programs); runs under the 64-bit Wine loader, which also needs WINELOADER set to
# itself (tools/arch.sh does that).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(QM_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
