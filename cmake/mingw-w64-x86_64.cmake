# Cross-building the Windows DLL (64-bit) with Debian's mingw-w64.
set(QSTK_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
