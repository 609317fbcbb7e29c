; The Varnlet! installer, one script for both architectures. The build runs
;   makensis -INPUTCHARSET UTF8 -DARCH=x64|x86 -DVERSION=1.0 -DMAKER=... -DCOPYRIGHT=...
;            -DEXE=<stripped varnlet.exe> -DREADME=<LEAME.txt> -DICON=<varnlet.ico>
;            -DWIZARD=<wizard.bmp> -DHEADER=<header.bmp> -DOUTFILE=<setup.exe> [-DSIGN=<command>]
; Silent: "setup.exe /S" installs without asking and starts the program only when it closed a
; running copy in this session to replace it, and "setup.exe /S /AUTOSTART=1" also makes it start
; with Windows; "uninstall.exe /S" removes it, and its exit code is 3010 when a file it could not
; delete goes at the next restart. Either fails (non-zero) rather than skip a file it cannot write.
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
; A file that cannot be written fails the install (Retry or Cancel; silent: Cancel), so a busy
; exe is never kept while Add/Remove Programs and the Run value describe the new one.
AllowSkipFiles off
ManifestDPIAware true
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "Varnlet! ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The pictures drawn from the program's artwork (res/draw_artwork.py).
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${HEADER}"
!define MUI_HEADERIMAGE_UNBITMAP "${HEADER}"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The finish page offers to start the program; a silent install shows no pages, and starts it
; again only when it closed it (RestoreVarnlet).
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartNow)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartVarnlet
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Says whether a file stays until the next restart, and then offers it ("later" chosen).
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!insertmacro MUI_UNPAGE_FINISH

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
; The Restart Manager's session that closed the copies of Varnlet! holding the exe, "" for none.
Var RmSession
; "1" when Varnlet! ran in the installer's own session before it was closed.
Var RanHere

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductName" "Varnlet!"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductVersion" "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileVersion" "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileDescription" "Instalador de Varnlet! (${ARCH})"
VIAddVersionKey /LANG=${LANG_SPANISH} "LegalCopyright" "${COPYRIGHT}"

; Ends every running copy of Varnlet!, so its exe can be replaced or deleted. First through the
; Restart Manager, which reaches the copies of every session (fast user switching, Remote
; Desktop): each is asked to close as at the end of a session, and one that does not answer is
; ended, which costs a tray program nothing. rstrtmgr.dll is loaded by its System32 path, its own
; imports searched from there, never from the folder the installer was started from. Then, for
; where the Restart Manager is missing or closed nothing, the way Varnlet!'s own "Salir" does:
; WM_CLOSE to its hidden main window in this session, waiting for the process to end. If it will
; not end, asks the user to close it; a silent run gives up instead of leaving a half-removed
; program. The installer keeps the session open for RmRestart; the uninstaller ends it.
!macro CLOSE_VARNLET un
Function ${un}CloseVarnlet
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 != 0
    StrCpy $RanHere 1
  ${EndIf}
  StrCpy $RmSession ""
  StrCpy $0 0
  ${If} ${FileExists} "$INSTDIR\varnlet.exe"
    ; LOAD_WITH_ALTERED_SEARCH_PATH
    System::Call "kernel32::LoadLibraryExW(w '$SYSDIR\rstrtmgr.dll', p 0, i 0x8) p.r0"
  ${EndIf}
  ${If} $0 P<> 0
    System::Call "rstrtmgr::RmStartSession(*i .r1, i 0, w .r2) i.r3"
    ${If} $3 = 0
      StrCpy $RmSession $1
      ; The one file, as the array of string pointers the call takes.
      System::Call "*(&w${NSIS_MAX_STRLEN} '$INSTDIR\varnlet.exe') p.r1"
      System::Call "*(p r1) p.r2"
      System::Call "rstrtmgr::RmRegisterResources(i $RmSession, i 1, p r2, i 0, p 0, i 0, p 0) i.r3"
      System::Free $2
      System::Free $1
      ${If} $3 = 0
        ; RmForceShutdown
        System::Call "rstrtmgr::RmShutdown(i $RmSession, i 1, p 0) i.r3"
      ${EndIf}
      !if "${un}" == "un."
        System::Call "rstrtmgr::RmEndSession(i $RmSession) i.r3"
        StrCpy $RmSession ""
      !endif
    ${EndIf}
  ${EndIf}
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

; Whether the install succeeded or failed, the copies closed for it run again: the Restart
; Manager starts those that registered for a restart, in their own sessions; a silent run starts
; the one of its own session as the finish page would (interactively, that page offers it). A
; second start is harmless: it ends at once, as Varnlet! runs only once.
Function RestoreVarnlet
  ${If} $RmSession != ""
    System::Call "rstrtmgr::RmRestart(i $RmSession, i 0, p 0) i.r0"
    System::Call "rstrtmgr::RmEndSession(i $RmSession) i.r0"
    StrCpy $RmSession ""
  ${EndIf}
  ${If} ${Silent}
  ${AndIf} $RanHere == 1
    Call StartVarnlet
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  Call RestoreVarnlet
FunctionEnd

Function .onInstFailed
  Call RestoreVarnlet
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

; A file still busy (a copy nothing could close) goes at the next restart: the exit code is then
; 3010, "restart required", as Windows Installer's, and the finish page says so.
Section "Uninstall"
  Call un.CloseVarnlet
  Delete /REBOOTOK "$INSTDIR\varnlet.exe"
  Delete /REBOOTOK "$INSTDIR\LEAME.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  Delete "${SHORTCUT}"
  ; The program's own start-up value goes with it.
  DeleteRegValue HKLM "${RUN_KEY}" "Varnlet"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
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
