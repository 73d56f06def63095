#!/usr/bin/env bash
# Runs a test program on a private X server under the openbox window manager, which draws real frames.
# Exits 77 (skipped) when either is missing; scripts/setup.sh installs both.
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup.sh installs it)"; exit 77; }
done
dir=$(mktemp -d) || exit 1
trap 'kill $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
mkfifo "$dir/ready"
# Opened both ways so that neither side blocks on opening; a reply that never comes ends the wait after 30 s.
exec 3<>"$dir/ready"
# Xvfb names its display on the pipe once it accepts clients; openbox runs its start-up command once it
# manages the screen.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>"$dir/xvfb.log" &
xvfb=$!
read -r -t 30 -u 3 display || { echo "Xvfb did not start:"; cat "$dir/xvfb.log"; exit 1; }
DISPLAY=":$display" openbox --sm-disable --startup "sh -c 'echo managing >\"$dir/ready\"'" >"$dir/openbox.log" 2>&1 &
wm=$!
read -r -t 30 -u 3 _ || { echo "openbox did not start:"; cat "$dir/openbox.log"; exit 1; }
exec 3>&-
# libxkbcommon-x11 hands strndup atom names that are not NUL-terminated, which is sound but trips the
# sanitizer's strict string checks inside Qt's X connection; our own code is checked as everywhere else.
[ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
