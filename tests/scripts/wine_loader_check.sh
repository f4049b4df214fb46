#!/bin/sh
# cmake/wine.sh starts the loader of the program's width, never the wine command
# on PATH while Debian's loaders are there: that one fails here as it does where
# no 32-bit program runs. Stand-in loaders say who they are.
#   wine_loader_check.sh WINE_SH
work=$(mktemp -d) && cd "$work" && mkdir bin || exit 1
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\necho "exec: /usr/lib/wine/wine: Exec format error" >&2\nexit 126\n' >bin/wine
chmod +x bin/wine
# PE headers at byte 64: machine 0x8664, then 0x014c
{ printf 'MZ'; head -c 58 /dev/zero; printf '\100\0\0\0PE\0\0\144\206'; } >pe64.exe
{ printf 'MZ'; head -c 58 /dev/zero; printf '\100\0\0\0PE\0\0\114\1'; } >pe32.exe
failed=0
while IFS='|' read -r loaders program status expected; do
  rm -rf loaders
  [ -z "$loaders" ] || mkdir loaders
  for loader in $loaders; do
    printf '#!/bin/sh\necho "%s, WINELOADER=${WINELOADER##*/}"\n' "$loader" >"loaders/$loader"
    chmod +x "loaders/$loader"
  done
  out=$(PATH="$work/bin:$PATH" SNDSCOUT_WINE_LOADERS="$work/loaders" sh "$1" "$program" 2>&1)
  got=$?
  case $got:$out in
    "$status:"*"$expected"*) ;;
    *) echo "loaders '$loaders', $program: expected $status, $expected; got $got: $out" >&2; failed=1 ;;
  esac
done <<'CASES'
wine wine64|pe64.exe|0|wine64, WINELOADER=wine64
wine wine64|pe32.exe|0|wine, WINELOADER=wine
wine wine64|wineboot|0|wine64, WINELOADER=wine64
wine64|pe32.exe|127|loaders/wine is missing (Debian package wine32:i386)
wine|pe64.exe|127|loaders/wine64 is missing (Debian package wine64)
|pe64.exe|126|Exec format error
CASES
exit $failed
