; Sonabell-Setup: puts Sonabell.dll into the host's plug-in folder, gives it a
; sound folder with the sample soundpack, registers that pack's sounds and the
; user's settings, and leaves an uninstaller behind.
;
; Defines given by the build (installer/CMakeLists.txt):
;   VERSION     the displayed version, e.g. 2.01.001
;   DLL         the Sonabell.dll to install
;   PACK_DIR    the folder of the sample soundpack
;   PACK_FILES  an include that lists the pack's files with PACK_FILE
;   OUTFILE     the setup program to write
;   AMD64       build the 64-bit variant (installs the 64-bit test DLL and
;               uses the 64-bit registry view); without it the setup is the
;               32-bit product installer, for the 32-bit host.

!ifdef AMD64
  Target amd64-unicode
!else
  Target x86-unicode
!endif

SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

; Exit codes besides NSIS's own (0 done, 1 cancelled, 2 aborted).
!define EXIT_NO_HOST 3       ; the host's PluginDir is not in the registry
!define EXIT_NO_FOLDER 4     ; PluginDir names a folder that does not exist
!define EXIT_WRITE_FAILED 5  ; a registry value could not be written
!define EXIT_DLL_IN_USE 6    ; Sonabell.dll is held by a running host
!define EXIT_OLD_WINDOWS 7   ; Windows older than XP with Service Pack 3

!define HOST_KEY "software\Kestrune\MsgPlus2"
!define DATA_KEY "Software\tinderwick_ software\Sonabell"
!define MAKER_KEY "Software\tinderwick_ software"
!define SOUNDS_KEY "${DATA_KEY}\Sounds"
!define ARP_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sonabell"
!define UNINSTALLER "Sonabell-Uninstall.exe"
!define PUBLISHER "tinderwick_ software"

Name "Sonabell ${VERSION}"
OutFile "${OUTFILE}"
; No default folder: it comes from the host's registry key or from the user.
InstallDir ""
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
BrandingText "Sonabell ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Sonabell"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Sonabell setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var HostMissing
Var WriteFailed

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This will install Sonabell ${VERSION}, the sound plug-in for the messenger add-on MsgPlus2, together with a sample soundpack. Every account of this computer will be able to add and change sounds.$\r$\n$\r$\nSonabell runs on Windows XP with Service Pack 3 and every later Windows.$\r$\n$\r$\nClose the messenger before you go on."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryWhenHostFound
!define MUI_DIRECTORYPAGE_TEXT_TOP "MsgPlus2 does not seem to be installed. Choose the folder of its plug-ins; Sonabell.dll and the Sonabell sound folder go there."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The 32-bit host and plug-in read the 32-bit view; the 64-bit test build
; reads the 64-bit one.
!macro USE_PLUGIN_REG_VIEW
  !ifdef AMD64
    SetRegView 64
  !else
    SetRegView 32
  !endif
!macroend

; Sets $R9 to 1 when this Windows is XP with Service Pack 3 or later, else 0.
; Asked of the system directly (WinVer.nsh decides at build time that every
; 64-bit Windows is new enough, which would leave the amd64 build untested).
Function WindowsIsSupported
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $R9 0
  ; OSVERSIONINFOEXW: size, major, minor, build, platform, CSD text,
  ; service pack major and minor, suite, product type, reserved.
  System::Call '*(i 284, i, i, i, i, &w128, &i2, &i2, &i2, &i1, &i1) p .r0'
  System::Call 'kernel32::GetVersionExW(p r0) i .r1'
  ${If} $1 <> 0
    System::Call '*$0(i, i .r1, i .r2, i, i, &w128, &i2 .r3)'
    ${If} $1 > 5
      StrCpy $R9 1
    ${ElseIf} $1 = 5
      ${If} $2 > 1
        StrCpy $R9 1
      ${ElseIf} $2 = 1
      ${AndIf} $3 >= 3
        StrCpy $R9 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  System::Free $0
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  !insertmacro USE_PLUGIN_REG_VIEW
  ; Before anything is asked or written: on an older Windows the plug-in
  ; would not load, and the host would silently show no plug-in.
  Call WindowsIsSupported
  ${If} $R9 == 0
    MessageBox MB_OK|MB_ICONSTOP "Sonabell needs Windows XP with Service Pack 3 or a later Windows.$\r$\n$\r$\nThis computer runs an older version, on which the plug-in cannot load. Nothing was installed." /SD IDOK
    SetErrorLevel ${EXIT_OLD_WINDOWS}
    Quit
  ${EndIf}
  StrCpy $HostMissing 0
  ; A folder given with /D= wins over the host's.
  ${If} $INSTDIR != ""
    Return
  ${EndIf}
  ReadRegStr $0 HKLM "${HOST_KEY}" "PluginDir"
  ; The plug-in appends "\Sonabell\" itself; keep the folder without a
  ; trailing separator so paths built here look the same.
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 == "\"
    ${OrIf} $1 == "/"
      StrCpy $0 $0 -1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  ${If} $0 == ""
    ${If} ${Silent}
      SetErrorLevel ${EXIT_NO_HOST}
      Quit
    ${EndIf}
    MessageBox MB_OK|MB_ICONEXCLAMATION "MsgPlus2 is not installed: its plug-in folder is not in the registry.$\r$\n$\r$\nYou can still choose a folder to install Sonabell into."
    StrCpy $HostMissing 1
  ${ElseIfNot} ${FileExists} "$0\*.*"
    ${If} ${Silent}
      SetErrorLevel ${EXIT_NO_FOLDER}
      Quit
    ${EndIf}
    MessageBox MB_OK|MB_ICONEXCLAMATION "MsgPlus2's plug-in folder $0 does not exist.$\r$\n$\r$\nYou can still choose a folder to install Sonabell into."
    StrCpy $HostMissing 1
  ${Else}
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

