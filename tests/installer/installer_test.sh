#!/bin/sh
# The setup program in a Wine prefix of its own, made fresh for this run:
# a silent install puts down the files, the Explorer extension's registry rows,
# the ".EDS" mapping, the Add/Remove Programs entry and the Start-menu entries;
# the installed program starts with "-sysset" and copies its key database
# template into the user's settings folder; a silent uninstall removes all it
# put down and leaves the user's settings, key database and encrypted files.
# A second round checks a reinstall over kept user data, an install over an
# install, and an ".EDS" mapping that another program has taken over meanwhile;
# a third, a setup whose extension cannot be registered.
#
#   installer_test.sh WINE_STATE_DIR SETUP_EXE ENCRYPTED_SAMPLE
set -u
state=$1 setup=$2 sample=$3
failures=0
checks=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION COMMAND...
  what=$1
  shift
  checks=$((checks + 1))
  "$@" || fail "$what"
}

# A wine server finds its prefix by the folder's device and inode, and one
# can outlive the folder it served for a moment (wineserver -k returns before
# the server has gone). A new folder that gets that inode would be served by
# it, registry and all: wait such servers out, and never take such a folder.
servers_of() {  # FOLDER: ids of the wine servers serving it
  id="server-$(stat -c %D "$1")-$(printf %x "$(stat -c %i "$1")")"
  for pid in $(pgrep wineserver); do
    case $(readlink "/proc/$pid/cwd") in */"$id") echo "$pid" ;; esac
  done
}
taken=""
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-setup.XXXXXX") || exit 1
while [ -n "$(servers_of "$prefix")" ]; do
  taken="$taken $prefix"
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-setup.XXXXXX") || exit 1
done
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
# No menu entries or desktop files on the Linux side, no Mono/Gecko prompts.
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"
[ -f "$state/display" ] && DISPLAY=$(cat "$state/display") && export DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  for _ in $(seq 100); do
    [ -z "$(servers_of "$prefix")" ] && break
    sleep 0.1
  done
  rm -rf "$prefix" $taken
}
trap cleanup EXIT

# No address randomisation for wine: with it a start fails now and then
# without a word (see cmake/wine-run.in).
wine() { setarch "$(uname -m)" -R wine "$@"; }
wine wineboot -i </dev/null >/dev/null 2>&1
winepath_u() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# reg prints GBK under the Chinese locale.
query() { wine reg query "$@" 2>/dev/null | iconv -f gbk -t utf-8 | tr -d '\r'; }
# reg ends with 1 for a key it cannot find; any other failure is not an answer.
key_absent() {
  wine reg query "$1" >/dev/null 2>&1
  [ $? -eq 1 ]
}
value_of() {  # KEY NAME ("" for the unnamed value): string or DWORD data
  if [ -z "$2" ]; then query "$1" /ve; else query "$1" /v "$2"; fi |
    sed -n 's/^    .*    REG_[A-Z_]*    \(.*\)$/\1/p'
}
# Waits for the prefix's programs (an uninstaller runs on as a copy of
# itself after the one started here has returned).
settle() { timeout 120 wineserver -w; }

program='C:\Program Files\Vellumo'
program_u="$prefix/drive_c/Program Files/Vellumo"
menu_u="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vellumo"
appdata=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
settings_u=$(winepath_u "$appdata\\zentrik_quen")
documents_u=$(winepath_u "$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')\\Documents")
[ -n "$settings_u" ] && [ -n "$documents_u" ] || { echo "FAIL: no user folders in the new prefix"; exit 1; }

icon='{2821B958-D569-4E37-ACA6-FD4C2283DBE5}'
ext='{0E32FA5F-9183-4870-8B12-0AB63F4AD295}'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellumo'
version=$(basename "$setup" .exe | sed 's/^Vellumo-Setup-//')

