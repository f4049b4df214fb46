#!/bin/sh
# Runs a Windows program under Wine in the private home and prefix kept in the
# folder given first; wine-prefix.sh makes them. wine.sh picks the loader.
#   wine-run.sh WINE_DIR PROGRAM.exe [ARGUMENT...]
here=$(dirname "$0")
dir=$(cd "$1" && pwd) || exit 1
shift
HOME="$dir/home"
WINEPREFIX="$dir/prefix"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
# The locale the prefix was made in: Wine gives ALSA the device names in its
# encoding, and takes the ANSI code page (1252) from it. SNDSCOUT_WINE_LOCALE
# may name another UTF-8 locale, whose language gives another code page:
# ja_JP.UTF-8 gives the double-byte 932, with no locale of the system's needed.
LC_ALL=${SNDSCOUT_WINE_LOCALE:-C.UTF-8}
export HOME WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LC_ALL
exec sh "$here/wine.sh" "$@"
