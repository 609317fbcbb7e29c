; The Varnlet! installer, one script for both architectures. The build runs
;   makensis -INPUTCHARSET UTF8 -DARCH=x64|x86 -DVERSION=1.0 -DFILE_VERSION=1.0.0.0 -DMAKER=...
;            -DCOPYRIGHT=... -DTITLE=Varnlet! -DSHORT_NAME=Varnlet -DRUN_KEY=<the Run key under HKLM>
;            -DRUN_VALUE=<its name> -DUNINSTALL_KEY=<the entry's key under HKLM>
;            -DWINDOW_CLASS=<the program's main window's class>
;            -DEXE=<stripped varnlet.exe> -DREADME=<LEAME.txt> -DICON=<varnlet.ico>
;            -DWIZARD=<wizard.bmp> -DHEADER=<header.bmp> -DMSI_UPGRADE_CODE=<the MSI's>
;            -DOTHER_MSI_UPGRADE_CODE=<the other architecture's MSI's> -DSETUP_DLL=<varnlet_setup.dll>
;            -DVERDICTS=<verdicts.nsh> -DOUTFILE=<setup.exe> [-DSIGN=<command>]
; Silent: "setup.exe /S" installs (or upgrades, in the folder of the install it finds) without
; asking and starts the program only when it closed a running copy in this session to replace it,
; and "setup.exe /S /AUTOSTART=1" also makes it start with Windows, where the program's own rule
; lets it (varnlet_setup.dll judges the folder and the exe as the program does); the entry's
; QuietUninstallString removes it, and its exit code is 3010 when a file it could not delete goes
; at the next restart. Each fails (non-zero, EXIT_* below) rather than skip what it cannot write.
; The title, the short name (the folder's), the uninstall entry's key, the main window's class, and
; the Run key and value that the program's "Iniciar con Windows" writes, are the build's. Spanish, the program's language, unless Windows' display language is English.
Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
  !define OTHER_ARCH x86
!else
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
  !define OTHER_ARCH x64
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "Sections.nsh"
!include "WordFunc.nsh"
!include "x64.nsh"

; Signs the uninstaller before it is packed and the installer once written.
!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"' = 0
  !finalize '${SIGN} "%1"' = 0
!endif

!define SHORTCUT "$SMPROGRAMS\${TITLE}.lnk"
; What a deployment tool reads from the exit code (docs/administration.md lists them): 0 done;
; 1 cancelled on the pages; 2 a running Varnlet! or a file that could not be closed, replaced or
; deleted; then:
!define EXIT_NEWER 3
!define EXIT_MSI 4
!define EXIT_WRITE 5
; 6 the folder named was refused (it exists and is not the installed version's, is owned by
; someone else, or is or lies under a link), nothing written;
!define EXIT_FOLDER 6
; 7 installed, but the start-up value was not written: others may change the folder or the path.
!define EXIT_AUTOSTART 7
; 8 the installer's own checks could not be set up (their folder could not be made, or their
; library not loaded or called), nothing written; the uninstaller's too;
!define EXIT_CHECKS 8
; and the uninstaller's 3010, a restart finishes it. NSIS's own code for an abort is 2.
!define EXIT_BUSY 2
; The folder's rights, whatever it would inherit (a folder of C:\ gives every user Modify): only
; Administrators and SYSTEM may write, Users read and run; the owner is Administrators, since an
; owner may always rewrite the rights. The MSI gives its folder the same.
!define /file FOLDER_SDDL "folder.sddl"
; The numbers of varnlet_setup.dll's verdicts (InstallFolderVerdict_*, ExecutableTrust_*), as the
; build writes them from the library's own header. Each is compared as the exact text of the one
; value that goes on: anything else, "error" from a call that could not be made included, refuses.
!include "${VERDICTS}"

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${SHORT_NAME}"
; An upgrade goes where the installed version is, unless /D= names a folder.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; A file that cannot be written fails the install (Retry or Cancel; silent: Cancel), so a busy
; exe is never kept while Add/Remove Programs and the Run value describe the new one.
AllowSkipFiles off
ManifestDPIAware true
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${TITLE} ${VERSION}"

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
; A folder the rule refuses is said at once, and the page stays.
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FolderPageLeave
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