# Key|value name|data after install ("*": any non-empty data).
registry_rows() {
  cat <<TABLE
HKCR\\CLSID\\$icon\\InprocServer32||$program\\Vorlink64.dll
HKCR\\CLSID\\$ext\\InProcServer32||$program\\Vorlink64.dll
HKCR\\*\\shellex\\ContextMenuHandlers\\Quennel||$ext
HKCR\\Folder\\shellex\\ContextMenuHandlers\\Quennel||$ext
HKCR\\ORV\\ShellEx\\IconHandler||$icon
HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\ZentrikIcon||$icon
HKCR\\.EDS||ORV
HKCR\\ORV\\shell\\open\\command||"$program\\Vellumo.exe" "%1"
$uninstall|DisplayName|Vellumo
$uninstall|DisplayVersion|$version
$uninstall|Publisher|Zentrik
$uninstall|UninstallString|"$program\\uninstall.exe"
$uninstall|QuietUninstallString|"$program\\uninstall.exe" /S
$uninstall|DisplayIcon|$program\\Vellumo.exe,0
$uninstall|EstimatedSize|*
TABLE
}
installed_files="Vellumo.exe Vorlink64.dll docset.dat uninstall.exe"

run_setup() {  # [EXPECTED_EXIT_STATUS]
  wine "$setup" /S </dev/null >/dev/null 2>&1
  status=$?
  settle
  check "silent setup exits with ${1:-0} (got $status)" [ "$status" -eq "${1:-0}" ]
  # What the extension's registration left, to tell its faults from setup's.
  [ "$status" -eq "${1:-0}" ] || query "HKCR\\CLSID\\$icon" /s
}

run_uninstaller() {
  wine "$program\\uninstall.exe" /S </dev/null >/dev/null 2>&1
  check "silent uninstall exits with 0 (got $?)" [ $? -eq 0 ]
  settle
}

# The Start-menu entries setup makes in its language, and the option each
# starts Vellumo.exe with.
shortcuts_zh() {
  cat <<TABLE
密钥设置.lnk|-sysset
剪贴板加密.lnk|-enslipstart
剪贴板解密.lnk|-deslipstart
卸载 Vellumo.lnk|
TABLE
}
shortcuts_en() {
  cat <<TABLE
Key Settings.lnk|-sysset
Encrypt Clipboard.lnk|-enslipstart
Decrypt Clipboard.lnk|-deslipstart
Uninstall Vellumo.lnk|
TABLE
}

check_installed() {  # ROUND [LANGUAGE: zh (default) or en]
  for f in $installed_files; do
    check "$1: $f installed" [ -s "$program_u/$f" ]
  done
  registry_rows | while IFS='|' read -r key name data; do
    got=$(value_of "$key" "$name")
    case $data in
    '*') [ -n "$got" ] || echo "$key [$name] is missing" ;;
    *) [ "$got" = "$data" ] || echo "$key [$name] is '$got', expected '$data'" ;;
    esac
  done >"$prefix/rows"
  check "$1: registry rows: $(cat "$prefix/rows")" [ ! -s "$prefix/rows" ]
  # Each Start-menu entry and the option it starts Vellumo.exe with; a
  # shortcut keeps its arguments as UTF-16, ASCII once the zero bytes go.
  while IFS='|' read -r name option; do
    lnk="$menu_u/$name"
    check "$1: Start-menu entry $name" [ -s "$lnk" ]
    [ -z "$option" ] && continue
    check "$1: $name starts Vellumo.exe $option" sh -c \
      'tr -d "\000" <"$1" | grep -aq -- "Vellumo.exe" && tr -d "\000" <"$1" | grep -aq -- "$2"' _ "$lnk" "$option"
  done <<TABLE
$(shortcuts_"${2:-zh}")
TABLE
  check "$1: only the entries of one language ($(ls "$menu_u" | tr '\n' ' '))" [ "$(ls "$menu_u" | wc -l)" -eq 4 ]
}

check_removed() {  # ROUND EXPECTED_EDS_MAPPING
  for f in $installed_files; do
    check "$1: $f removed" [ ! -e "$program_u/$f" ]
  done
  check "$1: Start-menu folder removed" [ ! -e "$menu_u" ]
  for key in "HKCR\\CLSID\\$icon" "HKCR\\CLSID\\$ext" 'HKCR\*\shellex\ContextMenuHandlers\Quennel' \
             'HKCR\Folder\shellex\ContextMenuHandlers\Quennel' 'HKCR\ORV' "$uninstall" \
             'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellIconOverlayIdentifiers\ZentrikIcon'; do
    check "$1: $key removed" key_absent "$key"
  done
  eds=$(value_of 'HKCR\.EDS' '')
  check "$1: .EDS mapping is '$2' after uninstall (got '$eds')" [ "$eds" = "$2" ]
}

