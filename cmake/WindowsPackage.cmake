# The Windows package: zarn-upload.exe and its README in a zip
# (cmake --build <tree> --target package), with the simulated STB and the
# check of a real machine's ports (scripts/windows-check.ps1), which runs
# the two against each other through a null-modem pair.
install(TARGETS zarn-upload zarn-stb-sim RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/scripts/windows-check.ps1 DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/samples/ DESTINATION samples
  FILES_MATCHING PATTERN "*.ZARN" PATTERN "*.DSP" PATTERN "*.ZFL" PATTERN "*.LOGO" PATTERN "*.DAT")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zarn-upload)
set(CPACK_PACKAGE_VENDOR "ZARN")
set(CPACK_PACKAGE_FILE_NAME "zarn-upload-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
include(CPack)

# The Windows installer, zarn-loader-<version>-setup.exe in the tree's top
# folder, made by NSIS (Debian: nsis) from packaging/windows/installer.nsi:
# the window and zarn-upload.exe stripped, the README and the samples.
# Only with a static Qt: the installer carries the programs alone, no Qt DLLs.
if(ZARN_BUILD_GUI)
  get_target_property(zarn_qt_core_type Qt6::Core TYPE)
  if(NOT zarn_qt_core_type STREQUAL STATIC_LIBRARY)
    message(STATUS "Qt is not static: no installer (windeployqt makes a folder that runs)")
    return()
  endif()
  find_program(ZARN_MAKENSIS makensis)
  find_program(ZARN_MINGW_STRIP NAMES ${ZARN_MINGW_TRIPLE}-strip strip)
  if(NOT ZARN_MAKENSIS)
    if(CMAKE_CROSSCOMPILING)
      message(FATAL_ERROR "makensis not found (Debian: nsis, see scripts/install-deps.sh)")
    endif()
    message(STATUS "makensis not found: no installer")
    return()
  endif()
  set(ZARN_SETUP_EXE ${PROJECT_BINARY_DIR}/zarn-loader-${PROJECT_VERSION}-setup.exe)
  set(stage ${PROJECT_BINARY_DIR}/installer-stage)
  set(nsi ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsi)
  set(icon ${PROJECT_SOURCE_DIR}/main_window/pictures/zarn-loader.ico)
  set(readme ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt)
  file(GLOB samples ${PROJECT_SOURCE_DIR}/tools/samples/*.ZARN ${PROJECT_SOURCE_DIR}/tools/samples/*.DSP
    ${PROJECT_SOURCE_DIR}/tools/samples/*.ZFL ${PROJECT_SOURCE_DIR}/tools/samples/*.LOGO
    ${PROJECT_SOURCE_DIR}/tools/samples/*.DAT)
  add_custom_command(OUTPUT ${ZARN_SETUP_EXE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/samples
    COMMAND ${ZARN_MINGW_STRIP} -o ${stage}/zarn-loader.exe $<TARGET_FILE:zarn-loader>
    COMMAND ${ZARN_MINGW_STRIP} -o ${stage}/zarn-upload.exe $<TARGET_FILE:zarn-upload>
    COMMAND ${CMAKE_COMMAND} -E copy ${readme} ${stage}/README.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${samples} ${stage}/samples/
    COMMAND ${ZARN_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage} -DICON=${icon}
      -DOUTFILE=${ZARN_SETUP_EXE} ${nsi}
    DEPENDS zarn-loader zarn-upload ${nsi} ${icon} ${readme} ${samples}
    COMMENT "Making the installer zarn-loader-${PROJECT_VERSION}-setup.exe"
    VERBATIM)
  add_custom_target(installer ALL DEPENDS ${ZARN_SETUP_EXE})
endif()
