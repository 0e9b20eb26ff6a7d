# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix-threads
# flavour, which std::thread and std::mutex need). Everything is linked
# statically, so the .exe files run without the mingw DLLs beside them.
# ctest runs the .exe files through wine (cmake/wine-run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZARN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A Qt built for this target lives outside the mingw root (scripts/qt-mingw.sh
# prints its prefix): ZARN_MINGW_QT adds it as a second root. Its tools (moc,
# rcc, uic) are the host's: Debian's qt6-base-dev-tools of the same version.
if(ZARN_MINGW_QT)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${ZARN_MINGW_QT})
  list(PREPEND CMAKE_PREFIX_PATH ${ZARN_MINGW_QT})
  set(QT_HOST_PATH /usr CACHE PATH "Where the host's Qt tools are")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host Qt's CMake packages")
endif()

# libgcc, libstdc++ and winpthread inside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
