#!/usr/bin/env bash
# The tray icon appears with its tip and the start-up balloon; a right click opens the menu with
# "Salir" in bold; a balloon reported shown is hidden the balloon's time later and the tip stays;
# the icon comes back after the shell restarts, and is updated in place when the shell announces
# itself while it still shows it; a second start adds no icon; "Salir" removes the icon and ends.
# Started again, it registers for a restart by the Restart Manager, and the end of the session
# (as the Restart Manager closes a program for an installer) removes the icon and ends it.
source "$(dirname "$0")/lib.sh"

TRAY_CALLS='SHELL32.Shell_NotifyIconA;USER32.SetTimer;USER32.KillTimer;USER32.RegisterWindowMessageA;USER32.ChangeWindowMessageFilterEx;USER32.TrackPopupMenuEx'
relay_only "$TRAY_CALLS"
start_varnlet_shown +relay relay.log
# An elevated program hears a restarted shell only if its window lets TaskbarCreated through.
# Other threads (the browser's) trace between a call and its return: pair them once the other
# lines are left out.
taskbar_created=$(grep -iE '(Call|Ret) +USER32.RegisterWindowMessageA\(' "$ART/relay.log" |
  grep -A1 -iE 'Call USER32.RegisterWindowMessageA\([0-9a-f]+ "TaskbarCreated"\)' |
  sed -nE 's/.*Ret +USER32.RegisterWindowMessageA\(\) retval=0*([0-9a-f]+).*/\1/Ip' | head -1)
