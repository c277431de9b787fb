; The Windows installer, built by makensis (target kelvoran_installer):
;   makensis -DVERSION=2.2 -DPROGRAM=kelvoran.exe -DHELP=KELVORAN.CHM
;            -DICON=kelvoran.ico -DOUTFILE=kelvoran-2.2-windows-x64.exe kelvoran.nsi
; A per-user install: no elevation, the program under the user's local
; programs folder, a Start-menu entry that starts it in the user's documents
; (the host list, KELVORAN.INI, lives in the folder the program starts in,
; and the program folder is no place for it). The uninstaller removes what the
; installer put down and the program's window placement; host lists stay.

Unicode true
; A 64-bit installer for a 64-bit program; it also runs where only 64-bit
; Windows programs can (a Wine prefix without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define APP_TITLE "Kelvoran by Brindlecot"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvoran"
!define PROFILE_KEY "Software\Brindlecot\Kelvoran by Brindlecot"

Name "${APP_TITLE}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kelvoran"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
; The program's name and version at the foot of every page, where the
; installer tool would show its own.
BrandingText "${APP_TITLE} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP_TITLE}"
VIAddVersionKey "CompanyName" "Brindlecot"
VIAddVersionKey "FileDescription" "${APP_TITLE} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Brindlecot"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; The Finish page starts the program where the Start-menu entry does: started
; in the program folder it would keep a first host list there, which the entry
; does not show and the uninstaller leaves behind.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunFromDocuments
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Exec starts a program in the output path.
Function RunFromDocuments
  SetOutPath "$DOCUMENTS"
  Exec '"$INSTDIR\kelvoran.exe"'
FunctionEnd

Section "Kelvoran"
  SetOutPath "$INSTDIR"
  File "/oname=kelvoran.exe" "${PROGRAM}"
  File "/oname=KELVORAN.CHM" "${HELP}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is the output path when it is made.
  SetOutPath "$DOCUMENTS"
  CreateShortCut "$SMPROGRAMS\${APP_TITLE}.lnk" "$INSTDIR\kelvoran.exe"
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP_TITLE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Brindlecot"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvoran.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP_TITLE}.lnk"
  Delete "$INSTDIR\kelvoran.exe"
  Delete "$INSTDIR\KELVORAN.CHM"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: a host list someone kept here stays, and so does the folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The window placement and the options; the vendor key only when empty.
  DeleteRegKey HKCU "${PROFILE_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Brindlecot"
SectionEnd
