#!/bin/sh
# vrreg: commands, output, exit statuses and error messages.
set -u
vrreg="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export TS_ROOT="$dir"
unset VRCORE_REGISTRY windir
fails=0
check() { # description, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"; fails=$((fails + 1))
  fi
}
status() { "$@" >/dev/null 2>&1; echo $?; }

pgr='Software\Halvane\Tessaril\pgr'
check "set string" 0 "$(status "$vrreg" set "$pgr" ServerAddress 10.0.0.7)"
check "set number" 0 "$(status "$vrreg" set --dword Software/Halvane/Tessaril/pgr CallMaxRetry 0x0a)"
check "set expandable" 0 "$(status "$vrreg" set --expand "HKLM\\$pgr" LocalFileDirectory '%TS_ROOT%/pgr')"
check "get string" 10.0.0.7 "$("$vrreg" get "$pgr" serveraddress)"
check "get number" 10 "$("$vrreg" get software/halvane/tessaril/PGR CallMaxRetry)"
check "get expanded" "$dir/pgr" "$("$vrreg" get --expanded "$pgr" LocalFileDirectory)"
check "list keys" 'HKEY_LOCAL_MACHINE\Software\Halvane\Tessaril\pgr' "$("$vrreg" list)"
check "list values" '"ServerAddress"="10.0.0.7"
"CallMaxRetry"=dword:0000000a
"LocalFileDirectory"=str(2):"%TS_ROOT%/pgr"' "$("$vrreg" list "$pgr")"
check "set default value" 0 "$(status "$vrreg" set "$pgr" '' 'd "q" \x')"
check "get default value" 'd "q" \x' "$("$vrreg" get "$pgr" '')"

check "missing value" 1 "$(status "$vrreg" get "$pgr" Nope)"
check "delete value" 0 "$(status "$vrreg" delete "$pgr" ServerAddress)"
check "delete again" 1 "$(status "$vrreg" delete "$pgr" ServerAddress)"
check "delete key" 0 "$(status "$vrreg" delete Software/Halvane)"
check "empty after" "" "$("$vrreg" list)"

check "--file" 0 "$(status "$vrreg" --file "$dir/other.reg" set A b c)"
check "--file read" c "$("$vrreg" --file="$dir/other.reg" get A b)"
check "no file" 1 "$(status "$vrreg" --file "$dir/none.reg" get A b)"

check "help text" yes "$("$vrreg" --help | grep -q '^usage: vrreg' && echo yes)"
check "no command" 2 "$(status "$vrreg")"
check "bad option" 2 "$(status "$vrreg" --frob list)"
check "bad number" 2 "$(status "$vrreg" set --dword A n 4294967296)"
check "both types" 2 "$(status "$vrreg" set --dword --expand A n 1)"
check "bad key" 2 "$(status "$vrreg" set 'A]B' n v)"
check "message" "vrreg: not a 32-bit number: 'x'" "$("$vrreg" set --dword A n x 2>&1 | head -1)"

# A file that is not writable: a clear error, status 3.
mkdir "$dir/ro"
printf '[A]\n"b"="c"\n' >"$dir/ro/r.reg"
chmod 555 "$dir/ro"
if [ "$(id -u)" != 0 ]; then
  check "read-only dir" 3 "$(status "$vrreg" --file "$dir/ro/r.reg" set A b d)"
fi
chmod 755 "$dir/ro"
# Malformed lines are reported, and skipped.
printf '[A]\njunk\n"b"="c"\n' >"$dir/bad.reg"
check "malformed warning" "vrreg: $dir/bad.reg: 1 malformed line(s) skipped" \
  "$("$vrreg" --file "$dir/bad.reg" get A b 2>&1 >/dev/null)"
check "malformed skipped" c "$("$vrreg" --file "$dir/bad.reg" get A b 2>/dev/null)"

[ "$fails" -eq 0 ] && echo "vrreg: all checks passed"
exit "$fails"
