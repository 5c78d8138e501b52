#!/bin/sh
# The x64 installer in a Wine prefix of its own: a silent install puts both programs
# into Program Files, a Start-menu shortcut and an uninstall entry in place; the
# installed report answers --version; a silent uninstall leaves no file of ours and
# keeps the user's settings.
# Usage: check_installer.sh INSTALLER PREFIX VERSION
set -eu
installer=$1
prefix=$2
version=$3
fail() { echo "installer: $*" >&2; WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; exit 1; }

[ -f "$installer" ] || fail "no installer at $installer (scripts/package makes it)"
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
wineboot -i >/dev/null 2>&1 || true

wine "$(winepath -w "$installer")" /S || fail "the silent install failed"
wineserver -w
folder="$prefix/drive_c/Program Files/Lurmo"
for file in lurmo.exe lurmo-report.exe README-ja.txt LICENSE.txt uninstall.exe; do
  [ -f "$folder/$file" ] || fail "$file was not installed into Program Files"
done
[ -f "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Lurmo.lnk" ] ||
  fail "no Start-menu shortcut"

# Through a file, not a pipe: a Wine service started meanwhile would hold a pipe open.
wine 'C:\Program Files\Lurmo\lurmo-report.exe' --version >"$prefix/version.txt" </dev/null
said=$(tr -d '\r' <"$prefix/version.txt")
[ "$said" = "lurmo-report $version" ] || fail "the installed report says '$said'"

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lurmo'
wine reg query "$key" >"$prefix/entry.txt" 2>/dev/null </dev/null
entry=$(tr -d '\r' <"$prefix/entry.txt")
for value in "DisplayName.*Lurmo" "DisplayVersion.*$version" "Publisher.*Brennic" \
             'UninstallString.*C:\\Program Files\\Lurmo\\uninstall.exe' "EstimatedSize.*REG_DWORD.*0x[1-9a-f]"; do
  printf '%s\n' "$entry" | grep -q "$value" || fail "the uninstall entry lacks $value: $entry"
done

# The user's settings, as the program leaves them; a silent uninstall answers the
# question about them with no.
wine reg add 'HKCU\Software\Brennic\Lurmo' /v Unit /t REG_DWORD /d 2 /f >/dev/null 2>&1
wine 'C:\Program Files\Lurmo\uninstall.exe' /S || fail "the silent uninstall failed"
# The uninstaller copies itself elsewhere and runs from there: wait for it.
wineserver -w
[ ! -e "$folder" ] || fail "files were left: $(ls -A "$folder")"
[ ! -e "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Lurmo.lnk" ] ||
  fail "the Start-menu shortcut was left"
if wine reg query "$key" >/dev/null 2>&1; then fail "the uninstall entry was left"; fi
wine reg query 'HKCU\Software\Brennic\Lurmo' /v Unit >/dev/null 2>&1 ||
  fail "the silent uninstall removed the user's settings"
wineserver -k || true
rm -rf "$prefix"
echo "installer: installed, ran lurmo-report $version, uninstalled, nothing left"