LangString Started ${LANG_SPANISH} "Inicio:"
LangString Started ${LANG_ENGLISH} "Started:"
LangString InstalledIn ${LANG_SPANISH} "Instalado en"
LangString InstalledIn ${LANG_ENGLISH} "Installed in"
LangString Ended ${LANG_SPANISH} "Fin, código de salida"
LangString Ended ${LANG_ENGLISH} "Ended, exit code"
LangString AutostartSection ${LANG_SPANISH} "Iniciar ${TITLE} con Windows"
LangString AutostartSection ${LANG_ENGLISH} "Start ${TITLE} with Windows"
LangString StartNow ${LANG_SPANISH} "Iniciar ${TITLE} ahora"
LangString StartNow ${LANG_ENGLISH} "Start ${TITLE} now"
LangString StillRunning ${LANG_SPANISH} "${TITLE} sigue en ejecución. Ciérrelo (clic derecho en su icono, «Salir») y pulse Reintentar."
LangString StillRunning ${LANG_ENGLISH} "${TITLE} is still running. Close it (right click on its icon, $\"Salir$\") and press Retry."
LangString Newer ${LANG_SPANISH} "Ya está instalada una versión más reciente de ${TITLE} ($0). Para instalar la ${VERSION}, desinstale antes la instalada."
LangString Newer ${LANG_ENGLISH} "A newer version of ${TITLE} ($0) is installed. To install ${VERSION}, uninstall the installed one first."
LangString MsiInstalled ${LANG_SPANISH} "${TITLE} está instalado con su paquete MSI. Desinstálelo antes en Agregar o quitar programas, o con: msiexec /x $1"
LangString OtherInstalled ${LANG_SPANISH} "${TITLE} ya está instalado para la otra arquitectura (${OTHER_ARCH}). Desinstálelo antes en Agregar o quitar programas, o con: $1"
LangString OtherInstalled ${LANG_ENGLISH} "${TITLE} is already installed for the other architecture (${OTHER_ARCH}). Uninstall it first in Add/Remove Programs, or with: $1"
LangString MsiInstalled ${LANG_ENGLISH} "${TITLE} is installed from its MSI package. Uninstall it first in Add/Remove Programs, or with: msiexec /x $1"
LangString FolderRights ${LANG_SPANISH} "No se pudieron fijar los permisos de la carpeta $INSTDIR (error $1)."
LangString FolderRights ${LANG_ENGLISH} "The rights of the folder $INSTDIR could not be set (error $1)."
LangString RegistryFailed ${LANG_SPANISH} "No se pudo escribir en el registro de Windows: ${TITLE} no quedó bien instalado."
LangString RegistryFailed ${LANG_ENGLISH} "The Windows registry could not be written: ${TITLE} is not installed correctly."
LangString RegistryLeft ${LANG_SPANISH} "No se pudo borrar del registro de Windows la entrada o el valor de inicio de ${TITLE}."
LangString RegistryLeft ${LANG_ENGLISH} "${TITLE}'s entry or start-up value could not be removed from the Windows registry."
; What the library cannot say itself: that it could not be made, loaded or called. The reasons of a
; refusal are the library's (varnlet_setup.dll's FolderRefusalText and AutostartRefusalText), which
; the program's own messages share.
LangString ChecksFailed ${LANG_SPANISH} "${TITLE} no se instala ni se desinstala: sus comprobaciones no se pudieron preparar (no se pudo crear su carpeta de trabajo, o cargar o llamar a su biblioteca varnlet_setup.dll, quizá bloqueada por un antivirus). No se ha cambiado nada."
LangString ChecksFailed ${LANG_ENGLISH} "${TITLE} is neither installed nor removed: its checks could not be set up (their working folder could not be made, or their library varnlet_setup.dll not loaded or called, perhaps blocked by an antivirus). Nothing was changed."
LangString FolderUnchecked ${LANG_SPANISH} "${TITLE} no se instala en la carpeta $INSTDIR: no se pudo comprobar (la biblioteca varnlet_setup.dll no respondió). No se ha cambiado nada."
LangString FolderUnchecked ${LANG_ENGLISH} "${TITLE} is not installed in the folder $INSTDIR: it could not be checked (the library varnlet_setup.dll did not answer). Nothing was changed."
LangString AutostartUnchecked ${LANG_SPANISH} "${TITLE} se instaló, pero no se iniciará con Windows: no se pudo comprobar quién puede cambiar el programa (la biblioteca varnlet_setup.dll no respondió)."
LangString AutostartUnchecked ${LANG_ENGLISH} "${TITLE} is installed, but it will not start with Windows: who can change the program could not be checked (the library varnlet_setup.dll did not answer)."
LangString FolderParameter ${LANG_SPANISH} "${TITLE} no se instala: la carpeta de /D= no se pudo leer. Póngala al final y sin comillas (/D=C:\Mis programas\Otra carpeta), o entre comillas con /D= dentro ($\"/D=C:\Mis programas\Otra carpeta$\")."
LangString FolderParameter ${LANG_ENGLISH} "${TITLE} is not installed: the folder of /D= could not be read. Put it last and unquoted (/D=C:\My Apps\Other folder), or in quotes with /D= inside them ($\"/D=C:\My Apps\Other folder$\")."
LangString FileBusy ${LANG_SPANISH} "No se pudo borrar $0 para escribirlo de nuevo. Cierre lo que lo use y pulse Reintentar."
LangString FileBusy ${LANG_ENGLISH} "$0 could not be deleted to be written anew. Close whatever uses it and press Retry."

