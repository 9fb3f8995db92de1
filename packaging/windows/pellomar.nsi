; The Windows installer: for the current user, no elevation, into
; %LOCALAPPDATA%\Programs\Pellomar, where the keyword file beside the program stays editable.
; Built by cmake/PellomarWindowsPackage.cmake: makensis -DVERSION=... -DSTAGE=... -DOUTFILE=...
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellomar"
; Ctrl+Shift+F11: not Ctrl+Alt with a letter, which is AltGr with that letter on many layouts.
!define HOTKEY "CONTROL|SHIFT|F11"

Name "Pellomar"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Pellomar"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${STAGE}/pellomar.ico"
!define MUI_UNICON "${STAGE}/pellomar.ico"
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Pellomar"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Pellomar installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 the Pellomar developers"

; $R2 = 1 when the files $R0 and $R1 hold the same bytes (both present), else 0.
!macro SAME_FILES PREFIX
Function ${PREFIX}SameFiles
  StrCpy $R2 0
  ClearErrors
  FileOpen $R3 $R0 r
  IfErrors done
  FileOpen $R4 $R1 r
  IfErrors closeFirst
  loop:
    ClearErrors
    FileReadByte $R3 $R5
    IfErrors firstEnded
    FileReadByte $R4 $R6
    IfErrors closeSecond
    StrCmp $R5 $R6 loop closeSecond
  firstEnded:
    ClearErrors
    FileReadByte $R4 $R6
    IfErrors 0 closeSecond
    StrCpy $R2 1
  closeSecond:
    FileClose $R4
  closeFirst:
    FileClose $R3
  done:
FunctionEnd
!macroend
!insertmacro SAME_FILES ""
!insertmacro SAME_FILES "un."

Section "Pellomar"
  SetOutPath "$INSTDIR"
  File "${STAGE}/dovlek.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE"

  ; The keyword file is the user's. One they have not changed (still the default that the last
  ; install left) follows the new default; one they have changed is kept. The default itself
  ; always lies beside it, to compare with or start over from.
  StrCpy $R0 "$INSTDIR\KEYWORD_ARRANGE.CSV"
  StrCpy $R1 "$INSTDIR\KEYWORD_ARRANGE.default.csv"
  Call SameFiles
  ${If} ${FileExists} "$INSTDIR\KEYWORD_ARRANGE.CSV"
  ${AndIf} $R2 != 1
    DetailPrint "Kept your keyword file $INSTDIR\KEYWORD_ARRANGE.CSV; the new default is KEYWORD_ARRANGE.default.csv beside it"
  ${Else}
    File "${STAGE}/KEYWORD_ARRANGE.CSV"
  ${EndIf}
  File "/oname=KEYWORD_ARRANGE.default.csv" "${STAGE}/KEYWORD_ARRANGE.CSV"

  ; Windows honours the shortcut keys of shortcuts in the Start menu (and on the desktop).
  CreateShortCut "$SMPROGRAMS\Pellomar.lnk" "$INSTDIR\dovlek.exe" "" "$INSTDIR\dovlek.exe" 0 \
    SW_SHOWNORMAL "${HOTKEY}" "Lay out the SQL on the clipboard"
  CreateShortCut "$SMPROGRAMS\Pellomar test window.lnk" "$INSTDIR\dovlek.exe" "DEBUG" \
    "$INSTDIR\dovlek.exe" 0 SW_SHOWNORMAL "" "Try out the keyword file"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The only registry entry: the one that lists Pellomar under Settings > Apps.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Pellomar"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "the Pellomar developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dovlek.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Pellomar.lnk"
  Delete "$SMPROGRAMS\Pellomar test window.lnk"
  Delete "$INSTDIR\dovlek.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE"
  ; A keyword file the user has changed is theirs: it stays, and with it the folder.
  StrCpy $R0 "$INSTDIR\KEYWORD_ARRANGE.CSV"
  StrCpy $R1 "$INSTDIR\KEYWORD_ARRANGE.default.csv"
  Call un.SameFiles
  ${If} $R2 == 1
    Delete "$INSTDIR\KEYWORD_ARRANGE.CSV"
  ${ElseIf} ${FileExists} "$INSTDIR\KEYWORD_ARRANGE.CSV"
    DetailPrint "Kept your keyword file $INSTDIR\KEYWORD_ARRANGE.CSV"
  ${EndIf}
  Delete "$INSTDIR\KEYWORD_ARRANGE.default.csv"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
