#!/usr/bin/env bash
# Runs a Windows test program with the build tree's Wine prefix at another screen density: the
# user's LogPixels is set for the run and removed after it. The program learns the density it
# should find from VARNLET_EXPECT_DPI. The value is set before the start because Wine reads it
# then only: changed while a program runs, followed by WM_SETTINGCHANGE, it changes neither the
# density that program is told nor the size of the tray icon it loads again (measured, Wine 8).
# Usage: at_dpi.sh WINE_RUN DPI PROGRAM [ARGS...]
set -euo pipefail
wine_run="$1" dpi="$2"
shift 2
key='HKCU\Control Panel\Desktop'
"$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
trap '"$wine_run" reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true' EXIT
VARNLET_EXPECT_DPI="$dpi" "$wine_run" "$@"
