#!/bin/sh
# Self-registration of Vorlink64.dll through the system tool: every registry
# entry of the icon handler's script and of the context-menu handler is written
# by "regsvr32", a second registration changes nothing, and "regsvr32 /u"
# removes them all but the kept ORV type keys and what it never wrote.
# Usage: vorlink_registration_test.sh WINE_RUN DLL
set -u
wine_run=$1
dll=$($wine_run winepath -w "$2" | tr -d '\r')
icon='{2821B958-D569-4E37-ACA6-FD4C2283DBE5}'
ext='{0E32FA5F-9183-4870-8B12-0AB63F4AD295}'
overlays='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellIconOverlayIdentifiers'
approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# reg prints GBK under the Chinese locale.
query() { $wine_run reg query "$@" 2>/dev/null | iconv -f gbk -t utf-8 | tr -d '\r'; }
key_exists() { $wine_run reg query "$1" >/dev/null 2>&1; }
# The string data of a value ("" names the unnamed one), or nothing.
value_of() {
  if [ -z "$2" ]; then query "$1" /ve; else query "$1" /v "$2"; fi |
    sed -n 's/^    .*    REG_SZ    \(.*\)$/\1/p'
}

# Key|value name|data; no data: the key alone; "@MODULE@": the DLL's path.
# The third field says what removal does: gone (key deleted), value-gone
# (only the value deleted) or kept.
entries() {
  cat <<TABLE
HKCR\\Tessel.OrvfileShellIcon.1||OrvfileShellIcon Class|gone
HKCR\\Tessel.OrvfileShellIcon.1\\CLSID||$icon|gone
HKCR\\Tessel.OrvfileShellIcon||OrvfileShellIcon Class|gone
HKCR\\Tessel.OrvfileShellIcon\\CLSID||$icon|gone
HKCR\\Tessel.OrvfileShellIcon\\CurVer||Tessel.OrvfileShellIcon.1|gone
HKCR\\CLSID|||kept
HKCR\\CLSID\\$icon||OrvfileShellIcon Class|gone
HKCR\\CLSID\\$icon\\ProgID||Tessel.OrvfileShellIcon.1|gone
HKCR\\CLSID\\$icon\\VersionIndependentProgID||Tessel.OrvfileShellIcon|gone
HKCR\\CLSID\\$icon\\Programmable|||gone
HKCR\\CLSID\\$icon\\InprocServer32||@MODULE@|gone
HKCR\\CLSID\\$icon\\InprocServer32|ThreadingModel|Apartment|gone
HKCR\\CLSID\\$icon\\TypeLib||{51EC399B-CCD5-4822-910A-F14471BEBED8}|gone
HKCR\\ORV|||kept
HKCR\\ORV\\DefaultIcon||%1|kept
HKCR\\ORV\\ShellEx|||kept
HKCR\\ORV\\ShellEx\\IconHandler||$icon|gone
$overlays|||kept
$overlays\\ZentrikIcon||$icon|gone
HKCR\\CLSID\\$ext||Quennel|gone
HKCR\\CLSID\\$ext\\InProcServer32||@MODULE@|gone
HKCR\\CLSID\\$ext\\InProcServer32|ThreadingModel|Apartment|gone
HKCR\\*\\shellex\\ContextMenuHandlers\\Quennel||$ext|gone
HKCR\\Folder\\shellex\\ContextMenuHandlers\\Quennel||$ext|gone
$approved|$ext|Folder\\shellex\\ContextMenuHandlers\\Quennel|value-gone
TABLE
}

check_registered() {
  entries | while IFS='|' read -r key name data removal; do
    if ! key_exists "$key"; then
      echo "FAIL ($1): missing key $key"
      continue
    fi
    [ -z "$data" ] && continue
    [ "$data" = @MODULE@ ] && data=$dll
    got=$(value_of "$key" "$name")
    [ "$got" = "$data" ] || echo "FAIL ($1): $key [$name] is '$got', expected '$data'"
  done
}

# Everything the tables name, for comparing one registration with two.
snapshot() {
  entries | while IFS='|' read -r key name data removal; do
    echo "== $key"
    query "$key"
  done
}

check_removed() {
  entries | while IFS='|' read -r key name data removal; do
    case $removal in
    gone) key_exists "$key" && echo "FAIL (removed): key $key is still there" ;;
    value-gone) [ -n "$(value_of "$key" "$name")" ] && echo "FAIL (removed): value $name of $key is still there" ;;
    kept) key_exists "$key" || echo "FAIL (removed): kept key $key is gone" ;;
    esac
  done
}

# A clean start: nothing left from an earlier run.
$wine_run regsvr32 /s /u "$dll" >/dev/null 2>&1
$wine_run reg delete 'HKCR\ORV' /f >/dev/null 2>&1

$wine_run regsvr32 /s "$dll" || fail "regsvr32 returned $?"
out=$(check_registered once); [ -n "$out" ] && fail "$out"
first=$(snapshot)

$wine_run regsvr32 /s "$dll" || fail "second regsvr32 returned $?"
second=$(snapshot)
[ "$first" = "$second" ] || fail "a second registration changed the entries: $(printf '%s\n' "$first" >/tmp/vorlink_reg_1.$$; printf '%s\n' "$second" | diff /tmp/vorlink_reg_1.$$ -; rm -f /tmp/vorlink_reg_1.$$)"

# Something the script never wrote under one of its keys keeps that key.
$wine_run reg add 'HKCR\Tessel.OrvfileShellIcon\Foreign' /f >/dev/null 2>&1

$wine_run regsvr32 /s /u "$dll" || fail "regsvr32 /u returned $?"
out=$(check_removed | grep -v 'Tessel.OrvfileShellIcon is still there'); [ -n "$out" ] && fail "$out"
key_exists 'HKCR\Tessel.OrvfileShellIcon\Foreign' || fail "removal deleted a key it never wrote"
[ "$(value_of 'HKCR\ORV\DefaultIcon' '')" = "%1" ] || fail "ORV\\DefaultIcon lost its %1"
$wine_run reg delete 'HKCR\Tessel.OrvfileShellIcon' /f >/dev/null 2>&1

# Removing again finds nothing to remove and still succeeds.
$wine_run regsvr32 /s /u "$dll" || fail "a second regsvr32 /u returned $?"
$wine_run reg delete 'HKCR\ORV' /f >/dev/null 2>&1

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "registration: all entries checked"