# The setup is an x64 program (machine 0x8664 in its PE header), so 32-bit
# Windows refuses to start it rather than installing an extension that
# Explorer there could never load.
pe=$(od -An -tu4 -j60 -N4 "$setup" | tr -d ' ')
check "the setup is an x64 program" [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$setup" | tr -d ' ')" = 8664 ]

# --- Round 1: install, first start, uninstall -------------------------------
run_setup
check_installed "install"

# A recent update check on record: the program then leaves the network alone.
mkdir -p "$settings_u"
printf '[UPDATE]\r\nLASTTIME=%s\r\n' "$(date +%s)" >"$settings_u/quen_set.ini"
cp "$settings_u/quen_set.ini" "$prefix/settings.ini"

wine "$program\\Vellumo.exe" -sysset </dev/null >/dev/null 2>&1 &
sysset=$!
for _ in $(seq 100); do
  [ -s "$settings_u/docset.dat" ] && break
  sleep 0.3
done
check "-sysset copies the template into the settings folder" cmp -s "$settings_u/docset.dat" "$program_u/docset.dat"
# Wine gives the program's window the process id that started it.
check "-sysset shows the settings dialog" sh -c \
  'for _ in $(seq 50); do xdotool search --pid "$1" --name "参数设置" >/dev/null 2>&1 && exit 0; sleep 0.2; done; exit 1' _ "$sysset"
wine taskkill /f /im Vellumo.exe >/dev/null 2>&1
settle

# The user's data: an encrypted file among their documents and one they
# happened to put into the program folder.
cp "$sample" "$documents_u/报告.doc.EDS"
cp "$sample" "$program_u/备份.EDS"
cp "$settings_u/docset.dat" "$prefix/keys.dat"

run_uninstaller
check_removed "uninstall" ""
check "uninstall keeps the settings file" cmp -s "$settings_u/quen_set.ini" "$prefix/settings.ini"
check "uninstall keeps the key database" cmp -s "$settings_u/docset.dat" "$prefix/keys.dat"
check "uninstall keeps encrypted documents" cmp -s "$documents_u/报告.doc.EDS" "$sample"
check "uninstall keeps a user's file in the program folder" cmp -s "$program_u/备份.EDS" "$sample"

# --- Round 2: reinstall over kept data, then again over itself (an upgrade
# moves the old Vorlink64.dll aside); ".EDS" taken over by another program --
rm -f "$program_u/备份.EDS"
run_setup
check_installed "reinstall"
run_setup
check_installed "install over an install"
check "install over an install leaves only its own files (found: $(ls "$program_u" | tr '\n' ' '))" \
  [ "$(ls "$program_u" | LC_ALL=C sort | tr '\n' ' ')" = "Vellumo.exe Vorlink64.dll docset.dat uninstall.exe " ]
check "reinstall keeps the key database" cmp -s "$settings_u/docset.dat" "$prefix/keys.dat"
wine reg add 'HKCR\.EDS' /ve /d OtherType /f >/dev/null 2>&1
run_uninstaller
check_removed "second uninstall" "OtherType"
check "second uninstall removes the program folder" [ ! -e "$program_u" ]
check "second uninstall keeps the settings folder" [ -s "$settings_u/docset.dat" ]

# --- Round 3: the extension cannot be registered ----------------------------
# Wine told not to load Vorlink64.dll makes regsvr32 fail: setup says so in
# its exit status, and what it put down is still removed by the uninstaller.
overrides=$WINEDLLOVERRIDES
WINEDLLOVERRIDES="$overrides;vorlink64=d"
run_setup 3
WINEDLLOVERRIDES=$overrides
check "failed registration: files in place" [ -s "$program_u/uninstall.exe" ]
check "failed registration: no extension rows" key_absent "HKCR\\CLSID\\$ext"
check "failed registration: listed in Add/Remove Programs" [ "$(value_of "$uninstall" DisplayName)" = Vellumo ]
run_uninstaller
check_removed "uninstall after a failed registration" ""
check "uninstall after a failed registration removes the program folder" [ ! -e "$program_u" ]

# --- Round 4: an English Windows ---------------------------------------------
# Setup speaks English there and names the Start-menu entries in English; the
# uninstaller, whatever language it runs in, removes them.
LC_ALL=en_US.UTF-8
run_setup
LC_ALL=zh_CN.UTF-8
check_installed "English install" en
run_uninstaller
check_removed "uninstall of the English install" ""

echo "$checks checks, $failures failed"
[ "$failures" -eq 0 ]
