#!/bin/sh
# scripts/runs-32-bit gives both answers, told by stand-ins for the program it
# writes, and agrees with Wine's own 32-bit loader where that is installed.
#   runs_32_bit_check.sh RUNS_32_BIT
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
# a stand-in (printf's format) | exit status, and so the lines said
while IFS='|' read -r program status; do
  printf "$program" >"$work/probe" && chmod +x "$work/probe"
  out=$(SNDSCOUT_32_BIT_PROBE="$work/probe" "$1")
  got=$?
  if [ $got -ne "$status" ] || [ "$(printf '%s' "$out" | grep -c .)" -ne "$status" ]; then
    echo "for $program: status $got, expected $status; said: $out" >&2
    failed=1
  fi
done <<'CASES'
#!/bin/sh\nexit 42\n|0
\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\267\0|1
CASES
# The program written, against the loader: both run, or neither.
if [ -x /usr/lib/wine/wine ]; then
  /usr/lib/wine/wine --version >/dev/null 2>&1
  loader=$?
  "$1" >/dev/null
  [ $((loader == 0)) -eq $(($? == 0)) ] || { echo "the loader: $loader; the check disagrees" >&2; failed=1; }
fi
exit $failed
