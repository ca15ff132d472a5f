#!/bin/sh
# import_check_test.sh CHECK PROBE PROBE_DLL SHIPPED...
# The shipped binaries pass the import check; a probe that imports a DLL no
# Windows has fails it, and the failure names that DLL.
check=$1 probe=$2 probe_dll=$3
shift 3
status=0
if ! "$check" "$@"; then
  echo "FAIL: a shipped binary imports a DLL that Windows does not provide (above)"
  status=1
fi
if out=$("$check" "$probe" 2>&1); then
  echo "FAIL: the import check passed $probe, which imports $probe_dll"
  status=1
elif ! printf '%s\n' "$out" | grep -q "$probe_dll"; then
  echo "FAIL: the import check refused $probe without naming $probe_dll: $out"
  status=1
fi
exit $status
