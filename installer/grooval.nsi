; Grooval's setup program: grooval.exe, grooval-split.exe, grooval.chm, the README and the licence
; into Program Files, a Start-menu folder (Grooval, Help, Uninstall) and an entry in Add/Remove
; Programs. /S installs without questions; the uninstaller's /S removes without questions.
;
; Built by installer/CMakeLists.txt, which defines VERSION (the project version, as in the
; program's version record), OUTFILE, ICON and FILES, the folder of the files to install.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Grooval"
!define PUBLISHER "Quellbrook Software Ltd"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define START_MENU "$SMPROGRAMS\${PRODUCT}"
!define UNINSTALLER "uninstall.exe"

; Every installed file, once: the uninstaller removes exactly these and nothing else, so
; recordings or other files a user keeps in the folder survive.
!macro InstalledFiles Action
  !insertmacro ${Action} "grooval.exe"
  !insertmacro ${Action} "grooval-split.exe"
  !insertmacro ${Action} "grooval.chm"
  !insertmacro ${Action} "README.txt"
  !insertmacro ${Action} "LICENSE.txt"
!macroend
!macro InstallFile Name
  File "${FILES}/${Name}"
!macroend
!macro RemoveFile Name
  Delete "$INSTDIR\${Name}"
!macroend

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\grooval.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\grooval.chm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the manual"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${FILES}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Grooval"
  SetShellVarContext all
  ; The shortcuts start in this folder: Grooval looks for its help file in its working folder.
  SetOutPath "$INSTDIR"
  !insertmacro InstalledFiles InstallFile
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${START_MENU}"
  CreateShortcut "${START_MENU}\Grooval.lnk" "$INSTDIR\grooval.exe" "" "$INSTDIR\grooval.exe" 0
  CreateShortcut "${START_MENU}\Grooval Help.lnk" "$INSTDIR\grooval.chm"
  CreateShortcut "${START_MENU}\Uninstall Grooval.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\grooval.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  !insertmacro InstalledFiles RemoveFile
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: a folder that still holds the user's files stays.
  RMDir "$INSTDIR"

  Delete "${START_MENU}\Grooval.lnk"
  Delete "${START_MENU}\Grooval Help.lnk"
  Delete "${START_MENU}\Uninstall Grooval.lnk"
  RMDir "${START_MENU}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