; What the installer does with the start-up value: "1" writes it, "0" removes it, "" (a silent
; install without /AUTOSTART) leaves it as it is, so a silent upgrade keeps the user's choice.
Var Autostart
; The Restart Manager's session that closed the copies of Varnlet! holding the exe, "" for none.
Var RmSession
; "1" when Varnlet! ran in the installer's own session before it was closed.
Var RanHere
; The folder of the installed version ("" for none), and its exe when this install moves it
; elsewhere (/D=, or another folder on the pages): that copy is closed and removed too.
Var PreviousDir
Var PreviousExe
; JudgeInstallFolder's verdict on $INSTDIR.
Var Verdict
; The highest folder above $INSTDIR that the install made ("" for none), and the one above the
; installed version's folder: an uninstall removes them again, once empty.
Var MadeFrom
Var PreviousMadeFrom

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductName" "${TITLE}"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileDescription" "Instalador de ${TITLE} (${ARCH})"
VIAddVersionKey /LANG=${LANG_SPANISH} "LegalCopyright" "${COPYRIGHT}"

; Every run says in a log what it was asked and how it ended, and why it refused or failed: the
; boxes a silent run suppresses are written there too. The log lies in Windows' own folder of logs,
; where administrators look and where only they may write, so no user can have made the file, or
; a link in its place, first. UTF-16, as Windows' own tools read it.
!define LOG_FILE "$WINDIR\Logs\${TITLE} setup.log"
!macro LOG_FUNCTION un
; Appends the text on the stack as one line, after the local time (once the plug-ins folder is
; the run's own: the time is read through the System plug-in) and the program's name and version.
Function ${un}Log
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  StrCpy $R8 ""
  ${If} $PLUGINSDIR != ""
    ${GetTime} "" "L" $R1 $R2 $R3 $R4 $R5 $R6 $R7
    StrCpy $R8 "$R3-$R2-$R1 $R5:$R6:$R7 "
  ${EndIf}
  ClearErrors
  CreateDirectory "$WINDIR\Logs"
  FileOpen $R1 "${LOG_FILE}" a
  ${IfNot} ${Errors}
    FileSeek $R1 0 END $R2
    ${If} $R2 == 0
      FileWriteWord $R1 0xFEFF
    ${EndIf}
    FileWriteUTF16LE $R1 "$R8$EXEFILE ${VERSION} ${ARCH}: $R0$\r$\n"
    FileClose $R1
  ${EndIf}
  ClearErrors
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro LOG_FUNCTION ""
!insertmacro LOG_FUNCTION "un."

!macro LOG text
  Push "${text}"
  !ifdef __UNINSTALL__
    Call un.Log
  !else
    Call Log
  !endif
!macroend

; Says why the run ends with `code`: in the log and in a box (not when silent).
!macro END_WITH icon code text
  !insertmacro LOG "${text}"
  MessageBox ${icon} "${text}" /SD IDOK
  SetErrorLevel ${code}
!macroend

!macro LOG_END_FUNCTION un
; Logs the exit code the run ends with: the one set, else NSIS's own for the way it ends, on the
; stack (0 done, 2 aborted).
Function ${un}LogEnd
  Exch $0
  Push $1
  GetErrorLevel $1
  ${If} $1 == -1
    StrCpy $1 $0
  ${EndIf}
  !insertmacro LOG "$(Ended) $1"
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro LOG_END_FUNCTION ""
!insertmacro LOG_END_FUNCTION "un."

; Ends every running copy of Varnlet!, so its exe can be replaced or deleted. First through the
; Restart Manager, which reaches the copies of every session (fast user switching, Remote
; Desktop): each is asked to close as at the end of a session, and one that does not answer is
; ended, which costs a tray program nothing. rstrtmgr.dll is loaded by its System32 path, its own
; imports searched from there, never from the folder the installer was started from. Then, for
; where the Restart Manager is missing or closed nothing, the way Varnlet!'s own "Salir" does:
; WM_CLOSE to its hidden main window in this session, waiting for the process to end. A copy is
; known by its exe's path, never by its window class alone, which any program may register. If it
; will not end, asks the user to close it; a silent run gives up instead of leaving a half-removed
; program. The installer keeps the session open for RmRestart; the uninstaller ends it.
!macro CLOSE_VARNLET un
; In $0 the main window of a running copy of $INSTDIR\varnlet.exe (or of $PreviousExe), after the
; window $0 names (0: from the first); in $1 its process, open for waiting. $0 is 0 for none.
Function ${un}FindVarnlet
  next:
  FindWindow $0 "${WINDOW_CLASS}" "" 0 $0
  ${If} $0 == 0
    Return
  ${EndIf}
  System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r2)"
  ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
  System::Call "kernel32::OpenProcess(i 0x00101000, i 0, i r2) p.r1"
  ${If} $1 P<> 0
    System::Call "kernel32::QueryFullProcessImageNameW(p r1, i 0, w .r3, *i ${NSIS_MAX_STRLEN}) i.r2"
    ${If} $2 <> 0
      ${If} $3 == "$INSTDIR\varnlet.exe"
      ${OrIf} $3 == $PreviousExe
        Return
      ${EndIf}
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r1)"
  ${EndIf}
  Goto next
FunctionEnd

