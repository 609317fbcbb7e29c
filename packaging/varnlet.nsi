; The Varnlet! installer, one script for both architectures. The build runs
;   makensis -INPUTCHARSET UTF8 -DARCH=x64|x86 -DVERSION=1.0 -DMAKER=... -DCOPYRIGHT=...
;            -DEXE=<stripped varnlet.exe> -DREADME=<LEAME.txt> -DICON=<varnlet.ico>
;            -DWIZARD=<wizard.bmp> -DHEADER=<header.bmp> -DOUTFILE=<setup.exe> [-DSIGN=<command>]
; Silent: "setup.exe /S" installs without asking and without starting the program, and
; "setup.exe /S /AUTOSTART=1" also makes it start with Windows; "uninstall.exe /S" removes it.
; Spanish, the program's language, unless Windows' display language is English.
Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "Sections.nsh"

; Signs the uninstaller before it is packed and the installer once written.
!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"' = 0
  !finalize '${SIGN} "%1"' = 0
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnlet"
; Where the program's "Iniciar con Windows" writes its value.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define WINDOW_CLASS "Varnlet.Form1"
!define SHORTCUT "$SMPROGRAMS\Varnlet!.lnk"

Name "Varnlet!"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\Varnlet"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "Varnlet! ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The pictures drawn from the program's artwork (res/draw_artwork.py).
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${HEADER}"
!define MUI_HEADERIMAGE_UNBITMAP "${HEADER}"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The finish page offers to start the program; a silent install shows no pages, so never starts it.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartNow)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartVarnlet
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "English"

LangString AutostartSection ${LANG_SPANISH} "Iniciar Varnlet! con Windows"
LangString AutostartSection ${LANG_ENGLISH} "Start Varnlet! with Windows"
LangString StartNow ${LANG_SPANISH} "Iniciar Varnlet! ahora"
LangString StartNow ${LANG_ENGLISH} "Start Varnlet! now"
LangString StillRunning ${LANG_SPANISH} "Varnlet! sigue en ejecución. Ciérrelo (clic derecho en su icono, «Salir») y pulse Reintentar."
LangString StillRunning ${LANG_ENGLISH} "Varnlet! is still running. Close it (right click on its icon, $\"Salir$\") and press Retry."

; What the installer does with the start-up value: "1" writes it, "0" removes it, "" (a silent
; install without /AUTOSTART) leaves it as it is, so a silent upgrade keeps the user's choice.
Var Autostart

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductName" "Varnlet!"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductVersion" "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileVersion" "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileDescription" "Instalador de Varnlet! (${ARCH})"
VIAddVersionKey /LANG=${LANG_SPANISH} "LegalCopyright" "${COPYRIGHT}"

; Ends a running Varnlet! the way its own "Salir" does, with WM_CLOSE to its hidden main window,
; and waits for the process to end so its file can be replaced or deleted. If it will not end,
; asks the user to close it; a silent run gives up instead of leaving a half-removed program.
!macro CLOSE_VARNLET un
Function ${un}CloseVarnlet
  retry:
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 == 0
    Return
  ${EndIf}
  System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1)"
  ; SYNCHRONIZE: enough to wait for the end.
  System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p.r2"
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  ${If} $2 P<> 0
    System::Call "kernel32::WaitForSingleObject(p r2, i 10000) i.r3"
    System::Call "kernel32::CloseHandle(p r2)"
  ${Else}
    Sleep 1000
  ${EndIf}
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 != 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY retry
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_VARNLET ""
!insertmacro CLOSE_VARNLET "un."

Function un.onInit
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  SetShellVarContext all
FunctionEnd

; Started through Explorer so that the program runs as the signed-in user, not elevated like the
; installer: its "Iniciar con Windows" should behave as in every later session.
Function StartVarnlet
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\varnlet.exe"'
FunctionEnd

Section "Varnlet!"
  SectionIn RO
  Call CloseVarnlet
  SetOutPath "$INSTDIR"
  File "/oname=varnlet.exe" "${EXE}"
  File "/oname=LEAME.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\varnlet.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Varnlet!"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnlet.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The same value the program's "Iniciar con Windows" writes, in the same registry view: the
; installed exe's full path, in double quotes, so Windows cannot run a prefix of a path with
; spaces ("C:\Program.exe") at logon. The installer runs elevated, so this works where the
; program itself, running as a standard user under UAC, may not write it.
Section "$(AutostartSection)" SecAutostart
  WriteRegStr HKLM "${RUN_KEY}" "Varnlet" '"$INSTDIR\varnlet.exe"'
SectionEnd

Section "-AutostartOff"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    ${If} $Autostart == "0"
    ${OrIfNot} ${Silent}
      DeleteRegValue HKLM "${RUN_KEY}" "Varnlet"
    ${EndIf}
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.CloseVarnlet
  Delete /REBOOTOK "$INSTDIR\varnlet.exe"
  Delete "$INSTDIR\LEAME.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  Delete "${SHORTCUT}"
  ; The program's own start-up value goes with it.
  DeleteRegValue HKLM "${RUN_KEY}" "Varnlet"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; After the sections: it names one of them.
Function .onInit
  !if "${ARCH}" == "x64"
    ; The 64-bit program writes the 64-bit registry; so does its installer.
    SetRegView 64
  !endif
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $Autostart
  ${If} ${Errors}
    StrCpy $Autostart ""
  ${EndIf}
  ; The choice is ticked on the interactive page; a silent install makes it only when asked.
  ${If} $Autostart == "0"
    !insertmacro UnselectSection ${SecAutostart}
  ${ElseIf} ${Silent}
  ${AndIf} $Autostart != "1"
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd
