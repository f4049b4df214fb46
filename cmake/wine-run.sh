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
# Wine reads what ALSA names in that locale's encoding, so the C library must
# know the locale; where the system lacks it, it is built here once, from
# Debian's locale sources (package locales).
case $LC_ALL in
  C.UTF-8) ;;
  *)
    if ! locale -a 2>/dev/null | grep -qix "$(printf '%s' "$LC_ALL" | sed 's/UTF-8$/utf8/')"; then
      LOCPATH="$dir/locale"
      export LOCPATH
      if [ ! -d "$LOCPATH/$LC_ALL" ]; then
        mkdir -p "$LOCPATH"
        localedef -i "${LC_ALL%%.*}" -f UTF-8 "$LOCPATH/$LC_ALL" >/dev/null 2>&1 || {
          echo "wine-run.sh: cannot build the locale $LC_ALL (Debian package locales)" >&2
          exit 1
        }
      fi
    fi ;;
esac
exec sh "$here/wine.sh" "$@"