Function ${un}CloseVarnlet
  StrCpy $0 0
  Call ${un}FindVarnlet
  ${If} $0 != 0
    StrCpy $RanHere 1
    System::Call "kernel32::CloseHandle(p r1)"
  ${EndIf}
  StrCpy $RmSession ""
  StrCpy $0 0
  ${If} ${FileExists} "$INSTDIR\varnlet.exe"
  ${OrIf} ${FileExists} $PreviousExe
    ; LOAD_WITH_ALTERED_SEARCH_PATH
    System::Call "kernel32::LoadLibraryExW(w '$SYSDIR\rstrtmgr.dll', p 0, i 0x8) p.r0"
  ${EndIf}
  ${If} $0 P<> 0
    System::Call "rstrtmgr::RmStartSession(*i .r1, i 0, w .r2) i.r3"
    ${If} $3 == 0
      StrCpy $RmSession $1
      ; The exes, as the array of string pointers the call takes.
      System::Call "*(&w${NSIS_MAX_STRLEN} '$INSTDIR\varnlet.exe') p.r1"
      System::Call "*(&w${NSIS_MAX_STRLEN} '$PreviousExe') p.r4"
      System::Call "*(p r1, p r4) p.r2"
      StrCpy $5 1
      ${If} $PreviousExe != ""
        StrCpy $5 2
      ${EndIf}
      System::Call "rstrtmgr::RmRegisterResources(i $RmSession, i r5, p r2, i 0, p 0, i 0, p 0) i.r3"
      System::Free $2
      System::Free $4
      System::Free $1
      ${If} $3 == 0
        ; RmForceShutdown
        System::Call "rstrtmgr::RmShutdown(i $RmSession, i 1, p 0) i.r3"
      ${EndIf}
      !if "${un}" == "un."
        System::Call "rstrtmgr::RmEndSession(i $RmSession) i.r3"
        StrCpy $RmSession ""
      !endif
    ${EndIf}
  ${EndIf}
  close_next:
  StrCpy $0 0
  Call ${un}FindVarnlet
  ${If} $0 == 0
    Return
  ${EndIf}
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  System::Call "kernel32::WaitForSingleObject(p r1, i 10000) i.r3"
  System::Call "kernel32::CloseHandle(p r1)"
  ${If} $3 == 0
    Goto close_next
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY close_next
  !insertmacro LOG "$(StillRunning)"
  SetErrorLevel ${EXIT_BUSY}
  Abort
FunctionEnd
!macroend
!insertmacro CLOSE_VARNLET ""
!insertmacro CLOSE_VARNLET "un."

Function un.onInit
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  SetShellVarContext all
  ; Before any plug-in is called.
  Call un.TakePluginsDir
  ; The copy un.RemoveFolder started: once the uninstaller ended, its file and the folder go.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CLEANUP=" $1
  ${IfNot} ${Errors}
    ; SYNCHRONIZE
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p.r2"
    ${If} $2 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i -1)"
      System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
    Delete /REBOOTOK "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
    ClearErrors
    ${GetOptions} $0 "/MADEFROM=" $1
    ${IfNot} ${Errors}
      Push $INSTDIR
      Push $1
      Call un.RemoveMadeFolders
    ${EndIf}
    ; MOVEFILE_DELAY_UNTIL_REBOOT: this copy, then the folder made for it, which is empty by then.
    System::Call "kernel32::MoveFileExW(w '$EXEPATH', p 0, i 4)"
    System::Call "kernel32::MoveFileExW(w '$EXEDIR', p 0, i 4)"
    Quit
  ${EndIf}
  ; The whole line, as the process was given it: NSIS takes /D= and _?= out of $CMDLINE.
  System::Call "kernel32::GetCommandLineW() w .r0"
  !insertmacro LOG "$(Started) $0"
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
  !insertmacro LOG "$(InstalledIn) $INSTDIR"
  Push 0
  Call LogEnd
FunctionEnd

Function .onInstFailed
  Call RestoreVarnlet
  Push 2
  Call LogEnd
FunctionEnd

Function un.onUninstSuccess
  Push 0
  Call un.LogEnd
FunctionEnd

Function un.onUninstFailed
  Push 2
  Call un.LogEnd
FunctionEnd

; Ends the install when a registry value could not be written (the error flag is set).
!macro FAIL_ON_ERRORS
  ${If} ${Errors}
    !insertmacro END_WITH MB_ICONSTOP ${EXIT_WRITE} "$(RegistryFailed)"
    Abort
  ${EndIf}
!macroend

