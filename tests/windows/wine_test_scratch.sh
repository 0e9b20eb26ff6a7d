# What the wine tests that run helper processes share: a scratch folder and
# the processes started in `children`, both gone when the script ends, the
# failure exit, and a path as a Windows user types it. Sourced.

work=$(mktemp -d)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

# The Windows name of a Linux path (Z:\...).
windows_path() { winepath -w "$1" 2>/dev/null; }

# The Windows C runtime ends text lines with CR LF: writes each
# $work/NAME.crlf as $work/NAME with plain LF.
strip_crlf() {
  local name
  for name in "$@"; do tr -d '\r' <"$work/$name.crlf" >"$work/$name"; done
}
