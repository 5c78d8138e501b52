#!/bin/sh
# Makes a Wine prefix whose screen has the given DPI: Wine reads it from the user's
# LogPixels when a prefix's server starts, so it is written before any test process runs.
# Arguments: the prefix folder and the DPI.
set -e
prefix="$1"
dpi="$2"
rm -rf "$prefix"
export WINEPREFIX="$prefix"
wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
# No window manager on the virtual screen: unmanaged windows spare a wait for one.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The server writes the registry out when it ends; the tests then start a fresh one.
wineserver -w