; Where the installer and its uninstaller load code from. NSIS would make its plug-ins folder
; itself in %TEMP%, which is Windows' own temporary folder when a deployment tool runs it as
; SYSTEM, where every user may make folders, and would use whatever folder and files it found
; there under that name. So before any plug-in is called, varnlet_setup.dll makes that folder in
; Windows' temporary folder, with FOLDER_SDDL in the very call that creates it and refusing a name
; that exists, and hands it to NSIS as $PLUGINSDIR; NSIS's plug-ins and the library are then
; written into it as new files. That first time, the library runs from a folder made for it under
; Program Files, where only administrators may make folders, and deleted at once. Whatever fails
; ends the run (EXIT_CHECKS) before anything is written.
!macro TAKE_PLUGINS_DIR un
Function ${un}TakePluginsDir
  StrCpy $R2 ""
  StrCpy $R0 0
  ${Do}
    StrCpy $R1 "$PROGRAMFILES\${TITLE}-setup-$R0"
    ${IfNot} ${FileExists} $R1
      ClearErrors
      CreateDirectory $R1
      ${IfNot} ${Errors}
        File "/oname=$R1\varnlet_setup.dll" "${SETUP_DLL}"
        ; NSIS's plug-in call: the descriptor in, "0" or the system's error out.
        Push "${FOLDER_SDDL}"
        CallInstDLL "$R1\varnlet_setup.dll" MakePluginsDir
        Pop $R2
        Delete "$R1\varnlet_setup.dll"
        RMDir $R1
      ${EndIf}
      ${ExitDo}
    ${EndIf}
    IntOp $R0 $R0 + 1
  ${LoopUntil} $R0 >= 10
  ${If} $R2 == 0
  ${AndIf} $PLUGINSDIR != ""
    ClearErrors
    File "/oname=$PLUGINSDIR\varnlet_setup.dll" "${SETUP_DLL}"
    System::Call '$PLUGINSDIR\varnlet_setup.dll::ChecksReady() i.R2 ? u'
    ${If} $R2 == 1
      Return
    ${EndIf}
  ${EndIf}
  !insertmacro END_WITH MB_ICONSTOP ${EXIT_CHECKS} "$(ChecksFailed)"
  Push ${EXIT_CHECKS}
  Call ${un}LogEnd
  Quit
FunctionEnd
!macroend
!insertmacro TAKE_PLUGINS_DIR ""
!insertmacro TAKE_PLUGINS_DIR "un."

; The highest folder above $INSTDIR that does not exist yet into $MadeFrom, "" for none: the
; install makes it and those below it with the folder's rights.
Function TopFolderToMake
  StrCpy $MadeFrom ""
  ${GetParent} $INSTDIR $0
  ${DoWhile} $0 != ""
    ${If} ${FileExists} "$0\*.*"
      ${ExitDo}
    ${EndIf}
    StrCpy $MadeFrom $0
    ${GetParent} $0 $0
  ${Loop}
FunctionEnd

!macro REMOVE_MADE_FOLDERS un
; Removes the folders above a removed install folder that its install made, as far up as the
; highest of them, each only when empty. On the stack: the install folder, then the highest ("" for
; none).
Function ${un}RemoveMadeFolders
  Exch $1
  Exch
  Exch $0
  Push $2
  Push $3
  ${If} $1 != ""
    StrLen $3 $1
    ${GetParent} $0 $0
    ${Do}
      ; Never above the highest: $0 must be it or lie below it.
      StrCpy $2 $0 $3
      ${If} $2 != $1
        ${ExitDo}
      ${EndIf}
      StrCpy $2 $0 1 $3
      ${If} $2 != ""
      ${AndIf} $2 != "\"
        ${ExitDo}
      ${EndIf}
      ClearErrors
      RMDir $0
      ${If} ${Errors}
      ${OrIf} $0 == $1
        ${ExitDo}
      ${EndIf}
      ${GetParent} $0 $0
    ${Loop}
  ${EndIf}
  ClearErrors
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro REMOVE_MADE_FOLDERS ""
!insertmacro REMOVE_MADE_FOLDERS "un."

; The verdict on $INSTDIR in $Verdict: a new folder, the installed version's own, or refused. In
; $1 the refusal's message, "" for none.
Function JudgeFolder
  System::Call '$PLUGINSDIR\varnlet_setup.dll::JudgeInstallFolder(w "$INSTDIR", w "$PreviousDir") i.s ? u'
  Pop $Verdict
  StrCpy $1 ""
  ${If} $Verdict != ${InstallFolderVerdict_Create}
  ${AndIf} $Verdict != ${InstallFolderVerdict_Reuse}
    System::Call '$PLUGINSDIR\varnlet_setup.dll::FolderRefusalText(w "$INSTDIR", i $Verdict, i $LANGUAGE, w .r1, i ${NSIS_MAX_STRLEN}) i.r2 ? u'
    ${If} $2 != 0
    ${OrIf} $1 == ""
      StrCpy $1 "$(FolderUnchecked)"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function FolderPageLeave
  Call JudgeFolder
  ${If} $1 != ""
    MessageBox MB_ICONEXCLAMATION $1
    Abort
  ${EndIf}
FunctionEnd

