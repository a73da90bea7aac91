#!/usr/bin/env bash
# Creates the project's Wine prefix once: CJK font mapping for the skin fonts and a real, private
# documents folder (Wine links it to $HOME by default, which tests must never write into).
set -euo pipefail
WINE_ROOT="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
stamp="$WINEPREFIX/.veltrina-ready"
[ -f "$stamp" ] && exit 0
echo "wine-prefix: creating $WINEPREFIX"
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
for face in "微软雅黑" "Microsoft YaHei" "宋体" "SimSun" "Segoe UI" "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
done
users="$WINEPREFIX/drive_c/users"
for u in "$users"/*; do
  [ -d "$u" ] || continue
  for d in Documents Desktop Downloads Music Pictures Videos; do
    if [ -L "$u/$d" ]; then rm -f "$u/$d"; mkdir -p "$u/$d"; fi
  done
done
# Tests run inside a virtual desktop: without a window manager on Xvfb, Wine waits two seconds
# for every top-level window it hides, which would make window tests crawl.
if [ "${VELTRINA_VIRTUAL_DESKTOP:-}" = 1 ]; then
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1600x1000 /f >/dev/null 2>&1
fi
wineserver -w
touch "$stamp"
