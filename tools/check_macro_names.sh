#!/usr/bin/env bash
# Fails when our code uses a name that the Windows headers turn into their A/W variant by a macro
# (MessageBox, SendMessage, CreateWindow, DrawText, LoadImage, GetObject, CreateFont, ...).
# A function or member of ours with such a name is silently renamed (MessageBox becomes
# MessageBoxW), and an unqualified call inside it then calls itself. Calls into the API are
# written with the explicit W name instead, so no such macro name appears in the code at all.
# Usage: check_macro_names.sh [source folder]   (comments and strings are not checked)
set -euo pipefail
top="$(cd "${1:-$(dirname "$0")/..}" && pwd)"
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || cxx=x86_64-w64-mingw32-g++

# Every macro of the headers we use whose body is its own name with A or W appended.
macros=$(printf '%s\n' '#include <windows.h>' '#include <shellapi.h>' '#include <shlobj.h>' \
    '#include <commdlg.h>' '#include <wininet.h>' '#include <winhttp.h>' '#include <wincred.h>' |
  "$cxx" -DUNICODE -D_UNICODE -dM -E -x c++ - |
  sed -nE 's/^#define ([A-Za-z_][A-Za-z0-9_]*) (__MINGW_NAME_AW\(\1\)|\1W|\1A)$/\1/p' | sort -u)
[ "$(printf '%s\n' "$macros" | wc -l)" -gt 1000 ] || { echo "check_macro_names: could not read the Windows headers' macros" >&2; exit 2; }

cd "$top"
list=$(mktemp)
trap 'rm -f "$list"' EXIT
printf '%s\n' "$macros" > "$list"
# Each identifier of each file (string literals, // and single-line /* */ comments dropped) as
# file:line:name.
hits=$( (git ls-files '*.h' '*.cpp' '*.hpp' '*.inc' 2>/dev/null || find . -name '*.h' -o -name '*.cpp') |
  while IFS= read -r file; do
    sed -E 's@"([^"\\]|\\.)*"@""@g; s@//.*$@@; s@/\*.*\*/@@g' "$file" | grep -noE '\b[A-Za-z_][A-Za-z0-9_]*\b' | sed "s|^|$file:|"
  done | grep -Fwf "$list" || true)
if [ -n "$hits" ]; then
  while IFS=: read -r file line name; do
    printf '%s:%s: %s is a Windows macro; name ours otherwise, call the API as ::%sW\n' "$file" "$line" "$name" "$name"
  done <<< "$hits"
  exit 1
fi
echo "check_macro_names: no name of ours is a Windows A/W macro"