; Makes the folder with FOLDER_SDDL, protected so that it inherits nothing, from the instant it
; exists; or, the installed version's, gives it FOLDER_SDDL again and empties it, its exe first,
; so that every file is written as a new one that takes the folder's rights and nothing else stays.
; An install that cannot fails.
Function PrepareFolder
  ; Each call is done only when it answered exactly what success is; $1 is "0" only then.
  ${If} $Verdict == ${InstallFolderVerdict_Create}
    System::Call '$PLUGINSDIR\varnlet_setup.dll::CreateInstallFolder(w "$INSTDIR", w "${FOLDER_SDDL}") i.r1 ? u'
  ${Else}
    StrCpy $1 -1
    System::Call "advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w '${FOLDER_SDDL}', i 1, *p .r0, p 0) i.r2 ?e"
    Pop $3
    ${If} $2 <> 0
      System::Call "advapi32::GetSecurityDescriptorOwner(p r0, *p .r2, *i .r3) i.r5"
      System::Call "advapi32::GetSecurityDescriptorDacl(p r0, *i .r3, *p .r4, *i .r3) i.r6"
      ${If} $5 <> 0
      ${AndIf} $6 <> 0
        ; SE_FILE_OBJECT; OWNER_, DACL_ and PROTECTED_DACL_SECURITY_INFORMATION
        System::Call "advapi32::SetNamedSecurityInfoW(w '$INSTDIR', i 1, i 0x80000005, p r2, p 0, p r4, p 0) i.r1"
      ${EndIf}
      System::Call "kernel32::LocalFree(p r0)"
    ${ElseIf} $3 <> 0
      StrCpy $1 $3
    ${EndIf}
  ${EndIf}
  ${If} $1 != 0
    !insertmacro END_WITH MB_ICONSTOP ${EXIT_WRITE} "$(FolderRights)"
    Abort
  ${EndIf}
  ${If} $Verdict == ${InstallFolderVerdict_Reuse}
    StrCpy $0 "$INSTDIR\varnlet.exe"
    retry:
    Delete "$INSTDIR\varnlet.exe"
    ${IfNot} ${FileExists} "$INSTDIR\varnlet.exe"
      Delete "$INSTDIR\*"
      FindFirst $1 $0 "$INSTDIR\*"
      ${DoWhile} $0 != ""
        ${If} $0 != "."
        ${AndIf} $0 != ".."
          ${ExitDo}
        ${EndIf}
        FindNext $1 $0
      ${Loop}
      FindClose $1
      ${If} $0 == ""
        Return
      ${EndIf}
      StrCpy $0 "$INSTDIR\$0"
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(FileBusy)" /SD IDCANCEL IDRETRY retry
    !insertmacro LOG "$(FileBusy)"
    SetErrorLevel ${EXIT_BUSY}
    Abort
  ${EndIf}
FunctionEnd

; Whether the installed exe may start with Windows, judged as the program judges its own path: in
; $1 its final path to write, "" when it may not, and then the message that says why in $2.
Function JudgeAutostart
  System::Call '$PLUGINSDIR\varnlet_setup.dll::JudgeRunValueTarget(w "$INSTDIR\varnlet.exe", w .r1, i ${NSIS_MAX_STRLEN}) i.r0 ? u'
  StrCpy $2 ""
  ${If} $0 == ${ExecutableTrust_Trusted}
  ${AndIf} $1 != ""
  ${AndIf} $1 != error
    Return
  ${EndIf}
  StrCpy $1 ""
  System::Call '$PLUGINSDIR\varnlet_setup.dll::AutostartRefusalText(i r0, i $LANGUAGE, w .r2, i ${NSIS_MAX_STRLEN}) i.r3 ? u'
  ${If} $3 != 0
  ${OrIf} $2 == ""
    StrCpy $2 "$(AutostartUnchecked)"
  ${EndIf}
FunctionEnd

; The choice refused: said, no value written, and the install ends with its own code.
Function RefuseAutostart
  !insertmacro LOG $2
  MessageBox MB_ICONEXCLAMATION $2 /SD IDOK
  SetErrorLevel ${EXIT_AUTOSTART}
FunctionEnd