Function SkipDirectoryWhenHostFound
  ${If} $HostMissing == 0
    Abort
  ${EndIf}
FunctionEnd

; Lets every account of this computer change the sound database: the local
; Users group (S-1-5-32-545) gets full control of the plug-in's key in the
; local-machine hive, and, through the entry's container inheritance, of the
; Sounds key and every sound below it, the ones there now included (Windows
; passes an inheritable entry on to existing sub-keys). The entries the key
; inherits from the keys above stay as they are. Only this key is touched,
; so deleting it leaves nothing of the change behind. The 32-bit setup runs
; in the 32-bit view, so the name below reaches the key the 32-bit host and
; plug-in use. Sets $WriteFailed on failure.
Function GrantUsersTheDatabase
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "D:(A;CI;KA;;;BU)", i 1, *p .r1, p 0) i .r0'
  ${If} $0 = 0
    StrCpy $WriteFailed 1
  ${Else}
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
    ; DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION on
    ; an SE_REGISTRY_KEY
    System::Call 'advapi32::SetNamedSecurityInfoW(w "MACHINE\${DATA_KEY}", i 4, i 0x20000004, p 0, p 0, p r3, p 0) i .r0'
    ${If} $0 <> 0
      DetailPrint "Could not let every account change the sound database (error $0)."
      StrCpy $WriteFailed 1
    ${Else}
      DetailPrint "Every account of this computer may change the sound database."
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Sets $R9 to 1 when the settings key lacks the value named $R8, else 0.
; Registry value names ignore letter case, and so does StrCmp.
Function SettingMissing
  StrCpy $R9 1
  StrCpy $R7 0
  ${Do}
    ClearErrors
    EnumRegValue $R6 HKCU "${DATA_KEY}" $R7
    ${If} ${Errors}
    ${OrIf} $R6 == ""
      ${Break}
    ${EndIf}
    ${If} $R6 == $R8
      StrCpy $R9 0
      ${Break}
    ${EndIf}
    IntOp $R7 $R7 + 1
  ${Loop}
FunctionEnd

; Writes the sounds that the installed install.ini lists into the sound
; database the way the plug-in's own soundpack install does: one key per
; index with Command, Filename and Message as strings, in that order, and an
; index that has a key already is never redefined.
Function InstallPackSounds
  StrCpy $R0 "$INSTDIR\Sonabell\install.ini"
  ReadINIStr $R1 $R0 "Header" "TotalSounds"
  IntOp $R1 $R1 + 0
  ${For} $R2 1 $R1
    ReadINIStr $R3 $R0 "Sound$R2" "SoundIndex"
    ReadINIStr $R4 $R0 "Sound$R2" "Command"
    ReadINIStr $R5 $R0 "Sound$R2" "Filename"
    ReadINIStr $R6 $R0 "Sound$R2" "Message"
    ${If} $R3 == ""
    ${OrIf} $R4 == ""
    ${OrIf} $R5 == ""
    ${OrIf} $R6 == ""
      DetailPrint "Sound$R2 of the sample soundpack is incomplete; skipped."
      ${Continue}
    ${EndIf}
    ClearErrors
    EnumRegKey $R7 HKLM "${SOUNDS_KEY}\$R3" 0
    ${IfNot} ${Errors}
      DetailPrint "Sound number $R3 already exists in database, will not redefine."
      ${Continue}
    ${EndIf}
    ClearErrors
    WriteRegStr HKLM "${SOUNDS_KEY}\$R3" "Command" $R4
    WriteRegStr HKLM "${SOUNDS_KEY}\$R3" "Filename" $R5
    WriteRegStr HKLM "${SOUNDS_KEY}\$R3" "Message" $R6
    ${If} ${Errors}
      StrCpy $WriteFailed 1
    ${EndIf}
    DetailPrint "Sound number $R3 (/xSB$R4) added."
  ${Next}
