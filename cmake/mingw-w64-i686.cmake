# Cross-building the Windows DLL (32-bit, for 32-bit hosts such as VBA in 32-bit Office).
set(QSTK_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
