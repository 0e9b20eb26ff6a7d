# The Windows package: zarn-upload.exe and its README in a zip
# (cmake --build <tree> --target package).
install(TARGETS zarn-upload RUNTIME DESTINATION .)
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