FunctionEnd

Section "Sonabell" SecMain
  ; A running host holds the DLL: stop before anything is written rather
  ; than leave an old DLL beside new sounds.
  ${If} ${FileExists} "$INSTDIR\Sonabell.dll"
    ClearErrors
    FileOpen $0 "$INSTDIR\Sonabell.dll" a
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "Sonabell.dll is in use. Close the messenger and run the setup again." /SD IDOK
      SetErrorLevel ${EXIT_DLL_IN_USE}
      Abort
    ${EndIf}
    FileClose $0
  ${EndIf}

  SetOverwrite on
  SetOutPath "$INSTDIR"
  File "/oname=Sonabell.dll" "${DLL}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  SetOutPath "$INSTDIR\Sonabell"
  !macro PACK_FILE name
    File "${PACK_DIR}/${name}"
  !macroend
  !include "${PACK_FILES}"
  !macroundef PACK_FILE

  ; Reads and existence tests set the error flag too: only the writes count.
  StrCpy $WriteFailed 0
  Call InstallPackSounds
  Call GrantUsersTheDatabase

  ; Sounds start on for the account that installs. Other accounts get the
  ; key from the plug-in at their first change. Values the user has already
  ; are kept.
  StrCpy $R8 "SoundsEnabled"
  Call SettingMissing
  ${If} $R9 == 1
    ClearErrors
    WriteRegBin HKCU "${DATA_KEY}" "SoundsEnabled" 01
    ${If} ${Errors}
      StrCpy $WriteFailed 1
    ${EndIf}
  ${EndIf}
  StrCpy $R8 "ToastsEnabled"
  Call SettingMissing
  ${If} $R9 == 1
    ClearErrors
    WriteRegBin HKCU "${DATA_KEY}" "ToastsEnabled" 01
    ${If} ${Errors}
      StrCpy $WriteFailed 1
    ${EndIf}
  ${EndIf}

  ClearErrors
  WriteRegStr HKLM "${ARP_KEY}" "DisplayName" "Sonabell"
  WriteRegStr HKLM "${ARP_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${ARP_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${ARP_KEY}" "DisplayIcon" "$INSTDIR\Sonabell.dll,0"
  WriteRegStr HKLM "${ARP_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${ARP_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${ARP_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${ARP_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${ARP_KEY}" "NoRepair" 1
  SectionGetSize ${SecMain} $0
  WriteRegDWORD HKLM "${ARP_KEY}" "EstimatedSize" $0
  ${If} ${Errors}
    StrCpy $WriteFailed 1
  ${EndIf}

  ${If} $WriteFailed == 1
    MessageBox MB_OK|MB_ICONSTOP "Some registry values could not be written. Run the setup as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_WRITE_FAILED}
    Abort
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro USE_PLUGIN_REG_VIEW
FunctionEnd

Section "Uninstall"
  ; The sound list and settings are the user's: removed only on request.
  StrCpy $0 0
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/REMOVEDATA" $2
  ${IfNot} ${Errors}
    StrCpy $0 1
  ${ElseIfNot} ${Silent}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Also remove your Sonabell sound list and settings?$\r$\n$\r$\nSound files you added to the Sonabell folder stay in any case." IDNO +2
    StrCpy $0 1
  ${EndIf}

  ; A host that still runs holds the DLL; stop before anything is removed.
  ClearErrors
  Delete "$INSTDIR\Sonabell.dll"
  ${If} ${FileExists} "$INSTDIR\Sonabell.dll"
    MessageBox MB_OK|MB_ICONSTOP "Sonabell.dll is in use. Close the messenger and uninstall again." /SD IDOK
    SetErrorLevel ${EXIT_DLL_IN_USE}
    Abort
  ${EndIf}

  ; Only the files this setup put there; the folder goes only when the user
  ; added nothing to it.
  !macro PACK_FILE name
    Delete "$INSTDIR\Sonabell\${name}"
  !macroend
  !include "${PACK_FILES}"
  !macroundef PACK_FILE
  RMDir "$INSTDIR\Sonabell"
  Delete "$INSTDIR\${UNINSTALLER}"

  DeleteRegKey HKLM "${ARP_KEY}"
  ${If} $0 == 1
    DeleteRegKey HKLM "${DATA_KEY}"
    DeleteRegKey /ifempty HKLM "${MAKER_KEY}"
    DeleteRegKey HKCU "${DATA_KEY}"
    DeleteRegKey /ifempty HKCU "${MAKER_KEY}"
  ${EndIf}
SectionEnd
