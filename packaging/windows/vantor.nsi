; The Windows setup program: both programs, the README and licence, a Start-menu shortcut, the .VQC
; file type, and an uninstaller listed in Apps & features. Per-machine when run as an administrator
; (the default), per-user otherwise; /AllUsers or /CurrentUser choose. /S installs or uninstalls
; silently. Installing over an earlier version replaces it in place, in the folder it was in.
;   makensis -DVERSION=1.0.0 -DBIN=$PWD/build/windows/src -DTOP=$PWD -DOUTFILE=$PWD/vantor-setup-1.0.0-x64.exe packaging/windows/vantor.nsi
; BIN holds app/vantor-uploader.exe and cli/vantor.exe; TOP is the repository.

!ifndef VERSION | BIN | TOP | OUTFILE
  !error "define VERSION, BIN, TOP and OUTFILE (see the top of this file)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Vantor Program Uploader"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorProgramUploader"
!define PROGID "Vantor.CompiledCode"
; Both programs hold this mutex while they run (see their main()), so nothing running is overwritten.
!define PROGRAM_MUTEX "VantorProgramUploader"
!define SETUP_MUTEX "VantorProgramUploaderSetup"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "The Vantor Program Uploader developers"
VIAddVersionKey "LegalCopyright" "MIT License"

!define MUI_ICON "${TOP}/data/icons/vantor-uploader.ico"
!define MUI_UNICON "${TOP}/data/icons/vantor-uploader.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\vantor-uploader.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${TOP}/LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Waits for the programs to be closed: a running program's file cannot be replaced, and a setup that
; went on would leave old and new files side by side. Silent, it gives up at once (exit status 2).
!macro WAIT_FOR_PROGRAMS_CLOSED
  programs_running:
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${PROGRAM_MUTEX}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is running (the window, or a vantor command). Close it, then choose Retry.$\n$\nNothing has been changed yet." \
      /SD IDCANCEL IDRETRY programs_running
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

; One setup at a time: two would write the same files and keys.
!macro ONE_SETUP_AT_A_TIME
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${SETUP_MUTEX}") p .r0 ?e'
  Pop $1
  ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
    MessageBox MB_OK|MB_ICONSTOP "Another ${PRODUCT} setup is running. Let it finish first." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  ; A folder given with /D (or chosen before) is kept: the per-machine or per-user default is for
  ; when none was given.
  StrCpy $R9 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $R9 != ""
    StrCpy $INSTDIR $R9
  ${EndIf}
  !insertmacro ONE_SETUP_AT_A_TIME
  !insertmacro WAIT_FOR_PROGRAMS_CLOSED
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
  !insertmacro ONE_SETUP_AT_A_TIME
  !insertmacro WAIT_FOR_PROGRAMS_CLOSED
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  ; The programs were checked to be closed; should a file still be held (a virus scanner, say), the
  ; setup stops with an error instead of asking, and the uninstaller is not written over.
  SetOverwrite try
  ClearErrors
  File "${BIN}/app/vantor-uploader.exe"
  File "${BIN}/cli/vantor.exe"
  File "/oname=README.md" "${TOP}/README.md"
  File "/oname=LICENSE.txt" "${TOP}/LICENSE"
  ${If} ${Errors}
    Abort "Could not write the program files into $INSTDIR."
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vantor-uploader.exe" "" "$INSTDIR\vantor-uploader.exe" 0

  ; The file type: compiled programs open in the uploader, with the file type's own icon.
  WriteRegStr SHCTX "Software\Classes\.VQC" "" "${PROGID}"
  WriteRegStr SHCTX "Software\Classes\.VQC\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Vantor Compiled Code"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" '"$INSTDIR\vantor-uploader.exe",1'
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\vantor-uploader.exe" "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED

  ; Apps & features. The uninstaller is told which kind of installation it removes.
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $0 "/AllUsers"
  ${Else}
    StrCpy $0 "/CurrentUser"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Vantor Program Uploader developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\vantor-uploader.exe",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\vantor-uploader.exe"
  Delete "$INSTDIR\vantor.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR" ; only when empty: files a user put there stay
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  ; The extension is left alone when another program has taken it over since.
  ReadRegStr $0 SHCTX "Software\Classes\.VQC" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue SHCTX "Software\Classes\.VQC" ""
  ${EndIf}
  DeleteRegValue SHCTX "Software\Classes\.VQC\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.VQC\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.VQC"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
