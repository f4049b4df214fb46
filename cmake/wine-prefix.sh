#!/bin/sh
# Makes a private Wine home and prefix in the folder given, once, with virtual
# ALSA devices besides the default input and output (both ALSA null):
#   -i NAME / -o NAME      an input / output over ALSA's null plugin
#   -i16 NAME / -o16 NAME  one whose ALSA side takes only 16-bit integer samples
#                          (linear over null, S16_LE): Wine gives it a 16-bit
#                          mix format and refuses it float formats
# A name may be given to both sides; it may hold any character but a line
# break, a dot or a backslash followed by 0. Wine loses track of a device whose
# name holds a backslash: it lists it, but its audio client is "invalidated".
#   wine-prefix.sh WINE_DIR [-i NAME]... [-o NAME]... [-i16 NAME]... [-o16 NAME]...
set -eu
wine="$(dirname "$0")/wine.sh"
mkdir -p "$1"
dir=$(cd "$1" && pwd)
shift

# Wine hands ALSA the device names in the locale's encoding: UTF-8, as written
# into the configuration below. wine-run.sh runs programs in the same locale.
LC_ALL=C.UTF-8
export LC_ALL

nl='
'
inputs=""
outputs=""
plain=""
int16=""
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || { printf 'wine-prefix.sh: %s needs a name\n' "$1" >&2; exit 2; }
  case $2 in
    *"$nl"* | *.* | *\\0* | "")
      printf 'wine-prefix.sh: unusable device name: %s\n' "$2" >&2; exit 2 ;;
  esac
  case $1 in
    -i) inputs="$inputs$nl$2"; plain="$plain$nl$2" ;;
    -o) outputs="$outputs$nl$2"; plain="$plain$nl$2" ;;
    -i16) inputs="$inputs$nl$2"; int16="$int16$nl$2" ;;
    -o16) outputs="$outputs$nl$2"; int16="$int16$nl$2" ;;
    *) printf 'wine-prefix.sh: unknown argument %s\n' "$1" >&2; exit 2 ;;
  esac
  shift 2
done
# One name a line, in the order given.
inputs=$(printf '%s\n' "$inputs" | sed '/^$/d')
outputs=$(printf '%s\n' "$outputs" | sed '/^$/d')
plain=$(printf '%s\n' "$plain" | sed '/^$/d' | sort -u)
int16=$(printf '%s\n' "$int16" | sed '/^$/d' | sort -u)
both=$(printf '%s\n%s\n' "$plain" "$int16" | sed '/^$/d' | sort | uniq -d)
if [ -n "$both" ]; then
  printf 'wine-prefix.sh: a device cannot be plain and 16-bit both: %s\n' "$both" >&2
  exit 2
fi

# In ALSA's configuration a quoted name keeps every character; a quote and a
# backslash in it take a backslash before them.
quoted() { printf '"%s"' "$(printf '%s' "$1" | sed 's/[\\"]/\\&/g')"; }
asoundrc=$(
  echo 'pcm.!default { type null }'
  printf '%s\n' "$plain" | while IFS= read -r name; do
    [ -z "$name" ] || printf 'pcm.%s { type null }\n' "$(quoted "$name")"
  done
  printf '%s\n' "$int16" | while IFS= read -r name; do
    [ -z "$name" ] ||
      printf 'pcm.%s { type linear slave { pcm "null" format S16_LE } }\n' "$(quoted "$name")"
  done
)
# reg.exe splits a REG_MULTI_SZ at each \0 and keeps every other backslash.
multi() { printf '%s\n' "$1" | sed -n 'H;${x;s/^\n//;s/\n/\\0/g;p;}'; }

stamp="$dir/ready"
# A prefix made by another Wine (say, before 32-bit support was installed) or
# by another version of this script no longer fits, so the stamp names both.
wine_build="$(sh "$wine" --version 2>/dev/null); $(ls -d /usr/lib/*/wine/i386-windows 2>/dev/null)"
script=$(cksum <"$0")
wanted="script: $script
wine: $wine_build
inputs: $(multi "$inputs")
outputs: $(multi "$outputs")
$asoundrc"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  exit 0
fi
rm -rf "$dir/home" "$dir/prefix" "$stamp"
mkdir -p "$dir/home"
HOME="$dir/home"
WINEPREFIX="$dir/prefix"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export HOME WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

printf '%s\n' "$asoundrc" >"$HOME/.asoundrc"

# wine prints its own progress on standard error; keep it unless something fails.
log="$dir/setup.log"
if ! sh "$wine" wineboot -i >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
key='HKCU\Software\Wine\Drivers\winealsa.drv'
for side in Input Output; do
  if [ $side = Input ]; then names=$inputs; else names=$outputs; fi
  [ -n "$names" ] || continue
  if ! sh "$wine" reg add "$key" /v "ALSA${side}Devices" /t REG_MULTI_SZ /d "$(multi "$names")" /f \
    >>"$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
done
wineserver -w
printf '%s\n' "$wanted" >"$stamp"
