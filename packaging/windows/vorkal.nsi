; The Windows installer: both programs, a Start-menu entry, an uninstaller and the
; licence. Built by scripts/windows-build.sh with Debian's makensis:
;   makensis -DVERSION=0.72 -DBUILD=<folder with the .exe files> -DOUT=<installer> vorkal.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

Name "Vorkal Configurator ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\Vorkal"
InstallDirRegKey HKLM "Software\Brask\Vorkal Configurator" "InstallDir"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VorkalConfigurator"

!insertmacro MUI_PAGE_LICENSE "licence.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Polish"

Section "Vorkal Configurator"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${BUILD}/vorkal.exe"
  File "${BUILD}/vorkal-cli.exe"
  File "licence.txt"
  File "/oname=COPYING.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\Vorkal"
  CreateShortcut "$SMPROGRAMS\Vorkal\Vorkal Configurator.lnk" "$INSTDIR\vorkal.exe"
  CreateShortcut "$SMPROGRAMS\Vorkal\Uninstall Vorkal Configurator.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Brask\Vorkal Configurator" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vorkal Configurator"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vorkal developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vorkal.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; The user's preferences (HKCU\Software\Brask\Vorkal) and backups stay: they are the
; user's, and a new version picks them up.
Section "Uninstall"
  Delete "$INSTDIR\vorkal.exe"
  Delete "$INSTDIR\vorkal-cli.exe"
  Delete "$INSTDIR\licence.txt"
  Delete "$INSTDIR\COPYING.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Vorkal\Vorkal Configurator.lnk"
  Delete "$SMPROGRAMS\Vorkal\Uninstall Vorkal Configurator.lnk"
  RMDir "$SMPROGRAMS\Vorkal"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Brask\Vorkal Configurator"
SectionEnd
