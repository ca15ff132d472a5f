#!/bin/sh
# signing_test.sh SIGN MAKENSIS NSI PROGRAM SHELLEXT CLI TEMPLATE ICON VERSION
# The release signing step with a throwaway certificate made here: the programs
# and the setup (signed by makensis through the same script) verify against
# that certificate; a changed byte or a file left unsigned does not.
set -u
sign=$1 makensis=$2 nsi=$3 program=$4 shellext=$5 cli=$6 template=$7 icon=$8 version=$9
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vellumo test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null ||
  { echo "FAIL: openssl could not make a certificate"; exit 1; }
printf 'test-password' >"$work/pass"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout file:"$work/pass" \
  -out "$work/test.pfx" 2>/dev/null || { echo "FAIL: openssl could not make the PFX"; exit 1; }
export VELLUMO_SIGN_PFX="$work/test.pfx" VELLUMO_SIGN_PASSWORD_FILE="$work/pass" VELLUMO_SIGN_TIMESTAMP_URL=none

verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }

for f in "$program" "$shellext" "$cli"; do
  cp "$f" "$work/$(basename "$f")"
  verify "$work/$(basename "$f")" && fail "$(basename "$f") verifies before it is signed"
done
"$sign" "$work/Vellumo.exe" "$work/Vorlink64.dll" "$work/vellumo-cli.exe" >/dev/null || fail "sign failed"
for f in Vellumo.exe Vorlink64.dll vellumo-cli.exe; do
  verify "$work/$f" || { fail "$f does not verify after signing"; cat "$work/verify.log"; }
done
# Signing again replaces the signature instead of stacking a second one.
"$sign" "$work/Vellumo.exe" >/dev/null && verify "$work/Vellumo.exe" || fail "a second signing does not verify"

# One changed byte inside the signed program.
cp "$work/Vellumo.exe" "$work/changed.exe"
size=$(wc -c <"$work/changed.exe")
printf '\001' | dd of="$work/changed.exe" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
verify "$work/changed.exe" && fail "a changed program still verifies"

# The setup, made from the signed files, is signed by makensis itself.
"$makensis" -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DPROGRAM="$work/Vellumo.exe" \
  -DCLI="$work/vellumo-cli.exe" -DSHELLEXT="$work/Vorlink64.dll" -DTEMPLATE="$template" -DICON="$icon" \
  -DOUTFILE="$work/setup.exe" -DSIGN="$sign" "$nsi" >"$work/nsis.log" 2>&1 ||
  { fail "makensis failed"; cat "$work/nsis.log"; }
verify "$work/setup.exe" || { fail "the setup does not verify"; cat "$work/verify.log"; }
exit $status
