; The Windows setup program: both programs, the README and licence, the third-party notices, the
; programs' SBOMs and the manual as HTML, Start-menu shortcuts, the .VQC file type, the installation
; folder on PATH, and an uninstaller listed in Apps & features. Per-machine when run as an
; administrator (the default), per-user otherwise; /AllUsers or /CurrentUser choose. /S installs or
; uninstalls silently; /NOPATH leaves PATH alone. Installing over an earlier version replaces it in
; place, in the folder it was in.
;   makensis -DVERSION=1.0.0 -DBIN=$PWD/build/windows/src -DTOP=$PWD -DDOCS=$PWD/build/windows/setup-docs -DOUTFILE=$PWD/vantor-setup-1.0.0-x64.exe packaging/windows/vantor.nsi
; BIN holds app/vantor-uploader.exe and cli/vantor.exe; TOP is the repository; DOCS holds
; THIRD-PARTY-NOTICES.txt, manual/vantor.html, manual/vantor-uploader.html, sbom/vantor.exe.cdx.json
; and sbom/vantor-uploader.exe.cdx.json (scripts/windows-build.sh makes them).

!ifndef VERSION | BIN | TOP | DOCS | OUTFILE
  !error "define VERSION, BIN, TOP, DOCS and OUTFILE (see the top of this file)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; Files are installed with the time they are installed, not with the time they were built or cloned
; at: two builds of one commit give the same setup program.
SetDateSave off

!define PRODUCT "Vantor Program Uploader"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorProgramUploader"
!define PROGID "Vantor.CompiledCode"
; Both programs hold this mutex while they run (see their main()), so nothing running is overwritten.
!define PROGRAM_MUTEX "VantorProgramUploader"
!define SETUP_MUTEX "VantorProgramUploaderSetup"
!define DOCS_MENU "$SMPROGRAMS\${PRODUCT} documentation"
; Where Windows keeps PATH: the user's for a per-user installation, the machine's for a per-machine one.
!define USER_ENVIRONMENT "Environment"
!define MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

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
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

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
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
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

; PATH is edited as a list of entries separated by ";", each compared with the installation folder
; as Windows compares paths: case aside, with or without a trailing "\" or quotes. What is not ours
; is kept as it was, empty entries, a trailing ";" and the order included, and the value keeps its
; type (REG_EXPAND_SZ, so that entries such as %SystemRoot%\system32 stay unexpanded). A PATH that
; cannot be read whole (a read that fails, a value that is no string, or one longer than the
; ${NSIS_MAX_STRLEN} characters NSIS strings hold) is left as it was, never written back cut short
; or replaced, and the user is told what to add or remove by hand: in a message box, or, silently,
; in the details and in %TEMP%\vantor-setup.log. The functions use $R0 to $R9; they are defined
; once for the setup and once for the uninstaller.
!define /math PATH_ROOM ${NSIS_MAX_STRLEN} - 1 ; for what is added, and the ";" before it
; The predefined keys as the running setup's pointers hold them: Windows defines them as 32-bit
; values sign-extended to a pointer, so a 64-bit setup (Target amd64-unicode above, whose stub is
; PE32+) must pass 0xFFFFFFFF80000002, where a 32-bit one passes 0x80000002.
!if ${NSIS_PTR_SIZE} > 4
  !define HKEY_LOCAL_MACHINE_HANDLE 0xFFFFFFFF80000002
  !define HKEY_CURRENT_USER_HANDLE 0xFFFFFFFF80000001
!else
  !define HKEY_LOCAL_MACHINE_HANDLE 0x80000002
  !define HKEY_CURRENT_USER_HANDLE 0x80000001
!endif
!define ERROR_FILE_NOT_FOUND 2
!macro PATH_FUNCTIONS UN
; Reads this installation's PATH: $R0 the value as stored, $R8 its type (REG_EXPAND_SZ, 2, when there
; is none), $R7 "1" when it may be edited (missing, or read whole), else "0" and $R9 why not, as the
; end of a sentence that begins with "PATH".
Function ${UN}PathRead
  StrCpy $R0 ""
  StrCpy $R8 2
  StrCpy $R7 0
  ; RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND: the type and size of the value as stored,
  ; refused (ERROR_UNSUPPORTED_TYPE) when it is no string, since then nothing of ours can be in it.
  ${If} $MultiUser.InstallMode == "AllUsers"
    System::Call 'advapi32::RegGetValueW(p ${HKEY_LOCAL_MACHINE_HANDLE}, w "${MACHINE_ENVIRONMENT}", w "Path", i 0x10000006, *i .R5, p 0, *i .R6) i .R4'
  ${Else}
    System::Call 'advapi32::RegGetValueW(p ${HKEY_CURRENT_USER_HANDLE}, w "${USER_ENVIRONMENT}", w "Path", i 0x10000006, *i .R5, p 0, *i .R6) i .R4'
  ${EndIf}
  ${If} $R4 = ${ERROR_FILE_NOT_FOUND}
    StrCpy $R7 1 ; no PATH of this kind yet
    Return
  ${ElseIf} $R4 <> 0
    ; Anything else (access denied, a value of another type, a failed call) says nothing of what
    ; PATH holds: writing ours alone would replace it.
    StrCpy $R9 "could not be read (error $R4)"
    Return
  ${EndIf}
  StrCpy $R8 $R5
  IntOp $R6 $R6 / ${NSIS_CHAR_SIZE} ; characters, with the terminating one
  ${If} $R6 >= ${NSIS_MAX_STRLEN}
    IntOp $R6 $R6 - 1
    StrCpy $R9 "is $R6 characters long, more than this setup can edit"
    Return
  ${EndIf}
  ClearErrors
  ${If} $MultiUser.InstallMode == "AllUsers"
    ReadRegStr $R0 HKLM "${MACHINE_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $R0 HKCU "${USER_ENVIRONMENT}" "Path"
  ${EndIf}
  ${If} ${Errors}
    StrCpy $R9 "could not be read"
    Return
  ${EndIf}
  StrCpy $R7 1
