#!/usr/bin/env bash
# Builds the launcher (release build, build/app) and runs it in a demo installation medium, build/demo-medium.
# On a desktop it simply runs there. Without a display it runs in a private Xvfb, writes a
# screenshot of the screen to build/screenshot.png and ends both again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/deps.sh build
cmake --preset app >/dev/null
cmake --build --preset app --target Project1

# The medium: the files the buttons open, as small stand-ins, and the program beside them.
medium=$root/build/demo-medium
mkdir -p "$medium/Applications" "$medium/Drivers"
echo "Stand-in for the analyser software's installer package." > "$medium/Applications/KVT3086 Power Analyzer.msi"
echo "Stand-in for the 32-bit USB driver installer." > "$medium/Drivers/Velor_x86.exe"
echo "Stand-in for the 64-bit USB driver installer." > "$medium/Drivers/Velor_amd64.exe"
echo "Stand-in for the user manual." > "$medium/KVT3086_Manual.pdf"
cp build/app/Project1 "$medium/Project1"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  cd "$medium"
  exec ./Project1
fi

# No usable display: a virtual one, 1024 x 768, on a display number Xvfb picks itself.
shot=$root/build/screenshot.png
work=$(mktemp -d)
xvfb_pid="" launcher_pid=""
cleanup() {
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
exec {fd}>"$work/display"
Xvfb -displayfd "$fd" -noreset -nolisten tcp -screen 0 1024x768x24 2>"$work/xvfb.log" &
xvfb_pid=$!
exec {fd}>&-
for _ in $(seq 500); do [ -s "$work/display" ] && break; sleep 0.01; done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

# A coloured desktop, so that the window's translucent edge shows.
if command -v xsetroot >/dev/null; then
  xsetroot -solid '#3a7f2c'
else
  convert -size 1024x768 xc:"#3a7f2c" "$work/root.png"
  display -window root "$work/root.png" || true  # sets the background, then exits non-zero
fi

(cd "$medium" && exec ./Project1) &
launcher_pid=$!
# Painted once the window is viewable and the screen stops changing.
for _ in $(seq 500); do
  xwininfo -name Setup 2>/dev/null | grep -q IsViewable && break
  kill -0 "$launcher_pid" 2>/dev/null || { echo "the launcher ended early" >&2; exit 1; }
  sleep 0.01
done
prev=""
for _ in $(seq 50); do
  sleep 0.1
  now=$(xwd -root -silent | md5sum)
  [ "$now" = "$prev" ] && break
  prev=$now
done
xwd -root -silent | convert xwd:- "$shot"
echo "screenshot: $shot"

kill -TERM "$launcher_pid"
wait "$launcher_pid" && echo "the launcher ended with exit code 0" || echo "the launcher ended with exit code $?"
launcher_pid=""
