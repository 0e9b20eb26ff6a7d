#!/usr/bin/env bash
# Runs a command inside the wine setup that the Windows test tree needs:
#   - a prefix inside the tree (created once with wineboot -i),
#   - the Windows fonts the window draws with (Tahoma, MS Sans Serif,
#     Microsoft Sans Serif, Arial, Courier New),
#   - COM5 and COM6 mapped to links in the tree ($ZARN_WINE_COM5_LINK,
#     $ZARN_WINE_COM6_LINK), which each test points at its own
#     pseudo-terminal (COM6 is the far end when both of a pair's sides run
#     under wine); COM1..COM4 are never used, as wine maps COM1 to /dev/ttyS0
#     (often the machine's console),
#   - one persistent wineserver for the whole run, with its services, started
#     before any test program
#     (a server started by a program would take that program's pseudo-terminal
#     as its controlling terminal), and stopped at the end,
#   - a virtual X display (xvfb-run) for the whole run, for the tests that
#     show a window: wine's desktop takes the display its first program had,
#     so the display must be there before the server's services start.
# Usage: scripts/wine-session.sh TREE COMMAND [ARGS...]
set -uo pipefail

# Big enough for the window at its place (617, 182), also at 200 %.
readonly kScreen=2560x1600x24
if [[ -z ${ZARN_WINE_SESSION_DISPLAY:-} ]]; then
  export ZARN_WINE_SESSION_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 $kScreen" bash "$0" "$@"
fi

tree=$(realpath "$1")
shift

export WINEPREFIX=$tree/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export ZARN_WINE_COM5_LINK=$tree/wine-ports/com5
export ZARN_WINE_COM6_LINK=$tree/wine-ports/com6
mkdir -p "$tree/wine-ports"

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "wine-session: creating the prefix $WINEPREFIX"
  wineboot -i >"$tree/wineboot.log" 2>&1 || { cat "$tree/wineboot.log"; exit 1; }
fi
# The faces a Windows desktop has and the window draws with: wine's own
# Tahoma and MS Sans Serif (Debian's fonts-wine, which wine does not look for
# by itself) in the prefix's font folder, and Arial, Courier New and
# Microsoft Sans Serif standing for the Liberation faces with their metrics.
# The package's own file list says where its faces are.
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [[ ! -f $fonts/tahoma.ttf ]]; then
  wine_fonts=$(dpkg-query -L fonts-wine 2>/dev/null | sed -n 's|/tahoma\.ttf$||p' | head -n 1)
  if [[ -z $wine_fonts ]]; then
    echo "wine-session: no wine fonts found (Debian: fonts-wine)"
    exit 1
  fi
  mkdir -p "$fonts"
  cp "$wine_fonts"/*.ttf "$wine_fonts"/*.fon "$fonts/" || {
    echo "wine-session: cannot copy the wine fonts from $wine_fonts"
    exit 1
  }
fi
for pair in "Arial=Liberation Sans" "Courier New=Liberation Mono" "Microsoft Sans Serif=Liberation Sans"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || {
    echo "wine-session: cannot set the font replacement ${pair%%=*}"
    exit 1
  }
done
# Wine reads its port map only when the server starts.
for port in COM5 COM6; do
  link_var=ZARN_WINE_${port}_LINK
  wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "${!link_var}" /f >/dev/null 2>&1 || {
    echo "wine-session: cannot map $port"
    exit 1
  }
done
wineserver -k 2>/dev/null
wineserver -w
wineserver -f -p >"$tree/wineserver.log" 2>&1 &
server=$!
stop_server() {
  wineserver -k 2>/dev/null
  wait "$server" 2>/dev/null
}
trap stop_server EXIT
# A stopped run still stops its server.
trap 'exit 143' TERM INT
# The first program brings up wine's own services, which live as long as the
# server; started here, they hold /dev/null instead of a test's output pipe
# (ctest would wait for that pipe to close).
wine cmd /c exit </dev/null >/dev/null 2>&1

"$@"
