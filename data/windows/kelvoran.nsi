; The Windows installer, built by makensis (target kelvoran_installer):
;   makensis -DVERSION=2.2 -DPROGRAM=kelvoran.exe -DHELP=KELVORAN.CHM
;            -DICON=kelvoran.ico -DOUTFILE=kelvoran-2.2-windows-x64.exe kelvoran.nsi
; A per-user install: no elevation, the program under the user's local
; programs folder, a Start-menu entry that starts it in the user's documents
; (the host list, KELVORAN.INI, lives in the folder the program starts in,
; and the program folder is no place for it). The uninstaller removes what the
; installer put down and the program's window placement; host lists stay.
;
; The optional component "Run as a Windows service", off unless chosen on the
; Components page or with /SERVICE on the command line, needs an installer
; run as administrator. It copies the program where only administrators may
; change it (a service run from the user's own folder would run whatever the
; user put there) and registers the service "Kelvoran": started by hand
; (sc start Kelvoran) until set to start automatically, running
; "kelvoran.exe --headless --service --service-folder FOLDER" as the local
; service account. FOLDER holds its host list, history and log: asked on a
; page of its own, or given as /SERVICEDIR=FOLDER (a full path, last on the
; command line when it has blanks, as /D= is), ProgramData\Kelvoran unless
; chosen. The uninstaller removes the service and its program copy and
; leaves that folder alone.

Unicode true
; A 64-bit installer for a 64-bit program; it also runs where only 64-bit
; Windows programs can (a Wine prefix without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define APP_TITLE "Kelvoran by Brindlecot"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvoran"
!define PROFILE_KEY "Software\Brindlecot\Kelvoran by Brindlecot"
!define SERVICE_NAME "Kelvoran"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${SERVICE_NAME}"
; The local service account by its well-known SID: names are translated.
!define LOCAL_SERVICE_SID "S-1-5-19"

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
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; The Finish page starts the program where the Start-menu entry does: started
; in the program folder it would keep a first host list there, which the entry
; does not show and the uninstaller leaves behind.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunFromDocuments
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
; The service's folder, asked only when the service is chosen.
Var ServiceDir
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipUnlessService
!define MUI_PAGE_HEADER_TEXT "Service Folder"
!define MUI_PAGE_HEADER_SUBTEXT "Choose the folder the Kelvoran service runs in."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The service keeps its host list (KELVORAN.INI), its history and its log (KELVORAN.LOG) in this folder, which the local service account may change. The uninstaller leaves it in place."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Service folder"
!define MUI_DIRECTORYPAGE_VARIABLE $ServiceDir
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

Section "Kelvoran" SecProgram
  SectionIn RO
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

; Off by default (/o). Where the program copy and the service go, and the
; service's folder, are the machine's, not the user's.
Section /o "Run as a Windows service" SecService
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONEXCLAMATION|MB_OK "Registering the service needs administrator rights: run the setup as administrator. The program is installed without the service." /SD IDOK
    Return
  ${EndIf}
  ; A trailing backslash would escape the quote that ends the folder in the
  ; service's command line; the service starts in the system folder, so a
  ; relative folder would be taken from there.
  ${Do}
    StrCpy $1 $ServiceDir 1 -1
    ${IfThen} $1 != "\" ${|} ${ExitDo} ${|}
    StrCpy $ServiceDir $ServiceDir -1
  ${Loop}
  StrCpy $1 $ServiceDir 2 1
  ${If} $1 != ":\"
    MessageBox MB_ICONEXCLAMATION|MB_OK "The service's folder must be a full path below a drive, such as C:\Kelvoran, not '$ServiceDir'. The program is installed without the service." /SD IDOK
    Return
  ${EndIf}
  SetShellVarContext all
  SetOutPath "$PROGRAMFILES64\Kelvoran"
  File "/oname=kelvoran.exe" "${PROGRAM}"
  SetShellVarContext current
  CreateDirectory "$ServiceDir"
  ; History and log are written by the service account.
  nsExec::ExecToLog 'icacls "$ServiceDir" /grant "*${LOCAL_SERVICE_SID}:(OI)(CI)M"'
  Pop $0
  DetailPrint "Access to $ServiceDir for the service account: $0"
  ; sc takes the command line as one argument: the quotes within it as \".
  nsExec::ExecToLog 'sc create ${SERVICE_NAME} binPath= "\"$PROGRAMFILES64\Kelvoran\kelvoran.exe\" --headless --service --service-folder \"$ServiceDir\"" start= demand obj= "NT AUTHORITY\LocalService" DisplayName= "${APP_TITLE} (without a window)"'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_ICONEXCLAMATION|MB_OK "The service could not be registered (sc create: $0)." /SD IDOK
  ${EndIf}
  nsExec::ExecToLog 'sc description ${SERVICE_NAME} "Watches the hosts of $ServiceDir\KELVORAN.INI and sends their alerts."'
  Pop $0
SectionEnd

LangString DESC_Program ${LANG_ENGLISH} "The program, its help and the Start-menu entry."
LangString DESC_Service ${LANG_ENGLISH} "Also run the monitor without a window as a Windows service, started by hand until set otherwise, for the hosts of KELVORAN.INI in a folder of its own (ProgramData\Kelvoran unless chosen on the next pages). Needs the setup run as administrator."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_Program)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecService} $(DESC_Service)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function SkipUnlessService
  ${IfNot} ${SectionIsSelected} ${SecService}
    Abort
  ${EndIf}
FunctionEnd

; setup.exe /S /SERVICE [/SERVICEDIR=FOLDER]: a silent install with the
; service. GetOptions takes a value up to the next " /", blanks and all, and
; drops quotes around it.
Function .onInit
  SetShellVarContext all
  StrCpy $ServiceDir "$APPDATA\Kelvoran"
  SetShellVarContext current
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/SERVICEDIR=" $1
  ${IfNot} ${Errors}
    StrCpy $ServiceDir $1
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/SERVICE" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecService}
  ${EndIf}
FunctionEnd

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

  ; The service, when this installer registered it and the uninstaller may
  ; remove it; its folder in ProgramData keeps the host list and history.
  ClearErrors
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${IfNot} ${Errors}
    nsExec::ExecToLog 'sc stop ${SERVICE_NAME}'
    Pop $0
    ; It closes as on Ctrl+C, waiting for the probes under way; its file
    ; stays in use until then.
    ${For} $1 1 90
      ClearErrors
      Delete "$PROGRAMFILES64\Kelvoran\kelvoran.exe"
      ${IfNot} ${Errors}
        ${Break}
      ${EndIf}
      Sleep 1000
    ${Next}
    nsExec::ExecToLog 'sc delete ${SERVICE_NAME}'
    Pop $0
    ${If} $0 != 0
      MessageBox MB_ICONEXCLAMATION|MB_OK "The service ${SERVICE_NAME} could not be removed (sc delete: $0): run the uninstaller as administrator." /SD IDOK
    ${EndIf}
    Delete /REBOOTOK "$PROGRAMFILES64\Kelvoran\kelvoran.exe"
    RMDir "$PROGRAMFILES64\Kelvoran"
  ${EndIf}
SectionEnd
