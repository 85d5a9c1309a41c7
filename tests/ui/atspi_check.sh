#!/usr/bin/env bash
# Runs tests/ui/atspi_check.py on an X server of its own and a private
# session bus, so that the accessibility bus it starts is the test's alone.
# The server's output goes to the test's log, marked "Xvfb:".
#   atspi_check.sh STRBATCH_BINARY
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
fifo="$(mktemp -u "${TMPDIR:-/tmp}/strbatch-xvfb-XXXXXX")"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2> >(sed 's/^/Xvfb: /' >&2) &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$fifo"' EXIT
if ! read -r -t 30 display <"$fifo"; then
  echo "atspi_check: Xvfb gave no display number within 30 s" >&2
  exit 1
fi
export DISPLAY=":$display"
# The server names its display before every client can connect to it (one
# run found "could not connect to display"): wait, with a bound, until one
# can.
for ((try = 0; ; try++)); do
  xdpyinfo >/dev/null 2>&1 && break
  if ((try == 100)) || ! kill -0 "$xvfb" 2>/dev/null; then
    echo "atspi_check: no client could connect to $DISPLAY within 10 s" >&2
    xdpyinfo >&2 || true
    exit 1
  fi
  sleep 0.1
done
# The Debian interpreter: the AT-SPI bindings are its packages.
dbus-run-session -- /usr/bin/python3 "$here/atspi_check.py" "$program"
