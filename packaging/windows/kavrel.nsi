; The Windows installer of Kavrel: kavrel-setup-<version>.exe, made by the
; kavrel-setup target (packaging/windows/CMakeLists.txt), which passes
;   VERSION       the project version
;   OUTFILE       the installer to write
;   LICENSE_FILE  the licence with Windows line ends, shown before installing
;   CLI_EXE       kavrel-cli.exe
;   GUI_EXE, SIM_EXE, GATEWAY_EXE   the other programs, when they are built for Windows
;   ICON_FILE     the program icon, when it could be made
; It installs for all users into Program Files (64-bit), adds a Start menu
; folder and an entry in "Apps and Features", and writes an uninstaller that
; removes exactly what was installed. The shortcuts start in the public
; Documents\Kavrel (settings and exports). Silent use: setup.exe /S /D=C:\folder
; and uninstall.exe /S.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kavrel"
!define START_MENU "$SMPROGRAMS\Kavrel"
!define WORK_DIR "$DOCUMENTS\Kavrel"

Name "Kavrel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kavrel"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "Kavrel ${VERSION}"

!ifdef ICON_FILE
  !define MUI_ICON "${ICON_FILE}"
  !define MUI_UNICON "${ICON_FILE}"
!endif
!define MUI_ABORTWARNING

!define MUI_LICENSEPAGE_TEXT_TOP "Kavrel is free software under the GNU General Public License, version 3 or later."
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef GUI_EXE
  !define MUI_FINISHPAGE_RUN "$INSTDIR\kavrel.exe"
!endif
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Section "Kavrel" SecKavrel
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !ifdef GUI_EXE
    File "/oname=kavrel.exe" "${GUI_EXE}"
  !endif
  File "/oname=kavrel-cli.exe" "${CLI_EXE}"
  !ifdef SIM_EXE
    File "/oname=kavrel-sim.exe" "${SIM_EXE}"
  !endif
  !ifdef GATEWAY_EXE
    File "/oname=kavrel-gateway.exe" "${GATEWAY_EXE}"
  !endif
  File "/oname=LICENSE.txt" "${LICENSE_FILE}"
  !ifdef ICON_FILE
    File "/oname=kavrel.ico" "${ICON_FILE}"
    !define SHORTCUT_ICON "$INSTDIR\kavrel.ico"
  !else
    !define SHORTCUT_ICON ""
  !endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start in a folder every user may write to, where the program
  ; keeps its Kavrel.INI: the install folder is not one.
  CreateDirectory "${WORK_DIR}"
  SetOutPath "${WORK_DIR}"
  CreateDirectory "${START_MENU}"
  !ifdef GUI_EXE
    CreateShortCut "${START_MENU}\Kavrel.lnk" "$INSTDIR\kavrel.exe" "" "${SHORTCUT_ICON}" 0
  !endif
  CreateShortCut "${START_MENU}\Kavrel command line.lnk" "$SYSDIR\cmd.exe" \
    '/K PATH $INSTDIR;%PATH% && kavrel-cli --help' "${SHORTCUT_ICON}" 0
  CreateShortCut "${START_MENU}\Uninstall Kavrel.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Kavrel"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "The Kavrel developers"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "${SHORTCUT_ICON}"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Removes the files by name, never a folder's contents wholesale: whatever
; the user keeps there (a Kavrel.INI, exports) stays, and so does its folder.
Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\kavrel.exe"
  Delete "$INSTDIR\kavrel-cli.exe"
  Delete "$INSTDIR\kavrel-sim.exe"
  Delete "$INSTDIR\kavrel-gateway.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\kavrel.ico"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${START_MENU}\Kavrel.lnk"
  Delete "${START_MENU}\Kavrel command line.lnk"
  Delete "${START_MENU}\Uninstall Kavrel.lnk"
  RMDir "${START_MENU}"
  RMDir "${WORK_DIR}"

  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