Section "${TITLE}"
  SectionIn RO
  ; Nothing is written into a folder the rule refuses.
  Call JudgeFolder
  ${If} $1 != ""
    !insertmacro END_WITH MB_ICONSTOP ${EXIT_FOLDER} $1
    Abort
  ${EndIf}
  ${If} $PreviousDir != ""
  ${AndIf} $PreviousDir != $INSTDIR
    StrCpy $PreviousExe "$PreviousDir\varnlet.exe"
  ${EndIf}
  Call CloseVarnlet
  ReadRegStr $PreviousMadeFrom HKLM "${UNINSTALL_KEY}" "MadeFrom"
  StrCpy $MadeFrom $PreviousMadeFrom
  ${If} $Verdict == ${InstallFolderVerdict_Create}
    Call TopFolderToMake
  ${EndIf}
  Call PrepareFolder
  SetOutPath "$INSTDIR"
  File "/oname=varnlet.exe" "${EXE}"
  File "/oname=LEAME.txt" "${README}"
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\varnlet.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnlet.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; _?= (last, unquoted) runs the uninstaller itself rather than a copy it would start and leave
  ; at once, so whoever runs these command lines waits for it and gets its exit code.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} $MadeFrom != ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "MadeFrom" $MadeFrom
  ${EndIf}
  !insertmacro FAIL_ON_ERRORS
  ${If} $MadeFrom == ""
    ; A value the previous version left: there is none on a new entry, which is no failure.
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "MadeFrom"
    ClearErrors
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ClearErrors
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro FAIL_ON_ERRORS

  ; Moved elsewhere: the previous folder's copy goes, and a start-up value that named it names
  ; the new exe (a silent install keeps the choice, not a path to a deleted file).
  ${If} $PreviousExe != ""
    Delete /REBOOTOK $PreviousExe
    Delete /REBOOTOK "$PreviousDir\LEAME.txt"
    Delete /REBOOTOK "$PreviousDir\uninstall.exe"
    RMDir /REBOOTOK $PreviousDir
    Push $PreviousDir
    Push $PreviousMadeFrom
    Call RemoveMadeFolders
    ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $0 == '"$PreviousExe"'
    ${OrIf} $0 == $PreviousExe
      Call JudgeAutostart
      ClearErrors
      ${If} $1 != ""
        WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$1"'
      ${Else}
        ; It would name a deleted exe, and the new one may not start with Windows.
        DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
        Call RefuseAutostart
      ${EndIf}
      !insertmacro FAIL_ON_ERRORS
    ${EndIf}
  ${EndIf}
SectionEnd

; The same value the program's "Iniciar con Windows" writes, in the same registry view, and only
; where the program would write it: the installed exe's final path, in double quotes, so Windows
; cannot run a prefix of a path with spaces ("C:\Program.exe") at logon. The installer runs
; elevated, so this works where the program itself, running as a standard user under UAC, may not
; write it.
Section "$(AutostartSection)" SecAutostart
  Call JudgeAutostart
  ${If} $1 == ""
    Call RefuseAutostart
    Return
  ${EndIf}
  ClearErrors
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$1"'
  !insertmacro FAIL_ON_ERRORS
SectionEnd

; Sets the error flag when HKLM\$0 still holds the string value $1, clears it otherwise.
!macro VALUE_STAYS un
Function ${un}ValueStays
  ClearErrors
  ReadRegStr $2 HKLM $0 $1
  ${If} ${Errors}
    ClearErrors
  ${Else}
    SetErrors
  ${EndIf}
FunctionEnd
!macroend
!insertmacro VALUE_STAYS ""
!insertmacro VALUE_STAYS "un."

Section "-AutostartOff"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    ${If} $Autostart == "0"
    ${OrIfNot} ${Silent}
      DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
      StrCpy $0 "${RUN_KEY}"
      StrCpy $1 "${RUN_VALUE}"
      Call ValueStays
      !insertmacro FAIL_ON_ERRORS
    ${EndIf}
  ${EndIf}
SectionEnd

