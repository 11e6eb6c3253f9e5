#!/usr/bin/env bash
# Makes the README's screenshots: runs `quillmark --simulate` on a virtual X
# display (Xvfb) and captures each page of the window:
#   hardware-info.png fido2-certification.png u2f-certification.png
#   security-key-info.png details.png context-menu.png
# Usage: scripts/screenshots.sh [OUTPUT_DIR]   (default docs/screenshots)
#   QUILLMARK_BUILD_DIR  build folder to build quillmark in (default build)
#   QUILLMARK_JOBS       parallel build jobs (default: all cores)
# Exits non-zero when any step fails or takes too long.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
out=${1:-docs/screenshots}
build=${QUILLMARK_BUILD_DIR:-build}
jobs=${QUILLMARK_JOBS:-$(nproc)}

# The build's packages, then the display's tools, each only when missing.
bash scripts/setup.sh
tools=(xvfb xdotool imagemagick x11-utils)
missing=()
for p in "${tools[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
  fi
  echo "screenshots: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$jobs" --target quillmark >/dev/null
program=$top/$build/quillmark
[[ $build = /* ]] && program=$build/quillmark

mkdir -p "$out"
work=$(mktemp -d)
xvfb_pid=
app_pid=
# Stops what this script started and keeps the script's own exit status.
cleanup() {
  local status=$?
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    timeout 10 tail --pid="$app_pid" -f /dev/null || kill -9 "$app_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    timeout 10 tail --pid="$xvfb_pid" -f /dev/null || kill -9 "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

fail() {
  echo "screenshots: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x960x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start"
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display within 10 s"
DISPLAY=:$(head -n 1 "$work/display")
export DISPLAY

# Settings from temporary folders only: the user's own are not read, and the
# system-wide switch turns the fourth page on.
mkdir -p "$work/config-home" "$work/config-dirs/Microsoft" "$work/runtime"
chmod 700 "$work/runtime"
printf '[General]\nSecurityKeyInfo=1\n' >"$work/config-dirs/Microsoft/Quillmark.conf"
XDG_CONFIG_HOME=$work/config-home XDG_CONFIG_DIRS=$work/config-dirs XDG_RUNTIME_DIR=$work/runtime \
  QT_QPA_PLATFORM=xcb "$program" --simulate >"$work/quillmark.log" 2>&1 &
app_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmark$' 2>/dev/null |
  head -n 1) || true
[ -n "$window" ] || fail "no Quillmark window within 30 s"
kill -0 "$app_pid" 2>/dev/null || fail "quillmark ended early"

# No window manager: raise and focus the window ourselves, so that it draws
# as the active window.
timeout 10 xdotool windowraise "$window" windowfocus "$window" || fail "cannot focus the window"
sleep 1

# The pages are tabs in a row at the top left of the window. The mouse wheel
# over the tab row selects the next tab, so only the first tab's place is
# needed: a point inside it, in window coordinates.
tab_x=40
tab_y=25
# The rows of the window that hold the tab row: a page switch changes them,
# scrolling a list does not.
tab_rows=40

pages=(hardware-info fido2-certification u2f-certification security-key-info details)
previous=
for index in "${!pages[@]}"; do
  if [ "$index" -gt 0 ]; then
    timeout 10 xdotool mousemove --window "$window" "$tab_x" "$tab_y" click 5 ||
      fail "cannot switch pages"
    # Out of the way, so that no tab is drawn as hovered.
    timeout 10 xdotool mousemove --window "$window" 2 2 || true
    sleep 1
  fi
  shot=$work/${pages[$index]}.png
  timeout 20 import -window "$window" "$shot" 2>>"$work/import.log" ||
    fail "cannot capture page ${pages[$index]}"
  # A switch that did nothing would leave the tab row as it was.
  convert "$shot" -crop "x$tab_rows+0+0" +repage "$work/tabs-$index.png"
  if [ -n "$previous" ] &&
    [ "$(compare -metric AE "$previous" "$work/tabs-$index.png" null: 2>&1 || true)" = 0 ]; then
    fail "page ${pages[$index]} did not come up"
  fi
  previous=$work/tabs-$index.png
done

# The context menu over a row of the first page. The menu is a window of its
# own: capture the screen and cut out the main window's place.
timeout 10 xdotool mousemove --window "$window" "$tab_x" "$tab_y" click 1 ||
  fail "cannot go back to the first page"
timeout 10 xdotool mousemove --window "$window" 200 120 click 1 click 3 ||
  fail "cannot open the context menu"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
timeout 20 import -window root "$work/screen.png" 2>>"$work/import.log" ||
  fail "cannot capture the context menu"
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/context-menu.png"
timeout 10 xdotool key Escape || true

kill -0 "$app_pid" 2>/dev/null || fail "quillmark ended while being captured"
# Without time stamps, so that pictures of the same window are the same file.
for page in "${pages[@]}" context-menu; do
  convert "$work/$page.png" -strip "$out/$page.png"
done
echo "screenshots: ${#pages[@]} pages and the context menu written to $out"
