; The Windows installer of Korvanel Ostrel, made by scripts/package.sh:
;
;   makensis -DVERSION=1.0.0 -DARCH=32 -DPROGRAMS=build/win32 -DOUTFILE=setup.exe ostrel.nsi
;
; ARCH 32 makes the shipped installer of the 32-bit programs (into the 32-bit
; program files folder); ARCH 64 makes one of the 64-bit build, with a 64-bit
; installer stub, into the 64-bit program files folder. PROGRAMS is the build
; folder holding wipe/Korwipe.exe, presentation/presentation.exe and
; setup/cfgsetup.exe with its "Tavisk Sleeper.ini".
;
; What the installer adds, and the uninstaller removes again:
;   $INSTDIR: the three programs, ostrel-uninstall.exe, and "Tavisk Sleeper.ini" when
;     it was not there yet (an administrator's own copy is kept, then and on
;     uninstall);
;   ProgramData\Korvanel\Ostrel\config.cfg, placed by cfgsetup.exe;
;   the all-users Start menu shortcut to the presentation;
;   the registration under HKLM ...\Uninstall\KorvanelOstrel.
; Folders are removed only when they are empty. The PATH is not touched.

Unicode true
!macro require NAME
  !ifndef ${NAME}
    !error "define ${NAME}: makensis -DVERSION=... -DARCH=32|64 -DPROGRAMS=... -DOUTFILE=..."
  !endif
!macroend
!insertmacro require VERSION
!insertmacro require ARCH
!insertmacro require PROGRAMS
!insertmacro require OUTFILE

!include LogicLib.nsh
!include FileFunc.nsh
!if ${ARCH} == 64
  !include x64.nsh
!endif

!define PRODUCT "Korvanel Ostrel"
!define COMPANY "Korvanel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvanelOstrel"
!define INI "Tavisk Sleeper.ini"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT} Presentation.lnk"

!if ${ARCH} == 64
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES32"
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; NSIS would store each packed file's last-write time, that is when it was
; built: without it, two builds of one commit make the same installer.
SetDateSave off
InstallDir "${PROGRAM_FILES}\${COMPANY}\Ostrel"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${COMPANY}"

; Our uninstaller is named after the product, so that a folder shared with
; other software never has its own uninstall.exe overwritten or deleted.
!define UNINSTALLER "ostrel-uninstall.exe"
; The name earlier versions gave it.
!define OLD_UNINSTALLER "uninstall.exe"
; Windows' code for "done, but a restart is needed to finish".
!define EXIT_RESTART_NEEDED 3010

Var upgradeFolder

Page directory skipDirectoryOnUpgrade
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; An upgrade goes where the earlier installation is, when that folder is
; still there: a registration naming a folder that was removed, or a drive
; that is gone, is ignored (the default folder, or the folder page).
Function .onInit
  !if ${ARCH} == 64
    SetRegView 64
  !endif
  StrCpy $upgradeFolder ""
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\*.*"
    StrCpy $upgradeFolder $0
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; An upgrade offers no other folder: a second copy elsewhere would leave the
; first behind, unregistered, with no uninstaller that knows of it.
Function skipDirectoryOnUpgrade
  ${If} $upgradeFolder != ""
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  !if ${ARCH} == 64
    SetRegView 64
  !endif
FunctionEnd

; Places one program: unpacked beside its place as NAME.new, then moved over
; the old one. A file that cannot be replaced now (a running program) takes
; its place at the next restart, which sets the reboot flag; a file that
; cannot be written at all stops the installation before anything is
; registered.
!macro placeProgram NAME SOURCE
  ClearErrors
  File "/oname=${NAME}.new" "${SOURCE}"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "${NAME} could not be written to $INSTDIR. The installation stops; nothing was registered." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  Delete "$INSTDIR\${NAME}"
  Rename /REBOOTOK "$INSTDIR\${NAME}.new" "$INSTDIR\${NAME}"
  ${If} ${FileExists} "$INSTDIR\${NAME}.new"
    DetailPrint "${NAME} is in use: it is replaced when Windows restarts."
  ${EndIf}
!macroend

; Adds the size in bytes of one file of ours in $INSTDIR to $R0.
!macro addSize NAME
  ClearErrors
  ${GetSize} "$INSTDIR" "/M=${NAME} /S=0B /G=0" $R1 $R2 $R3
  ${IfNot} ${Errors}
    IntOp $R0 $R0 + $R1
  ${EndIf}
