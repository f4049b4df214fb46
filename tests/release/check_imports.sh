#!/bin/sh
# Reads `objdump -p` of a Windows program on standard input and fails, naming
# them, when its import table lists a DLL that Windows does not ship: without
# it the program would stop with an error dialog at its first start.
#   x86_64-w64-mingw32-objdump -p PROGRAM.exe | sh check_imports.sh
set -u
# The DLLs the program calls directly, all part of Windows, in lower case: the
# C runtime, the waveform-audio and codec services, COM for Core Audio, kernel
# streaming, the shell's splitting of the wide command line, and for the
# hardware behind the endpoints SetupAPI, the configuration manager, the
# registry and service manager, and version resources.
allowed=" kernel32.dll msvcrt.dll winmm.dll msacm32.dll ole32.dll oleaut32.dll ksuser.dll "
allowed="$allowed shell32.dll setupapi.dll cfgmgr32.dll advapi32.dll version.dll "

names=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r' | tr '[:upper:]' '[:lower:]')
if [ -z "$names" ]; then
  # objdump failed, or the program imports nothing, which no real build does.
  echo "no import table in the objdump output" >&2
  exit 1
fi
foreign=""
for name in $names; do
  case $allowed in
    *" $name "*) ;;
    *) foreign="$foreign $name" ;;
  esac
done
if [ -n "$foreign" ]; then
  echo "imports DLLs that Windows does not ship:$foreign" >&2
  exit 1
fi
echo "imports only DLLs of Windows:" $names
