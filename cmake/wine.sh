#!/bin/sh
# Starts Wine like the wine command, but with the loader of the program's width:
# the 64-bit one for 64-bit programs and for Wine's own (wineboot, reg), the
# 32-bit one only for 32-bit programs. Debian's wine command starts the 32-bit
# loader first for every program, so where 32-bit programs cannot run it runs
# none at all once wine32:i386 is installed.
#   wine.sh PROGRAM [ARGUMENT...]    wine.sh --version
# The loaders are Debian's, in /usr/lib/wine (or SNDSCOUT_WINE_LOADERS); where
# there is no such folder, Wine is not Debian's and its wine command is used.
set -u
loaders=${SNDSCOUT_WINE_LOADERS:-/usr/lib/wine}

# A 32-bit x86 Windows program: its PE header, found at the offset stored at
# byte 60, is "PE\0\0" followed by machine 0x014c.
is_32_bit() {
  file=$1
  [ -f "$file" ] || return 1
  set -- $(od -An -tu1 -j60 -N4 "$file" 2>/dev/null)
  [ $# -eq 4 ] || return 1
  set -- $(od -An -tu1 -j$(($1 + $2 * 256 + $3 * 65536 + $4 * 16777216)) -N6 "$file" 2>/dev/null)
  [ "$*" = "80 69 0 0 76 1" ]
}

if is_32_bit "${1:-}"; then
  loader=$loaders/wine package=wine32:i386
else
  loader=$loaders/wine64 package=wine64
fi
if [ -x "$loader" ]; then
  # Wine starts the helper processes it needs with the loader named here.
  WINELOADER=$loader
  export WINELOADER
  exec "$loader" "$@"
fi
if [ -d "$loaders" ] || ! command -v wine >/dev/null 2>&1; then
  echo "wine.sh: Wine's loader $loader is missing (Debian package $package)" >&2
  exit 127
fi
exec wine "$@"