!macroend

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !insertmacro placeProgram Korwipe.exe "${PROGRAMS}/wipe/Korwipe.exe"
  !insertmacro placeProgram presentation.exe "${PROGRAMS}/presentation/presentation.exe"
  !insertmacro placeProgram cfgsetup.exe "${PROGRAMS}/setup/cfgsetup.exe"

  ; The setting file is the administrator's to edit: placed only when absent,
  ; and remembered as ours (IniPlaced) only when this or an earlier run of
  ; the installer placed it.
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "IniPlaced"
  ${IfNot} ${FileExists} "$INSTDIR\${INI}"
    File "/oname=${INI}" "${PROGRAMS}/setup/${INI}"
    StrCpy $1 1
  ${EndIf}
  ${If} $1 != 1
    StrCpy $1 0
  ${EndIf}

  ; An earlier version's uninstaller, when the registration says it is ours.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "UninstallString"
  ${If} $0 == '"$INSTDIR\${OLD_UNINSTALLER}"'
    Delete /REBOOTOK "$INSTDIR\${OLD_UNINSTALLER}"
  ${EndIf}
  ClearErrors
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "${UNINSTALLER} could not be written to $INSTDIR. The installation stops; nothing was registered." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; cfgsetup places config.cfg from the ini beside it and opens it to Users.
  ExecWait '"$INSTDIR\cfgsetup.exe"'

  CreateShortcut "${SHORTCUT}" "$INSTDIR\presentation.exe" "" "$INSTDIR\presentation.exe" 0

  ; The size of our own files, whatever else the folder holds.
  StrCpy $R0 0
  !insertmacro addSize Korwipe.exe
  !insertmacro addSize presentation.exe
  !insertmacro addSize cfgsetup.exe
  !insertmacro addSize "${UNINSTALLER}"
  ${If} $1 == 1
    !insertmacro addSize "${INI}"
  ${EndIf}
  IntOp $R0 $R0 + 1023
  IntOp $R0 $R0 / 1024

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\presentation.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "IniPlaced" $1

  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "Some files of ${PRODUCT} are in use. They are replaced when Windows restarts next." /SD IDOK
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd

!macro removeProgram NAME
  Delete "$INSTDIR\${NAME}.new"
  Delete /REBOOTOK "$INSTDIR\${NAME}"
!macroend

; $0 is 1 when the path in $0 is a folder and not a link (reparse point).
Function un.isRealFolder
  System::Call 'kernel32::GetFileAttributesW(w r0) i .r1'
  ${If} $1 = -1
    StrCpy $0 0
  ${Else}
    IntOp $2 $1 & 0x410
    ${If} $2 = 0x10
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ; A program still running is removed at the next restart; so is a new
  ; one still waiting there to replace it.
  !insertmacro removeProgram Korwipe.exe
  !insertmacro removeProgram presentation.exe
  !insertmacro removeProgram cfgsetup.exe
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "IniPlaced"
  ${If} $1 == 1
    Delete /REBOOTOK "$INSTDIR\${INI}"
  ${EndIf}
  StrCpy $3 0
  ${If} ${RebootFlag}
    StrCpy $3 1
  ${EndIf}
  ; The uninstaller runs from a copy in the temporary folder, which the
  ; original may still hold open for a moment: what cannot go now goes at
  ; the next restart (the folders only if they are empty by then).
  Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR"
  ; The company folder only when it is the one the installer proposes: a
  ; folder chosen by hand has a parent that is not ours.
  ${If} "$INSTDIR" == "${PROGRAM_FILES}\${COMPANY}\Ostrel"
    RMDir /REBOOTOK "${PROGRAM_FILES}\${COMPANY}"
  ${EndIf}

  ; $APPDATA of all users is the common application-data folder, where
  ; cfgsetup placed the setting. Every user may create folders there:
  ; nothing is removed through a link planted in place of either folder.
  ; (cfgsetup leaves both folders to the administrators, so they cannot be
  ; swapped for a link after this check.)
  StrCpy $0 "$APPDATA\${COMPANY}"
  Call un.isRealFolder
  StrCpy $4 $0
  StrCpy $0 "$APPDATA\${COMPANY}\Ostrel"
  Call un.isRealFolder
  ${If} $4 = 1
  ${AndIf} $0 = 1
    Delete "$APPDATA\${COMPANY}\Ostrel\config.cfg"
    RMDir "$APPDATA\${COMPANY}\Ostrel"
    RMDir "$APPDATA\${COMPANY}"
  ${Else}
    DetailPrint "$APPDATA\${COMPANY}\Ostrel is not a plain folder: left as it is."
  ${EndIf}

  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${If} $3 = 1
    MessageBox MB_OK|MB_ICONINFORMATION "Some files of ${PRODUCT} are in use. They are removed when Windows restarts next." /SD IDOK
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd
