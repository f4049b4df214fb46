#!/bin/sh
# Makes a private Wine home and prefix in the folder given, once, with virtual
# ALSA null devices: every name given after -i is an extra input device, every
# name after -o an extra output device, besides the default one of each.
#   wine-prefix.sh WINE_DIR [-i NAME]... [-o NAME]...
set -eu
mkdir -p "$1"
dir=$(cd "$1" && pwd)
shift
inputs=""
outputs=""
while [ $# -gt 0 ]; do
  case $1 in
    -i) inputs="$inputs $2"; shift 2 ;;
    -o) outputs="$outputs $2"; shift 2 ;;
    *) echo "wine-prefix.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
stamp="$dir/ready"
# A prefix made by another Wine (say, before 32-bit support was installed) no
# longer starts, so the stamp names the Wine too.
wine_build="$(wine --version 2>/dev/null); $(ls -d /usr/lib/*/wine/i386-windows 2>/dev/null)"
wanted="inputs:$inputs outputs:$outputs wine:$wine_build"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  exit 0
fi
rm -rf "$dir/home" "$dir/prefix"
mkdir -p "$dir/home"
HOME="$dir/home"
WINEPREFIX="$dir/prefix"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export HOME WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

{
  echo 'pcm.!default { type null }'
  for name in $inputs $outputs; do
    echo "pcm.$name { type null }"
  done
} >"$HOME/.asoundrc"

# wine prints its own progress on standard error; keep it unless something fails.
log="$dir/setup.log"
if ! wine wineboot -i >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
key='HKCU\Software\Wine\Drivers\winealsa.drv'
multi() { printf '%s' "$*" | sed 's/ /\\0/g'; }
if [ -n "$inputs" ]; then
  wine reg add "$key" /v ALSAInputDevices /t REG_MULTI_SZ /d "$(multi $inputs)" /f >>"$log" 2>&1
fi
if [ -n "$outputs" ]; then
  wine reg add "$key" /v ALSAOutputDevices /t REG_MULTI_SZ /d "$(multi $outputs)" /f >>"$log" 2>&1
fi
wineserver -w
echo "$wanted" >"$stamp"
