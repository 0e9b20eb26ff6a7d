# Packs the build with cpack, unpacks the .deb into a scratch root with
# dpkg -x and checks what a user gets: the package's name and fields, every
# file in its place, and zarn-upload starting from the unpacked copy.
# -DBUILD_DIR=<build tree> -DARCH=<Debian architecture> -DSCRATCH=<scratch folder>
# -DEXPECTED_FILE=<package file name> -DVERSION=<version> -DCPACK=<cpack>
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run("${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${SCRATCH}")
set(deb "${SCRATCH}/${EXPECTED_FILE}")
if(NOT EXISTS "${deb}")
  file(GLOB made "${SCRATCH}/*.deb")
  message(FATAL_ERROR "no ${EXPECTED_FILE}; cpack wrote: ${made}")
endif()

# Fields: the Qt libraries come from the binaries, the plugins and fonts are
# named by hand; both must be there for the window to start elsewhere.
run(dpkg-deb --field "${deb}" Package Version Architecture Depends)
foreach(expected "Package: zarn-loader" "Version: ${VERSION}" "Architecture: ${ARCH}"
                 "libqt6widgets6" "libqt6gui6" "libqt6core6" "libc6" "libstdc++6"
                 "qt6-qpa-plugins" "fonts-liberation" "fonts-dejavu-core")
  string(FIND "${out}" "${expected}" at)
  if(at LESS 0)
    message(FATAL_ERROR "package fields lack '${expected}':\n${out}")
  endif()
endforeach()

set(root "${SCRATCH}/root")
run(dpkg -x "${deb}" "${root}")
set(files
  usr/bin/zarn-loader
  usr/bin/zarn-upload
  usr/bin/zarn-stb-sim
  usr/share/applications/zarn-loader.desktop
  usr/share/icons/hicolor/32x32/apps/zarn-loader.png
  usr/share/icons/hicolor/64x64/apps/zarn-loader.png
  usr/share/icons/hicolor/128x128/apps/zarn-loader.png)
foreach(f IN LISTS files)
  if(NOT EXISTS "${root}/${f}" OR IS_DIRECTORY "${root}/${f}")
    message(FATAL_ERROR "the package lacks ${f}")
  endif()
endforeach()
foreach(program zarn-loader zarn-upload zarn-stb-sim)
  run(ldd "${root}/usr/bin/${program}")
  if(out MATCHES "not found")
    message(FATAL_ERROR "${program} needs libraries that cannot be found:\n${out}")
  endif()
endforeach()

# The unpacked program runs on its own, away from the build tree.
run("${root}/usr/bin/zarn-upload" --version)
string(REPLACE "." "\\." version_pattern "${VERSION}")
if(NOT out MATCHES "^zarn-upload \\(ZARN Multi-Loader V${version_pattern}\\)\n$")
  message(FATAL_ERROR "zarn-upload --version printed '${out}'")
endif()

file(REMOVE_RECURSE "${SCRATCH}")
message(STATUS "${EXPECTED_FILE}: ${files}")
