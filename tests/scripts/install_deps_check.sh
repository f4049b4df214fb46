#!/bin/sh
# scripts/install-deps adds i386 and wine32:i386 only where 32-bit programs run,
# and leaves an installed wine32:i386 alone where they do not. dpkg and apt-get
# are stand-ins that log what they are asked; all else counts as installed.
#   install_deps_check.sh INSTALL_DEPS
work=$(mktemp -d) && cd "$work" && mkdir bin || exit 1
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\n[ "$3" != wine32:i386 ] || [ -n "$WINE32" ] && echo "install ok installed"\nexit 0\n' >bin/dpkg-query
printf '#!/bin/sh\necho "$0 $*" >>"$LOG"\n' | tee bin/dpkg >bin/apt-get
printf '#!/bin/sh\nexec "$@"\n' >bin/sudo
chmod +x bin/*
failed=0
# wine32:i386 installed | the probe's status (42: it ran) | i386 asked for | said
while IFS='|' read -r wine32 probe asked said; do
  printf '#!/bin/sh\nexit %s\n' "$probe" >probe && chmod +x probe && : >log
  out=$(WINE32=$wine32 LOG="$work/log" SNDSCOUT_32_BIT_PROBE="$work/probe" PATH="$work/bin:$PATH" \
        sh "$1" windows32 2>&1 >/dev/null)
  case $?:$(grep -c i386 log):$out in
    0:$asked:$said) ;;
    *) echo "installed '$wine32', probe $probe: said $out; asked: $(cat log)" >&2; failed=1 ;;
  esac
done <<'CASES'
|42|2|install-deps: installing wine32:i386
|126|0|install-deps: no 32-bit Wine installed: this machine cannot run 32-bit *
yes|126|0|
CASES
exit $failed
