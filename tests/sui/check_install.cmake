# Installs the build into a scratch prefix and checks that the executables,
# the desktop entry and the icons land where desktop environments look.
# -DBUILD_DIR=<build tree> -DPREFIX=<scratch folder>
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}\n${err}")
endif()

set(expected
  bin/zarn-loader
  bin/zarn-upload
  bin/zarn-stb-sim
  share/applications/zarn-loader.desktop
  share/icons/hicolor/32x32/apps/zarn-loader.png
  share/icons/hicolor/64x64/apps/zarn-loader.png
  share/icons/hicolor/128x128/apps/zarn-loader.png)
foreach(f IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
if(NOT IS_DIRECTORY "${PREFIX}/bin" OR IS_DIRECTORY "${PREFIX}/bin/zarn-loader")
  message(FATAL_ERROR "bin/zarn-loader is not a file")
endif()

# The entry starts the installed program by name and names the installed icon.
file(STRINGS "${PREFIX}/share/applications/zarn-loader.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=zarn-loader" "Icon=zarn-loader" "Name=ZARN Multi-Loader")
  list(FIND entry "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed: ${expected}")
