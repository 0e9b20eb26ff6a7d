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
# Where they and their CMake packages live is asked of the host Qt itself
# (qtpaths6), as a multiarch system keeps the
# packages under its own lib folder.
if(ZARN_MINGW_QT)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${ZARN_MINGW_QT})
  list(PREPEND CMAKE_PREFIX_PATH ${ZARN_MINGW_QT})
  if(NOT QT_HOST_PATH OR NOT QT_HOST_PATH_CMAKE_DIR)
    find_program(ZARN_HOST_QTPATHS NAMES qtpaths6 qtpaths NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ZARN_HOST_QTPATHS)
      message(FATAL_ERROR "No qtpaths6 to find the host's Qt tools (Debian: qt6-base-dev-tools)")
    endif()
    execute_process(COMMAND ${ZARN_HOST_QTPATHS} --query QT_HOST_PREFIX
      OUTPUT_VARIABLE zarn_host_qt_prefix OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${ZARN_HOST_QTPATHS} --query QT_HOST_LIBS
      OUTPUT_VARIABLE zarn_host_qt_libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(QT_HOST_PATH ${zarn_host_qt_prefix} CACHE PATH "Where the host's Qt tools are")
    set(QT_HOST_PATH_CMAKE_DIR ${zarn_host_qt_libs}/cmake CACHE PATH "The host Qt's CMake packages")
  endif()
endif()

# libgcc, libstdc++ and winpthread inside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