; Run in place (the entry's command lines, _?=), the uninstaller is the process its caller waits
; for, but it cannot delete its own file while it runs. So it starts a copy of itself, which
; waits for it to end, then deletes the uninstaller and the folder; that copy and its folder go at
; the next restart, as the copy NSIS otherwise starts does. The copy runs elevated: it runs from a
; folder made for it in Windows' own temporary folder with the install folder's rights from its
; first instant, where no standard user can put a DLL beside it (every user may add files to
; Windows' temporary folder and to a folder made there with the rights it inherits). Run as that
; copy, the uninstaller has nothing else to remove.
Function un.RemoveFolder
  ${If} $EXEPATH == "$INSTDIR\uninstall.exe"
    System::Call "kernel32::GetCurrentProcessId() i.r2"
    System::Call '$PLUGINSDIR\varnlet_setup.dll::MakeTemporaryFolder(w "${FOLDER_SDDL}", w .r0, i ${NSIS_MAX_STRLEN}) i.r1 ? u'
    ${If} $1 == 0
      ReadRegStr $3 HKLM "${UNINSTALL_KEY}" "MadeFrom"
      ClearErrors
      System::Call "kernel32::CopyFileW(w '$EXEPATH', w '$0\uninstall.exe', i 1) i.r1"
      ${If} $1 <> 0
        ; _?= last: NSIS takes the rest of the line as the folder.
        Exec '"$0\uninstall.exe" /S /CLEANUP=$2 /MADEFROM=$3 _?=$INSTDIR'
        ${IfNot} ${Errors}
          Return
        ${EndIf}
      ${EndIf}
      Delete "$0\uninstall.exe"
      RMDir $0
    ${EndIf}
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  Push $INSTDIR
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "MadeFrom"
  Push $0
  Call un.RemoveMadeFolders
FunctionEnd

; A file still busy (a copy nothing could close) goes at the next restart: the exit code is then
; 3010, "restart required", as Windows Installer's, and the finish page says so. A registry value
; that stays is a failure (EXIT_WRITE), which comes first.
Section "Uninstall"
  Call un.CloseVarnlet
  Delete /REBOOTOK "$INSTDIR\varnlet.exe"
  Delete /REBOOTOK "$INSTDIR\LEAME.txt"
  Call un.RemoveFolder
  Delete "${SHORTCUT}"
  ; The program's own start-up value goes with it.
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
  StrCpy $0 "${RUN_KEY}"
  StrCpy $1 "${RUN_VALUE}"
  Call un.ValueStays
  ${IfNot} ${Errors}
    StrCpy $0 "${UNINSTALL_KEY}"
    StrCpy $1 "UninstallString"
    Call un.ValueStays
  ${EndIf}
  ${If} ${Errors}
    !insertmacro LOG "$(RegistryLeft)"
    MessageBox MB_ICONSTOP "$(RegistryLeft)" /SD IDOK
    SetErrorLevel ${EXIT_WRITE}
  ${EndIf}
SectionEnd

; After the sections: it names one of them.
Function .onInit
  !if "${ARCH}" == "x64"
    ; The 64-bit program writes the 64-bit registry; so does its installer.
    SetRegView 64
  !endif
  SetShellVarContext all
  ; Before any plug-in is called.
  Call TakePluginsDir
  ; The whole line, as the process was given it: NSIS takes /D= and _?= out of $CMDLINE.
  System::Call "kernel32::GetCommandLineW() w .r0"
  !insertmacro LOG "$(Started) $0"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $Autostart
  ${If} ${Errors}
    StrCpy $Autostart ""
  ${EndIf}
  ; NSIS reads /D= only last and unquoted, and passes over any other form for the default
  ; folder: the library reads the command line itself, so a /D= a launcher quoted still names the
  ; folder, and one that names none is refused.
  System::Call '$PLUGINSDIR\varnlet_setup.dll::InstallFolderParameter(w .r1, i ${NSIS_MAX_STRLEN}) i.r2 ? u'
  ${If} $2 == ${FolderParameter_Given}
    StrCpy $INSTDIR $1
  ${ElseIf} $2 != ${FolderParameter_None}
    !insertmacro END_WITH MB_ICONSTOP ${EXIT_FOLDER} "$(FolderParameter)"
    Push ${EXIT_FOLDER}
    Call LogEnd
    Abort
  ${EndIf}

  ; One Varnlet! per machine: the MSI of either architecture installs into a folder, shortcut and
  ; start-up value of its own, and so does this installer built for the other architecture, whose
  ; entry lies in the other registry view. Each is removed first; the installer says how.
  ; msi.dll by its System32 path; without it, no MSI can be installed either.
  System::Call "kernel32::LoadLibraryExW(w '$SYSDIR\msi.dll', p 0, i 0x8) p.r0"
  ${If} $0 P<> 0
    ; The product code takes 39 characters; the buffer holds NSIS_MAX_STRLEN.
    ${ForEach} $3 0 1 + 1
      ${If} $3 == 0
        System::Call "msi::MsiEnumRelatedProductsW(w '${MSI_UPGRADE_CODE}', i 0, i 0, w .r1) i.r2"
      ${Else}
        System::Call "msi::MsiEnumRelatedProductsW(w '${OTHER_MSI_UPGRADE_CODE}', i 0, i 0, w .r1) i.r2"
      ${EndIf}
      ${If} $2 == 0
        !insertmacro END_WITH MB_ICONSTOP ${EXIT_MSI} "$(MsiInstalled)"
        Push ${EXIT_MSI}
        Call LogEnd
        Abort
      ${EndIf}
    ${Next}
  ${EndIf}
  ; The other architecture's registry view exists on 64-bit Windows only.
  !if "${ARCH}" == "x64"
    SetRegView 32
  !else
    ${If} ${RunningX64}
      SetRegView 64
    ${EndIf}
  !endif
  ClearErrors
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "QuietUninstallString"
  ${If} ${Errors}
    ; No value there; a key that exists but cannot be read is someone's install all the same.
    ClearErrors
    EnumRegValue $2 HKLM "${UNINSTALL_KEY}" 0
    ${IfNot} ${Errors}
      StrCpy $1 "${UNINSTALL_KEY}"
    ${EndIf}
  ${EndIf}
  !if "${ARCH}" == "x64"
    SetRegView 64
  !else
    SetRegView default
  !endif
  ${If} $1 != ""
    !insertmacro END_WITH MB_ICONSTOP ${EXIT_MSI} "$(OtherInstalled)"
    Push ${EXIT_MSI}
    Call LogEnd
    Abort
  ${EndIf}

  ; A newer installed version is not replaced by this older one.
  ReadRegStr $PreviousDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
    ${VersionCompare} $0 "${VERSION}" $1
    ${If} $1 == 1
      !insertmacro END_WITH MB_ICONSTOP ${EXIT_NEWER} "$(Newer)"
      Push ${EXIT_NEWER}
      Call LogEnd
      Abort
    ${EndIf}
  ${EndIf}

  ; The choice is ticked on the interactive page; a silent install makes it only when asked.
  ${If} $Autostart == "0"
    !insertmacro UnselectSection ${SecAutostart}
  ${ElseIf} ${Silent}
  ${AndIf} $Autostart != "1"
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd
