; The Windows installer: zarn-loader-<version>-setup.exe (makensis, run by the
; build's installer step with /DVERSION, /DSTAGE, /DICON and /DOUTFILE).
; Installs the window, zarn-upload.exe, the README and the samples into
; Program Files, a Start-menu shortcut with the program's icon, an entry in
; Apps & features and an uninstaller. /S installs silently; /D=FOLDER (last)
; chooses the folder.
; A 64-bit installer for 64-bit programs (it also runs where no 32-bit
; Windows layer is installed).
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "ZARN Multi-Loader"
!define REG_UNINSTALL "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define REG_PRODUCT "Software\${PRODUCT}"

Name "${PRODUCT} V${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${REG_PRODUCT}" "InstallDir"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The programs hold this named mutex while they run (upload_tasks/RunningMark.h).
; Files in use cannot be replaced or removed, and Windows refuses them one by
; one, so a running copy would leave a mixed or half-removed installation:
; the installer and the uninstaller stop before touching anything. A silent
; run (/S) gives up at once with exit code 2.
!define RUNNING_MARK "Global\ZARN-Multi-Loader-running"
!define SYNCHRONIZE 0x00100000

!macro RefuseWhileRunning un
Function ${un}RefuseWhileRunning
  check:
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MARK}") p .r0'
    IntPtrCmp $0 0 done
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is running. Close every ${PRODUCT} window and zarn-upload, then choose Retry." \
      /SD IDCANCEL IDRETRY check
    SetErrorLevel 2
    Quit
  done:
FunctionEnd
!macroend
!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

Function .onInit
  SetRegView 64
  Call RefuseWhileRunning
FunctionEnd

Function un.onInit
  SetRegView 64
  Call un.RefuseWhileRunning
FunctionEnd

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/zarn-loader.exe"
  File "${STAGE}/zarn-upload.exe"
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\samples"
  File "${STAGE}/samples/*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\zarn-loader.exe" "" "$INSTDIR\zarn-loader.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${REG_PRODUCT}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${REG_UNINSTALL}" "DisplayName" "${PRODUCT} V${VERSION}"
  WriteRegStr HKLM "${REG_UNINSTALL}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${REG_UNINSTALL}" "Publisher" "ZARN Team"
  WriteRegStr HKLM "${REG_UNINSTALL}" "DisplayIcon" "$INSTDIR\zarn-loader.exe,0"
  WriteRegStr HKLM "${REG_UNINSTALL}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${REG_UNINSTALL}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${REG_UNINSTALL}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${REG_UNINSTALL}" "NoModify" 1
  WriteRegDWORD HKLM "${REG_UNINSTALL}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\zarn-loader.exe"
  Delete "$INSTDIR\zarn-upload.exe"
  Delete "$INSTDIR\README.txt"
  RMDir /r "$INSTDIR\samples"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${REG_UNINSTALL}"
  DeleteRegKey HKLM "${REG_PRODUCT}"
SectionEnd
