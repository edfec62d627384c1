; The Windows installer: a 64-bit NSIS script that installs Clodmere for the
; current user, without administrator rights, with a Start menu entry and an
; entry in Add/Remove Programs.
;
; The build passes, with /D:
;   VERSION  the game's version, "0.69": the name, the registry and the file properties;
;   STAGE    the folder whose whole contents are installed: clodmere.exe,
;            clodmere-save.exe, data\arial.ttf, the read-me and the licences;
;   OUTFILE  the setup program to write.
;   ICON     (optional) a .ico for the setup program and the uninstaller.
; makensis works in this script's folder: give the paths absolute.
; For example:
;   makensis -DVERSION=0.69 -DSTAGE="$PWD/build-windows/stage" \
;     -DOUTFILE="$PWD/build-windows/clodmere-0.69-win64-setup.exe" packaging/windows/installer.nsi
; The staged files are listed with find and sed when the script is compiled,
; so makensis must run on a POSIX system (Debian here).
;
; The game saves in the folder it starts in; the Start menu entry starts it in
; %APPDATA%\Clodmere through start-from-menu.cmd beside this script. The
; uninstaller removes exactly what was installed and leaves that folder and the
; saves in it. /S installs or uninstalls silently.

!ifndef VERSION | STAGE | OUTFILE
  !error "makensis needs -DVERSION=... -DSTAGE=... -DOUTFILE=... (see the top of installer.nsi)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
BrandingText "Clodmere ${VERSION}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Clodmere"
!define SHORTCUT "$SMPROGRAMS\Clodmere.lnk"

Name "Clodmere ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Clodmere"
; A new version goes where the last one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Clodmere"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Clodmere ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "MIT licence"

!include "MUI2.nsh"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The staged tree, listed once: its folders (deepest first) and its files, each
; line a macro call, so that installing and uninstalling walk the same list.
!tempfile STAGED_FOLDERS
!tempfile STAGED_FILES
; (makensis turns every backslash in a command into a slash, hence cut and
; sed's "&" instead of find's own formats.)
!system `cd "${STAGE}" && find . -mindepth 1 -depth -type d | cut -c3- | sed 's|.*|!insertmacro STAGED_FOLDER "&"|' >"${STAGED_FOLDERS}"` = 0
!system `cd "${STAGE}" && find . -type f | cut -c3- | LC_ALL=C sort | sed 's|.*|!insertmacro STAGED_FILE "&"|' >"${STAGED_FILES}"` = 0
; The listed paths have slashes; Windows is given backslashes.
!macro WINDOWS_PATH path
  !searchreplace STAGED_PATH "${path}" "/" "\"
!macroend

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Clodmere"
  !macro STAGED_FOLDER path
    !insertmacro WINDOWS_PATH "${path}"
    CreateDirectory "$INSTDIR\${STAGED_PATH}"
    !undef STAGED_PATH
  !macroend
  !macro STAGED_FILE path
    !insertmacro WINDOWS_PATH "${path}"
    File "/oname=$INSTDIR\${STAGED_PATH}" "${STAGE}/${path}"
    !undef STAGED_PATH
  !macroend
  SetOutPath "$INSTDIR"
  !include "${STAGED_FOLDERS}"
  !include "${STAGED_FILES}"
  File "start-from-menu.cmd"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The entry runs the launcher through cmd.exe: the game's console opens with it.
  CreateShortcut "${SHORTCUT}" "$SYSDIR\cmd.exe" '/d /c ""$INSTDIR\start-from-menu.cmd""' \
    "$INSTDIR\clodmere.exe" 0 SW_SHOWNORMAL "" "Play Clodmere ${VERSION}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Clodmere ${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\clodmere.exe",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what was installed: a folder the player chose keeps anything else in it.
Section "Uninstall"
  !macroundef STAGED_FOLDER
  !macroundef STAGED_FILE
  !macro STAGED_FOLDER path
    !insertmacro WINDOWS_PATH "${path}"
    RMDir "$INSTDIR\${STAGED_PATH}"
    !undef STAGED_PATH
  !macroend
  !macro STAGED_FILE path
    !insertmacro WINDOWS_PATH "${path}"
    Delete "$INSTDIR\${STAGED_PATH}"
    !undef STAGED_PATH
  !macroend
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  !include "${STAGED_FILES}"
  !include "${STAGED_FOLDERS}"
  Delete "$INSTDIR\start-from-menu.cmd"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

!delfile "${STAGED_FOLDERS}"
!delfile "${STAGED_FILES}"
