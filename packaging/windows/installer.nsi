; The Windows installer of Quillet Internet Transfer Tool, made with NSIS from
; a folder that scripts/windows/collect filled (scripts/windows/installer
; runs this):
;   makensis -DSOURCE=DIR [-DVERSION=1.0.0] [-DFILE_VERSION=1.0.0.0]
;            [-DICON=app.ico] [-DOUTDIR=DIR] installer.nsi
;
; The folder goes into INSTALL_FOLDER\bin: installed under a folder named bin,
; the programs keep their profiles in the user's own
; %LOCALAPPDATA%\QuilletInetTool\Profiles.
;
; Command line of the installer:
;   (nothing)   for the current user, no administrator needed, into
;               %LOCALAPPDATA%\Programs\Quillet Internet Transfer Tool
;   /AllUsers   for every user of the computer, into Program Files; needs an
;               elevated prompt (exit code 740 without one)
;   /S          silent; /D=FOLDER (last) installs into FOLDER instead
; The uninstaller (uninstall.exe, /S silent) removes what the installer put
; there and nothing else: the Profiles folder goes only when it is empty.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!ifndef SOURCE
  !error "Pass the collected folder: makensis -DSOURCE=DIR installer.nsi"
!endif
!if ! /FileExists "${SOURCE}/QuilletInetTool.exe"
  !error "${SOURCE} holds no QuilletInetTool.exe"
!endif
!ifndef VERSION
  !define VERSION 1.0.0
!endif
!ifndef OUTDIR
  !define OUTDIR .
!endif

!define NAME "Quillet Internet Transfer Tool"
!define PUBLISHER "Quillet"
!define PROGRAM "QuilletInetTool.exe"
!define UNINSTALLS "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALLS}\QuilletInetTool"
; Where the programs look for profiles (Qt's GenericDataLocation).
!define PROFILES "$LOCALAPPDATA\QuilletInetTool\Profiles"
!define ERROR_ELEVATION_REQUIRED 740

Name "${NAME}"
BrandingText "${NAME} ${VERSION}"
OutFile "${OUTDIR}/quillet-inet-tool-${VERSION}-x64-setup.exe"

; Windows wants four numbers in a file's version; scripts/windows/installer
; passes them when VERSION is not 1.2.3.
!ifndef FILE_VERSION
  !define FILE_VERSION "${VERSION}.0"
!endif
VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${NAME} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

; 1 when installing or removing for every user.
Var AllUsers

!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\${PROGRAM}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The NSIS lines that put the files of SOURCE into $INSTDIR\bin, and those
; that remove them again.
!tempfile FILES_INSTALL
!tempfile FILES_UNINSTALL
!system 'bash "${__FILEDIR__}/list-files" "${SOURCE}" "${FILES_INSTALL}" "${FILES_UNINSTALL}"' = 0

!macro RequireAdministrator WHY
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${WHY} needs an elevated prompt (Run as administrator)." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
!macroend

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AllUsers" $1
  ${If} ${Errors}
    StrCpy $AllUsers 0
    SetShellVarContext current
    ; $INSTDIR is set here only when /D= chose it.
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${NAME}"
    ${EndIf}
  ${Else}
    !insertmacro RequireAdministrator "Installing for all users"
    StrCpy $AllUsers 1
    SetShellVarContext all
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\${NAME}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section
  ; An earlier installation in this folder goes first, by its own uninstaller
  ; (run in place, so that it waits), as its files may not all be ours.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${AndIf} ${FileExists} "$INSTDIR\uninstall.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}

  !include "${FILES_INSTALL}"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\bin\${PROGRAM}"

  ; SHCTX is HKLM for every user, HKCU for the current one.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\${PROGRAM}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The profiles are the installing user's, whoever else the programs are for.
  SetShellVarContext current
  CreateDirectory "${PROFILES}"
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${EndIf}
SectionEnd

; The uninstaller runs from a copy of itself with $INSTDIR the folder it was
; in; it removes the installation for every user when that is the folder
; registered under HKLM.
Function un.onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    !insertmacro RequireAdministrator "Removing what was installed for all users"
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !include "${FILES_UNINSTALL}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; %LOCALAPPDATA%\Programs is made by the first per-user installation.
  ${GetParent} "$INSTDIR" $1
  ${If} $AllUsers == 0
  ${AndIf} $1 == "$LOCALAPPDATA\Programs"
    RMDir "$1"
  ${EndIf}
  Delete "$SMPROGRAMS\${NAME}.lnk"

  ; The key is this installation's only when it names this folder.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ; The user's Uninstall key too, when this installation made it.
    ${If} $AllUsers == 0
      DeleteRegKey /ifempty HKCU "${UNINSTALLS}"
    ${EndIf}
  ${EndIf}

  ; Profiles are the user's work: their folders go only when empty.
  SetShellVarContext current
  RMDir "${PROFILES}"
  RMDir "$LOCALAPPDATA\QuilletInetTool"
SectionEnd

!delfile "${FILES_INSTALL}"
!delfile "${FILES_UNINSTALL}"