FunctionEnd

; Tells the user that PATH was left as it was and what to do instead: $R9 says it, in a sentence.
; Interactive, in a message box and the details; silent, in the details and %TEMP%\vantor-setup.log,
; since a silent setup shows nothing and its exit status is the installation's, which succeeded.
Function ${UN}PathLeftAlone
  DetailPrint $R9
  MessageBox MB_OK|MB_ICONEXCLAMATION $R9 /SD IDOK
  ${If} ${Silent}
    ClearErrors
    FileOpen $R4 "$TEMP\vantor-setup.log" a
    ${IfNot} ${Errors}
      FileSeek $R4 0 END
      FileWrite $R4 "${PRODUCT} ${VERSION}: $R9$\r$\n"
      FileClose $R4
    ${EndIf}
  ${EndIf}
FunctionEnd

; Writes $R0 as this installation's PATH with the type $R8 (the value goes when $R0 is empty), and
; tells running programs (Explorer, so the programs it starts next) that the environment changed.
Function ${UN}PathWrite
  ${If} $MultiUser.InstallMode == "AllUsers"
    ${If} $R0 == ""
      DeleteRegValue HKLM "${MACHINE_ENVIRONMENT}" "Path"
    ${ElseIf} $R8 = 1
      WriteRegStr HKLM "${MACHINE_ENVIRONMENT}" "Path" $R0
    ${Else}
      WriteRegExpandStr HKLM "${MACHINE_ENVIRONMENT}" "Path" $R0
    ${EndIf}
  ${Else}
    ${If} $R0 == ""
      DeleteRegValue HKCU "${USER_ENVIRONMENT}" "Path"
    ${ElseIf} $R8 = 1
      WriteRegStr HKCU "${USER_ENVIRONMENT}" "Path" $R0
    ${Else}
      WriteRegExpandStr HKCU "${USER_ENVIRONMENT}" "Path" $R0
    ${EndIf}
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

; $R1 is the entry; $R0 the list. Leaves in $R2 how many entries are $R1, and in $R3 the list
; without the last of them: the one this setup appended, while an equal entry the user made stays.
; The first pass counts; the second drops the match it counts down to.
Function ${UN}PathWithout
  Push $R7
  StrCpy $R2 0
  StrCpy $R7 "count" ; in the second pass, the matches still to come before the one dropped
  path_pass:
  StrCpy $R3 "" ; the entries kept, joined
  StrCpy $R4 "" ; the entry being read
  StrCpy $R5 0  ; the character read next
  StrCpy $R6 0  ; how many entries were kept
  ${Do}
    StrCpy $R9 $R0 1 $R5
    ${If} $R9 == ";"
    ${OrIf} $R9 == ""
      ${If} $R4 == $R1
      ${OrIf} $R4 == "$R1\"
      ${OrIf} $R4 == '"$R1"'
        ${If} $R7 == "count"
          IntOp $R2 $R2 + 1
        ${Else}
          IntOp $R7 $R7 - 1
        ${EndIf}
      ${EndIf}
      ${If} $R7 = 0
      ${AndIf} $R7 != "count"
        StrCpy $R7 -1 ; dropped; any later match is kept
      ${ElseIf} $R6 = 0
        StrCpy $R3 $R4
        IntOp $R6 $R6 + 1
      ${Else}
        StrCpy $R3 "$R3;$R4"
        IntOp $R6 $R6 + 1
      ${EndIf}
      ${If} $R9 == ""
        ${ExitDo}
      ${EndIf}
      StrCpy $R4 ""
    ${Else}
      StrCpy $R4 "$R4$R9"
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${Loop}
  ${If} $R7 == "count"
  ${AndIf} $R2 <> 0
    StrCpy $R7 $R2
    Goto path_pass
  ${EndIf}
  Pop $R7
FunctionEnd
!macroend
!insertmacro PATH_FUNCTIONS ""

