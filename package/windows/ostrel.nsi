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
;   $INSTDIR: the three programs, uninstall.exe, and "Tavisk Sleeper.ini" when
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

Page directory skipDirectoryOnUpgrade
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; An upgrade goes where the earlier installation is.
Function .onInit
  !if ${ARCH} == 64
    SetRegView 64
  !endif
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; An upgrade offers no other folder: a second copy elsewhere would leave the
; first behind, unregistered, with no uninstaller that knows of it.
Function skipDirectoryOnUpgrade
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  !if ${ARCH} == 64
    SetRegView 64
  !endif
FunctionEnd

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "/oname=Korwipe.exe" "${PROGRAMS}/wipe/Korwipe.exe"
  File "/oname=presentation.exe" "${PROGRAMS}/presentation/presentation.exe"
  File "/oname=cfgsetup.exe" "${PROGRAMS}/setup/cfgsetup.exe"

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

  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; cfgsetup places config.cfg from the ini beside it and opens it to Users.
  ExecWait '"$INSTDIR\cfgsetup.exe"'

  CreateShortcut "${SHORTCUT}" "$INSTDIR\presentation.exe" "" "$INSTDIR\presentation.exe" 0

  ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\presentation.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "IniPlaced" $1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\Korwipe.exe"
  Delete "$INSTDIR\presentation.exe"
  Delete "$INSTDIR\cfgsetup.exe"
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "IniPlaced"
  ${If} $1 == 1
    Delete "$INSTDIR\${INI}"
  ${EndIf}
  ; The uninstaller runs from a copy in the temporary folder, which the
  ; original may still hold open for a moment: what cannot go now goes at
  ; the next restart (the folders only if they are empty by then).
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ; The company folder only when it is the one the installer proposes: a
  ; folder chosen by hand has a parent that is not ours.
  ${If} "$INSTDIR" == "${PROGRAM_FILES}\${COMPANY}\Ostrel"
    RMDir /REBOOTOK "${PROGRAM_FILES}\${COMPANY}"
  ${EndIf}

  ; $APPDATA of all users is the common application-data folder, where
  ; cfgsetup placed the setting.
  Delete "$APPDATA\${COMPANY}\Ostrel\config.cfg"
  RMDir "$APPDATA\${COMPANY}\Ostrel"
  RMDir "$APPDATA\${COMPANY}"

  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