form1=$(printf '%x' "$(tool find $VARNLET_MAIN_WINDOW_CLASS | tr -d '\r' | cut -d' ' -f1)")
check "TaskbarCreated ($taskbar_created) is let through to Form1's window ($form1) once" \
  test "$(grep -ciE "Call USER32.ChangeWindowMessageFilterEx\(0*$form1,0*$taskbar_created,0*1," "$ART/relay.log")" -eq 1
check "the start-up balloon shows its text" wait_for 60 balloon_shown
sleep 1 # let it paint: the picture is an artefact to look at, not a verdict
screenshot icon-and-balloon

# Wine never reports the balloon shown; post the notification the shell would send.
check "a balloon-shown notification is accepted" notify_program 1026
check "the balloon timer starts with $VARNLET_BALLOON_SHOW_TIME ms" \
  wait_for 60 grep -qiE "$(set_timer_call $BALLOON_TIMER "$VARNLET_BALLOON_SHOW_TIME")" "$ART/relay.log"
modifies_before=$(traced "$ART/relay.log" "$(notify_call $NIM_MODIFY)")
check "that long later the timer is killed" wait_for 60 grep -qiE "$(kill_timer_call $BALLOON_TIMER)" "$ART/relay.log"
check "and the balloon is hidden" wait_for 60 traced_more "$ART/relay.log" "$(notify_call $NIM_MODIFY)" "$modifies_before"
check "the shell takes it away" wait_for 60 balloon_gone
check "the tip is still $VARNLET_TITLE" varnlet_icons 1
screenshot after-balloon

# A right click on the icon opens the menu, once: the shell's WM_CONTEXTMENU after the release
# belongs to the same click.
popups() { traced "$ART/relay.log" "$POPUP_CALL"; }
# Esc, as the user would press it in the menu.
close_menu() { tool post '#32768' 0x100 0x1b 0 && wait_for 60 menu_closed; }
# The shell posts the release and WM_CONTEXTMENU back to back, before the menu that the first
# opens can show; once the program has handled what came after them, a second menu would be there.
no_second_menu() { messages_handled "$ART/relay.log" && menu_closed; }
before=$(popups)
xdo mousemove 12 32 click 3
check "a right click shows the menu" wait_for 60 menu_shown
screenshot menu
check "Esc closes it" close_menu
check "and no second menu follows" no_second_menu
check "one click, one menu" test "$(popups)" -eq $((before + 1))

# The keyboard: Enter or Space on the icon (NIN_KEYSELECT), Shift+F10 or the menu key
# (WM_CONTEXTMENU alone); closed with Esc, the focus goes back to the icon (NIM_SETFOCUS).
for notification in 1025 123; do
  before=$(popups)
  focus_before=$(traced "$ART/relay.log" "$(notify_call $NIM_SETFOCUS)")
  check "notification $notification shows the menu" notify_program "$notification"
  check "the menu is there" wait_for 60 menu_shown
  check "Esc closes it" close_menu
  check "the focus goes back to the icon" \
    wait_for 60 traced_more "$ART/relay.log" "$(notify_call $NIM_SETFOCUS)" "$focus_before"
  check "one menu" test "$(popups)" -eq $((before + 1))
done
# A right-button release followed at once by WM_CONTEXTMENU, as a mouse click sends them.
before=$(popups)
check "517 and 123 back to back" notify_program 517 123
check "show the menu" wait_for 60 menu_shown
check "Esc closes it" close_menu
check "and no second menu follows" no_second_menu
check "once" test "$(popups)" -eq $((before + 1))
# A left click's NIN_SELECT opens nothing.
before=$(popups)
notify_program 1024
check "NIN_SELECT is handled" messages_handled "$ART/relay.log"
check "and shows no menu" test "$(popups)" -eq "$before"

# After a scaling change Explorer announces itself while it still shows the icon: the icon is
# loaded again and handed over in place, and no add is tried (it would fail, the icon being there).
from=$(($(wc -l <"$ART/relay.log") + 1))
check "TaskbarCreated is posted while the icon is there" tool post-registered $VARNLET_MAIN_WINDOW_CLASS TaskbarCreated
# Each call's Ret line follows its Call line once the other trace lines are left out.
notify_calls() { tail -n +"$from" "$ART/relay.log" | grep -iE '(Call|Ret) +SHELL32.Shell_NotifyIconA\(' || true; }
updated_in_place() { notify_calls | grep -A1 -iE "$(notify_call $NIM_MODIFY)" | grep -qiE "$(notify_ret 1)"; }
check "the icon is updated in place" wait_for 60 updated_in_place
check "no add is tried" test "$(notify_calls | grep -ciE "$(notify_call $NIM_ADD)" || true)" -eq 0
check "there is still one icon with its tip" varnlet_icons 1

# The shell restarts: its tray comes back empty and it announces TaskbarCreated.
check "the icon can be taken away as by a shell restart" tool tray-delete "$VARNLET_MAIN_WINDOW_CLASS" "$VARNLET_TRAY_ICON_ID"
check "the icon is gone" wait_for 60 varnlet_icons 0
check "TaskbarCreated is posted" tool post-registered $VARNLET_MAIN_WINDOW_CLASS TaskbarCreated
check "the icon is back with its tip" wait_for 60 varnlet_icons 1

# A second start ends at once and adds nothing.
second=0
timeout 60 "$WR" "$EXE" || second=$?
check "a second start exits with code 0" test "$second" -eq 0
check "there is still one icon" varnlet_icons 1

# "Salir": the menu's last item, chosen from the keyboard.
pick salir
check "Salir ends the program" wait_gone 60 "$varnlet"
check "and removes the icon" varnlet_icons 0
check "the icon was deleted by the program" grep -qiE "$(notify_call $NIM_DELETE)" "$ART/relay.log"
# The toolkit's default popup: left-aligned, left button; only the chosen command is asked back.
check "the popup menu opens with no flag but TPM_RETURNCMD" grep -qiE 'Call USER32.TrackPopupMenuEx\([0-9a-f]+,0*100,' "$ART/relay.log"

# The end of the session. Wine's Restart Manager is a stub that never sends these messages:
# post them as it would, asking first, then closing with ENDSESSION_CLOSEAPP (lParam 1).
relay_only "$TRAY_CALLS;KERNEL32.RegisterApplicationRestart;KERNELBASE.RegisterApplicationRestart"
start_varnlet_shown +relay relay-end-session.log
# No arguments; RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT.
check "it registered for a restart after an installer closed it" \
  grep -qiE 'Call KERNEL(32|BASE).RegisterApplicationRestart\([0-9a-f]+ L"",0+b\)' "$ART/relay-end-session.log"
check "WM_QUERYENDSESSION with ENDSESSION_CLOSEAPP is posted" tool post $VARNLET_MAIN_WINDOW_CLASS 0x11 0 1
check "WM_ENDSESSION with wParam 1 and ENDSESSION_CLOSEAPP is posted" tool post $VARNLET_MAIN_WINDOW_CLASS 0x16 1 1
check "the end of the session ends the program" wait_gone 60 "$varnlet"
code=0
wait "$varnlet" || code=$?
check "with exit code 0" test "$code" -eq 0
check "and removes the icon" varnlet_icons 0
check "the icon was deleted by the program" grep -qiE "$(notify_call $NIM_DELETE)" "$ART/relay-end-session.log"
check "no window of the program is left" window_gone $VARNLET_MAIN_WINDOW_CLASS