; Adds the installation folder to the end of PATH unless it is there already, and notes in the
; uninstall key that the entry is this installation's (an entry the user made stays when we go).
Function PathAdd
  Call PathRead
  ${If} $R7 <> 1
    StrCpy $R9 "PATH $R9, so it was left as it was: add $INSTDIR to it yourself to run vantor from any command prompt."
    Call PathLeftAlone
    Return
  ${EndIf}
  StrCpy $R1 $INSTDIR
  Call PathWithout
  ${If} $R2 <> 0
    DetailPrint "PATH has $INSTDIR already."
    Return
  ${EndIf}
  StrLen $R4 $R0
  StrLen $R5 $INSTDIR
  IntOp $R4 $R4 + $R5
  ${If} $R4 >= ${PATH_ROOM}
    StrCpy $R9 "PATH would be longer than this setup can edit with $INSTDIR added, so it was left as it was: add $INSTDIR to it yourself to run vantor from any command prompt."
    Call PathLeftAlone
    Return
  ${EndIf}
  ; A trailing ";" stays the last character, so that removing our entry gives PATH back as it was.
  StrCpy $R4 $R0 1 -1
  ${If} $R0 == ""
    StrCpy $R0 $INSTDIR
  ${ElseIf} $R4 == ";"
    StrCpy $R0 "$R0$INSTDIR;"
  ${Else}
    StrCpy $R0 "$R0;$INSTDIR"
  ${EndIf}
  Call PathWrite
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "PathEntry" "$INSTDIR"
  DetailPrint "Added $INSTDIR to PATH."
FunctionEnd
!insertmacro PATH_FUNCTIONS "un."

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
  Call PathOption
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
  !insertmacro ONE_SETUP_AT_A_TIME
  !insertmacro WAIT_FOR_PROGRAMS_CLOSED
FunctionEnd

Section "!${PRODUCT}" SEC_PROGRAMS
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; The programs were checked to be closed; should a file still be held (a virus scanner, say), the
  ; setup stops with an error instead of asking, and the uninstaller is not written over.
  SetOverwrite try
  ClearErrors
  File "${BIN}/app/vantor-uploader.exe"
  File "${BIN}/cli/vantor.exe"
  File "/oname=README.md" "${TOP}/README.md"
  File "/oname=LICENSE.txt" "${TOP}/LICENSE"
  File "${DOCS}/THIRD-PARTY-NOTICES.txt"
  SetOutPath "$INSTDIR\manual"
  File "${DOCS}/manual/vantor.html"
  File "${DOCS}/manual/vantor-uploader.html"
  SetOutPath "$INSTDIR\sbom"
  File "${DOCS}/sbom/vantor.exe.cdx.json"
  File "${DOCS}/sbom/vantor-uploader.exe.cdx.json"
  SetOutPath "$INSTDIR"
  ${If} ${Errors}
    Abort "Could not write the program files into $INSTDIR."
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vantor-uploader.exe" "" "$INSTDIR\vantor-uploader.exe" 0
  CreateDirectory "${DOCS_MENU}"
  CreateShortCut "${DOCS_MENU}\vantor command line manual.lnk" "$INSTDIR\manual\vantor.html"
  CreateShortCut "${DOCS_MENU}\vantor-uploader manual.lnk" "$INSTDIR\manual\vantor-uploader.html"
  CreateShortCut "${DOCS_MENU}\Third-party notices.lnk" "$INSTDIR\THIRD-PARTY-NOTICES.txt"

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

; Checked by default; /NOPATH unchecks it for a silent installation.
Section "Add the installation folder to PATH (vantor in any command prompt)" SEC_PATH
  Call PathAdd
SectionEnd

Function PathOption
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOPATH" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SEC_PATH}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\vantor-uploader.exe"
  Delete "$INSTDIR\vantor.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\manual\vantor.html"
  Delete "$INSTDIR\manual\vantor-uploader.html"
  RMDir "$INSTDIR\manual"
  Delete "$INSTDIR\sbom\vantor.exe.cdx.json"
  Delete "$INSTDIR\sbom\vantor-uploader.exe.cdx.json"
  RMDir "$INSTDIR\sbom"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR" ; only when empty: files a user put there stay
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "${DOCS_MENU}\vantor command line manual.lnk"
  Delete "${DOCS_MENU}\vantor-uploader manual.lnk"
  Delete "${DOCS_MENU}\Third-party notices.lnk"
  RMDir "${DOCS_MENU}"

  ; Only the entry this installation added, and only that entry, leaves PATH.
  ReadRegStr $R1 SHCTX "${UNINSTALL_KEY}" "PathEntry"
  ${If} $R1 != ""
    Call un.PathRead
    ${If} $R7 = 1
      Call un.PathWithout
      ${If} $R2 <> 0
        StrCpy $R0 $R3
        Call un.PathWrite
      ${EndIf}
    ${Else}
      StrCpy $R9 "PATH $R9, so it was left as it was: remove $R1 from it yourself."
      Call un.PathLeftAlone
    ${EndIf}
  ${EndIf}

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
