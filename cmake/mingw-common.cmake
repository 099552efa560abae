# The MinGW-w64 cross toolchain of either bitness; ORVA_MINGW_TRIPLE names it.

# The -posix variant: the default win32 thread model has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${ORVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVA_MINGW_TRIPLE}-windres)
# The host's strip cannot read PE files of the other bitness: the install uses this one.
set(CMAKE_STRIP ${ORVA_MINGW_TRIPLE}-strip)
set(ORVA_DLLTOOL ${ORVA_MINGW_TRIPLE}-dlltool)
set(ORVA_OBJDUMP ${ORVA_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the programs must import no MinGW DLL. No link time in the PE
# header, so that a build can be repeated byte for byte.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
