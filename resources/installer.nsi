; The Windows installer of the Kelvrix control panel, built by makensis in
; the cross build:
;   makensis -DVERSION=X.Y.Z -DEXE=... -DCLI=... -DGUIDE=... -DNOTICES=... -DSCREENSHOTS=... -DICON=... -DOUTFILE=... installer.nsi
; Japanese first (the default), English second; 64-bit like the program.
; It installs the program, the operator's guide and a Start menu folder, and
; registers its uninstaller and kelvrix-cli's event source; the uninstaller removes exactly those and leaves
; kelvrix.ini (in the Windows folder) and the operator's .dat files alone.
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "LogicLib.nsh"
!include "MUI2.nsh"

!define PRODUCT "Kelvrix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvrix"
!define SINGLE_INSTANCE_MUTEX "Kelvrix TCP_X_Mutex"
; kelvrix-cli watch --eventlog: its events' source, whose words kelvrix-cli.exe holds
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Kelvrix"

Name "Kelvrix コントロールパネル ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kelvrix"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Kelvrix ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Kelvrix control panel"
VIAddVersionKey /LANG=0 "FileDescription" "Kelvrix control panel setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) 2026 Kelvrix"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunTheProgram
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION ShowTheGuide
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(ShowGuide)"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString ProgramRuns ${LANG_JAPANESE} "Kelvrix コントロールパネルが起動しています。終了してから、もう一度実行してください。"
LangString ProgramRuns ${LANG_ENGLISH} "The Kelvrix control panel is running. Close it, then run this again."
LangString ShowGuide ${LANG_JAPANESE} "操作ガイドを表示"
LangString ShowGuide ${LANG_ENGLISH} "Show the operator's guide (Japanese)"

; A running panel holds its files: it must end first.
!macro RefuseWhileTheProgramRuns
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${SINGLE_INSTANCE_MUTEX}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(ProgramRuns)" /SD IDOK
    Abort
  ${EndIf}
!macroend

; The installer runs elevated; what its finish page starts must not, or the
; program would write the machine's kelvrix.ini and hold its single-instance
; mutex as administrator. The program starts with the token of the desktop's
; shell, which runs as the logged-on user; failing that, and for the guide,
; through Explorer, which hands the file to that shell.
Function RunTheProgram
  StrCpy $9 0
  System::Call 'user32::GetShellWindow() p .r0'
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
  ; PROCESS_QUERY_LIMITED_INFORMATION
  System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r1) p .r2'
  ${If} $2 P<> 0
    ; TOKEN_DUPLICATE; then MAXIMUM_ALLOWED, SecurityImpersonation, TokenPrimary
    System::Call 'advapi32::OpenProcessToken(p r2, i 0x2, *p .r3) i .r4'
    ${If} $4 <> 0
      System::Call 'advapi32::DuplicateTokenEx(p r3, i 0x02000000, p 0, i 2, i 1, *p .r5) i .r4'
      ${If} $4 <> 0
        System::Call '*(i 104, &i100 0) p .r6'  ; STARTUPINFOW
        System::Call '*(p 0, p 0, i 0, i 0) p .r7'  ; PROCESS_INFORMATION
        System::Call 'advapi32::CreateProcessWithTokenW(p r5, i 0, w "$INSTDIR\kelvrix.exe", p 0, i 0, p 0, w "$INSTDIR", p r6, p r7) i .r9'
        ${If} $9 <> 0
          System::Call '*$7(p .r0, p .r1)'
          System::Call 'kernel32::CloseHandle(p r0)'
          System::Call 'kernel32::CloseHandle(p r1)'
        ${EndIf}
        System::Free $6
        System::Free $7
        System::Call 'kernel32::CloseHandle(p r5)'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r3)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
  ${If} $9 == 0
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\kelvrix.exe"'
  ${EndIf}
FunctionEnd

Function ShowTheGuide
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\operator-guide.ja.html"'
FunctionEnd

Function .onInit
  SetShellVarContext all
  !insertmacro RefuseWhileTheProgramRuns
FunctionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro RefuseWhileTheProgramRuns
FunctionEnd

Section "Kelvrix"
  SetOutPath "$INSTDIR"
  File "${EXE}"
  File "${CLI}"
  File "${GUIDE}"
  File "${NOTICES}"
  SetOutPath "$INSTDIR\screenshots"
  File "${SCREENSHOTS}\*.png"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Kelvrix"
  CreateShortcut "$SMPROGRAMS\Kelvrix\Kelvrix コントロールパネル.lnk" "$INSTDIR\kelvrix.exe"
  CreateShortcut "$SMPROGRAMS\Kelvrix\操作ガイド.lnk" "$INSTDIR\operator-guide.ja.html"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kelvrix コントロールパネル"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kelvrix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvrix.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\kelvrix-cli.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd

; Only what the installer put there: the folder stays when the operator
; keeps files of their own in it.
Section "Uninstall"
  Delete "$INSTDIR\kelvrix.exe"
  Delete "$INSTDIR\kelvrix-cli.exe"
  Delete "$INSTDIR\operator-guide.ja.html"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\screenshots\*.png"
  RMDir "$INSTDIR\screenshots"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Kelvrix\Kelvrix コントロールパネル.lnk"
  Delete "$SMPROGRAMS\Kelvrix\操作ガイド.lnk"
  RMDir "$SMPROGRAMS\Kelvrix"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
SectionEnd
