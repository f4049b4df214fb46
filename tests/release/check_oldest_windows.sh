#!/bin/sh
# Reads `objdump -p` of a Windows program on standard input and fails, naming
# them, when it imports a function not on the list given, which holds each
# function the program may import (DLL and name), every one there since
# Windows 7, by Microsoft's documentation; or when its header asks for a later
# Windows. A new import fails here until its oldest Windows is looked up.
#   x86_64-w64-mingw32-objdump -p PROGRAM.exe | sh check_oldest_windows.sh FUNCTIONS
set -u
list=$1
dump=$(tr -d '\r')
# Windows 7 is 6.1: a program asking for more does not start there.
version=$(printf '%s\n' "$dump" | awk '/^MajorSubsystemVersion/{major=$2} /^MinorSubsystemVersion/{minor=$2} END{print major "." minor}')
case $version in
  [1-5].* | 6.0 | 6.1) ;;
  *) echo "asks for Windows $version, later than 7 (6.1)" >&2; exit 1 ;;
esac
imports=$(printf '%s\n' "$dump" | awk '
  /^The Import Tables/ { on = 1; next }
  on && /^[^ \t]/ { on = 0 }
  on && /DLL Name:/ { dll = tolower($3); next }
  on && dll && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $NF }' | sort -u)
if [ -z "$imports" ]; then
  echo "no imported functions in the objdump output" >&2
  exit 1
fi
later=$(printf '%s\n' "$imports" | grep -vxFf "$list")
if [ -n "$later" ]; then
  echo "imports functions not known to be in Windows 7:" $later >&2
  exit 1
fi
echo "imports $(printf "%s\n" "$imports" | wc -l | tr -d " ") functions, each known to be in Windows 7"
