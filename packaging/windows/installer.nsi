; The Windows installer: dorvik-selto.exe with its locale folder in Program Files, a
; Start-menu shortcut, an optional shortcut in the Startup folder (start at log-in), and an
; uninstaller registered under Uninstall. Built on Linux by scripts/package.sh:
;   makensis -DVERSION=x.y.z -DPROGRAM_DIR=<folder with dorvik-selto.exe and locale>
;            -DOUTFILE=<setup.exe> -DICON=<icon.ico> installer.nsi
; Silent: "setup.exe /S" installs (add /AUTOSTART for the Startup shortcut),
; "uninstall.exe /S" removes everything it installed.
; A 64-bit installer for the 64-bit program (Wine without its 32-bit half runs it too).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define NAME "Dorvik Selto Hemogram"
!define FOLDER "Dorvik Selto"
!define PUBLISHER "Hemogram bridge maintainers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\DorvikSelto"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${FOLDER}"
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "FileDescription" "${NAME} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "2026 ${PUBLISHER}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Dorvik Selto (required)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${PROGRAM_DIR}\dorvik-selto.exe"
  SetOutPath "$INSTDIR\locale"
  File /r "${PROGRAM_DIR}\locale\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\dorvik-selto.exe" "" \
    "$INSTDIR\dorvik-selto.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dorvik-selto.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "Start at log-in" SecAutostart
  CreateShortCut "$SMSTARTUP\${NAME}.lnk" "$INSTDIR\dorvik-selto.exe" "" \
    "$INSTDIR\dorvik-selto.exe" 0
SectionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  ; A silent install asks for the Startup shortcut with /AUTOSTART.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecAutostart} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Uninstall"
  Delete "$SMSTARTUP\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\dorvik-selto.exe"
  RMDir /r "$INSTDIR\locale"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
