# Cross toolchain: a 64-bit twin of the Windows programs, from the same sources, for
# machines that cannot execute 32-bit x86 code (tests and demo only; never shipped).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
