#!/usr/bin/env bash
# Makes the README's pictures of the three pages: the shipped travik.exe under Wine on a virtual
# display, in a private network namespace (tests/netns/in_netns.sh) where the platform's host
# names point at loopback servers, so that the pages show what a person sees and nothing leaves
# the machine. One international server refuses, so that the log has a red line and the verdict
# an impediment. Run it again whenever the window changes.
#
#   tools/screenshots.sh [--dpi N] [FOLDER]   (default docs/screenshots; as root, on Debian 12)
#
# Writes FOLDER/1-welcome.png, 2-check-log.png and 3-verdict.png. --dpi N shows the pages with
# the system's DPI at N, as on a monitor at that scale (144: 150 %); the README's are at 96.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)

if [ "${1:-}" = --inside ]; then
  # In the namespace, on the display: the driver stops on each page until its picture is taken.
  travik=$2 driver=$3 out=$4
  shots="$NETNS_WORK/shots"
  mkdir -p "$shots"
  names=(1-welcome 2-check-log 3-verdict)
  LC_ALL=pt_BR.UTF-8 wine "$driver" pages "$travik" 'D:\' "Z:${shots//\//\\}" &
  driver_pid=$!
  for page in 0 1 2; do
    for _ in $(seq 600); do  # a minute at the most
      [ ! -f "$shots/page-$page.ready" ] || break
      kill -0 "$driver_pid" 2>/dev/null || break
      sleep 0.1
    done
    [ -f "$shots/page-$page.ready" ] || { echo "screenshots.sh: page $page never showed" >&2; exit 1; }
    read -r left top width height <"$shots/page-$page.ready"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$out/${names[$page]}.png"
    touch "$shots/page-$page.taken"
  done
  wait "$driver_pid"
  exit
fi

[ "$(id -u)" = 0 ] || { echo "screenshots.sh: run as root (it makes a network namespace)" >&2; exit 1; }
dpi=96
if [ "${1:-}" = --dpi ]; then
  [[ "${2:-}" =~ ^[0-9]+$ ]] && [ "$2" -ge 96 ] && [ "$2" -le 288 ] ||
    { echo "screenshots.sh: --dpi takes a number from 96 to 288" >&2; exit 1; }
  dpi=$2
  shift 2
fi
out=$(mkdir -p "${1:-$repo/docs/screenshots}" && cd "${1:-$repo/docs/screenshots}" && pwd)
# The virtual display grows with the scale, so that the window always fits on it.
screen="$((800 * dpi / 96))x$((480 * dpi / 96))"
bash "$here/install-deps.sh"
if ! dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed"; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi
cd "$repo"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target travik wizard_driver
travik="$repo/build/mingw/travik.exe"
driver="$repo/build/mingw/tests/netns/wizard_driver.exe"

WINEPREFIX=$(mktemp -d /tmp/travik-shots.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
wineboot -i >/dev/null 2>&1
winecfg -v win10 >/dev/null 2>&1
# One virtual desktop: the window is drawn with Wine's own frame, as a person sees it.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d "$screen" /f \
  >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wineserver -w

# The platform's names, each on a loopback address of its own: servers that accept, an FTP server
# that turns the test login down, and one name on an address where nothing listens.
options=(--drive d:40g --deadline 200
  --host difusor1.korvena.com.br=127.0.0.11 --hold 127.0.0.11:81
  --host difusor2.korvena.com.br=127.0.0.12 --hold 127.0.0.12:81
  --host srv1.feed.korvena.com.br=127.0.0.13 --hold 127.0.0.13:7500
  --host srv2.feed.korvena.com.br=127.0.0.14
  --host feed.korvena.com.br=127.0.0.15 --hold 127.0.0.15:80
  --host www.feed.korvena.com.br=127.0.0.16 --hold 127.0.0.16:80
  --host ftp.korvena.com.br=127.0.0.17 --ftp 127.0.0.17:21)
xvfb-run -a -s "-screen 0 ${screen}x24" bash "$repo/tests/netns/in_netns.sh" "${options[@]}" -- \
  bash "$0" --inside "$travik" "$driver" "$out"
echo "screenshots.sh: wrote $out/1-welcome.png, 2-check-log.png, 3-verdict.png"
