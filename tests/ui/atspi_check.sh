#!/usr/bin/env bash
# Runs tests/ui/atspi_check.py on an X server of its own and a private
# session bus, so that the accessibility bus it starts is the test's alone.
#   atspi_check.sh STRBATCH_BINARY
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
fifo="$(mktemp -u "${TMPDIR:-/tmp}/strbatch-xvfb-XXXXXX")"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r -t 30 display <"$fifo"
export DISPLAY=":$display"
# The Debian interpreter: the AT-SPI bindings are its packages.
dbus-run-session -- /usr/bin/python3 "$here/atspi_check.py" "$program"
