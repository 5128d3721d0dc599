#!/usr/bin/env bash
# Drives the window probe on a private X server with xdotool and checks what
# it logged: presses, moves and releases with client coordinates (negative
# ones while the child holds the capture), a double click delivered as
# down, up, double click, up, and a screenshot that matches the painted
# buffers. Usage: xdotool_test.sh <window_probe>. Exits 77 (skipped) when
# Xvfb or xdotool is missing.
set -u
probe=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "Xvfb or xdotool missing: skipped"; exit 77; }

work=$(mktemp -d)
xvfb_pid=
probe_pid=
cleanup() {
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display number nobody uses (no lock file, no socket).
for n in $(seq 90 140); do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
  sleep 0.1
done

"$probe" >"$work/log" 2>&1 &
probe_pid=$!
for _ in $(seq 100); do
  grep -q READY "$work/log" && break
  kill -0 "$probe_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q READY "$work/log" || { echo "the probe never got ready"; cat "$work/log"; exit 1; }

step() { xdotool "$@"; sleep 0.15; }
# The child covers screen (70, 80) .. (170, 160); the top-level (50, 50) .. (350, 250).
step mousemove 100 100
step mousedown 1
step mousemove 120 110
step mousemove 10 10
step mouseup 1
step mousemove 200 200
step click --repeat 2 --delay 100 1
# Moving and sizing the X window from outside moves and sizes the window.
top=$(awk '/^READY/ {print $2}' "$work/log")
step windowmove "$top" 60 70
step windowsize "$top" 320 220
step key Escape
for _ in $(seq 50); do
  kill -0 "$probe_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$probe_pid"; status=$?
probe_pid=

fail=0
expected="child WM_MOUSEMOVE 30 20 0
child WM_LBUTTONDOWN 30 20 1
child WM_MOUSEMOVE 50 30 1
child WM_MOUSEMOVE -60 -70 1
child WM_LBUTTONUP -60 -70 0
top WM_MOUSEMOVE 150 150 0
top WM_LBUTTONDOWN 150 150 1
top WM_LBUTTONUP 150 150 0
top WM_LBUTTONDBLCLK 150 150 1
top WM_LBUTTONUP 150 150 0"
actual=$(grep -E 'WM_(MOUSEMOVE|LBUTTON)' "$work/log")
if [ "$actual" != "$expected" ]; then
  echo "mouse messages differ:"; diff <(echo "$expected") <(echo "$actual"); fail=1
fi
# The cursor is asked for before uncaptured mouse messages, not while captured.
grep -B1 'child WM_LBUTTONDOWN' "$work/log" | head -1 | grep -q 'WM_SETCURSOR' ||
  { echo "no WM_SETCURSOR before the press"; fail=1; }
grep -B1 'child WM_MOUSEMOVE -60 -70' "$work/log" | head -1 | grep -q 'WM_SETCURSOR' &&
  { echo "WM_SETCURSOR while captured"; fail=1; }
after=$(sed -n '/^READY/,$p' "$work/log")
echo "$after" | grep -q '^top WM_MOVE 60 70' || { echo "no WM_MOVE for the X move"; fail=1; }
echo "$after" | grep -A20 '^top WM_SIZE 320 220' | grep -q '^top WM_PAINT' ||
  { echo "no WM_SIZE and repaint for the X resize"; fail=1; }
grep -q 'child WM_CAPTURECHANGED' "$work/log" || { echo "no WM_CAPTURECHANGED on release"; fail=1; }
grep -q 'child WM_MOUSEACTIVATE' "$work/log" || { echo "no WM_MOUSEACTIVATE for the child"; fail=1; }
shot=$(grep '^SHOT' "$work/log")
[ "$shot" = "SHOT 60000 0" ] || { echo "the X window does not show the buffers: $shot"; fail=1; }
[ "$status" = 0 ] && grep -q 'top WM_NCDESTROY' "$work/log" || { echo "the probe did not end cleanly ($status)"; fail=1; }
if [ "$fail" != 0 ]; then
  echo "---- probe log"; cat "$work/log"
  exit 1
fi
echo "ok"
