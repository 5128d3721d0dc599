#!/usr/bin/env bash
# sonalter-draw on an X display of its own (Xvfb), driven with xdotool: a drag,
# a click on empty space, a double click on a point and a drag of an inner point
# out of the window; then the logged events, the saved points, line array and
# state, and the snapshot are checked (draw_model.py holds the editing rules).
#   sonalter_draw_x11.sh SONALTER_DRAW SONALTER_CURVE WORK_DIR
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -uo pipefail
draw=$1
curve=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
python=$(command -v python3)
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "skipped: Xvfb or xdotool not installed"; exit 77; }

rm -rf "$work"
mkdir -p "$work"
fail() {
  echo "FAILED: $*"
  echo "(files kept in $work)"
  exit 1
}

# A display number nobody uses.
display=
for n in $(seq 91 160); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
done
[ -n "$display" ] || fail "no free display number"
# -noreset: without it the server resets whenever its last client leaves, and
# a viewer started in that moment cannot open the display.
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
viewer=
# The first window named like the pattern, waiting up to 20 s. A search is
# repeated rather than left waiting (--sync): a window that closes while
# xdotool reads it (an earlier viewer going away) ends that search with an X
# error.
find_window() {
  local id="" tries=0
  while [ -z "$id" ] && [ $tries -lt 100 ]; do
    id=$(xdotool search --name "$1" 2>/dev/null | head -n 1) || true
    [ -n "$id" ] || sleep 0.2
    tries=$((tries + 1))
  done
  echo "$id"
}

# Closes the viewer in window $wid with Escape (the pointer over it) and waits
# for it; sets status to its exit status and succeeds when that is 0. A synced
# move waits until the pointer moves, so the pointer is parked away from the
# target first (the server keeps its position from an earlier viewer).
close_viewer() {
  xdotool mousemove 1010 760
  xdotool mousemove --sync --window "$wid" 50 50
  sleep 0.3
  xdotool key Escape
  wait "$viewer"
  status=$?
  viewer=
  [ $status = 0 ]
}

cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -e /tmp/.X11-unix/X$display ] && break
  sleep 0.05
done
export DISPLAY=:$display
xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb :$display did not start (see $work/xvfb.log)"

# Scales hidden: the plot is the whole 400 x 300 control.
w=400
h=300
printf 'x,y\n0,0\n5512.5,10\n11025,-5\n16537.5,4\n22050,0\n' >"$work/start.csv"
cp "$work/start.csv" "$work/points.csv"
# The pointer away from where the window will be, so that it reports no moves of its own.
xdotool mousemove 1010 760
"$draw" --log-events --size ${w}x$h --no-xscale --no-yscale --points "$work/points.csv" --out "$work/line.txt" \
  --state "$work/state.bin" --snapshot "$work/snapshot.png" >"$work/events.txt" 2>"$work/viewer.txt" &
viewer=$!

wid=$(find_window '^sonalter-draw: curve$')
[ -n "$wid" ] || fail "the viewer's window did not appear ($(cat "$work/viewer.txt"))"
# Room on every side, so that a drag can leave the window; the pointer away from
# it, and what the window reported before the gestures left out of the check.
xdotool windowmove --sync "$wid" 200 200
xdotool mousemove --sync 5 5
sleep 0.5
skip=$(wc -l <"$work/events.txt")

gestures=$work/gestures.txt
: >"$gestures"
move() { xdotool mousemove --sync --window "$wid" -- "$1" "$2"; echo "move $1 $2" >>"$gestures"; sleep 0.05; }
down() { xdotool mousedown 1; echo "down $1 $2" >>"$gestures"; sleep 0.05; }
up() { xdotool mouseup 1; echo "up $1 $2" >>"$gestures"; sleep 0.05; }
double() { xdotool click --repeat 2 --delay 40 1; echo "double $1 $2" >>"$gestures"; sleep 0.3; }

# Point 1 (5512.5, 10) is at pixel (100, 75): drag it down and right.
move 100 75; down 100 75; move 110 80; move 121 92; up 121 92
# A click on empty space adds a point.
move 300 250; down 300 250; up 300 250
# A double click on point 1 reports it (and the viewer puts it back to 0 dB).
move 121 92; double 121 92
# The point (11025, -5) at (200, 187): dragged 11 pixels out of the window it is removed.
move 200 187; down 200 187; move 150 187; move -11 187; move 30 30; up 30 30
sleep 0.3

# S saves while the window stays; Escape saves again and quits.
xdotool key s
sleep 0.3
cmp -s "$work/start.csv" "$work/points.csv" && fail "S did not save the edited points"
[ -s "$work/line.txt" ] || fail "S did not save the line array"
xdotool key Escape
for _ in $(seq 100); do
  kill -0 "$viewer" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$viewer" 2>/dev/null && fail "Escape did not close the viewer"
wait "$viewer"
status=$?
viewer=
[ $status = 0 ] || fail "the viewer exited with $status: $(cat "$work/viewer.txt")"

tail -n +$((skip + 1)) "$work/events.txt" >"$work/gesture-events.txt"
"$python" "$here/draw_model.py" check "$gestures" "$work/gesture-events.txt" "$work/start.csv" "$work/points.csv" \
  "$work/line.txt" $w $h || fail "the editing differs from the model"

# The line array is the control's curve through the saved points.
"$curve" "$work/points.csv" | tail -n +2 | cut -d, -f3 >"$work/curve-line.txt" || fail "sonalter-curve"
cmp -s "$work/line.txt" "$work/curve-line.txt" || fail "the saved line array is not the curve of the saved points"
# The state stream starts with its version word, 0x0700.
[ "$(head -c 4 "$work/state.bin" | od -An -tx1 | tr -d ' \n')" = 00070000 ] || fail "the state file is no property stream"

# The snapshot is the picture the curve tool draws of the same points.
"$curve" --png "$work/curve.png" --size ${w}x$h --no-xscale --no-yscale "$work/points.csv" || fail "sonalter-curve --png"
"$python" "$here/draw_model.py" compare-png "$work/snapshot.png" "$work/curve.png" \
  || fail "the snapshot differs from sonalter-curve --png (both kept: $work/snapshot.png, $work/curve.png)"

# The saved state comes back: a second run without the options still has no
# scales; and the control follows the window when it is resized. (First the
# earlier viewer's window must be gone: under Wine it can outlive its process
# for a moment.)
for _ in $(seq 50); do
  [ -z "$(xdotool search --name '^sonalter-draw: curve$' 2>/dev/null | head -n 1)" ] && break
  sleep 0.2
done
"$draw" --size ${w}x$h --state "$work/state.bin" --points "$work/points.csv" --snapshot "$work/again.png" \
  >/dev/null 2>"$work/viewer2.txt" &
viewer=$!
wid=$(find_window '^sonalter-draw: curve$')
[ -n "$wid" ] || fail "the second viewer's window did not appear"
xdotool windowmove --sync "$wid" 200 200
xdotool windowsize --sync "$wid" 460 330
sleep 0.3
close_viewer || fail "the second run exited with $status: $(cat "$work/viewer2.txt")"
"$curve" --png "$work/curve-resized.png" --size 460x330 --no-xscale --no-yscale "$work/points.csv" \
  || fail "sonalter-curve --png"
"$python" "$here/draw_model.py" compare-png "$work/again.png" "$work/curve-resized.png" \
  || fail "the reloaded state or the resized window draws differently"

# --apply, where the transform tool lies beside the viewer: a flat envelope
# (gain 1 everywhere) run through it after the window closes.
if [ -x "$(dirname "$draw")/sonalter" ]; then
  "$draw" --preset envelope --out "$work/envelope.txt" --apply "$here/../../../share/samples/voice.wav" \
    "$work/applied.wav" >/dev/null 2>"$work/viewer3.txt" &
  viewer=$!
  wid=$(find_window '^sonalter-draw: envelope$')
  [ -n "$wid" ] || fail "the third viewer's window did not appear"
  xdotool windowmove --sync "$wid" 200 200
  close_viewer || fail "--apply exited with $status: $(cat "$work/viewer3.txt")"
  grep -q "running .*sonalter.* Envelope '@$work/envelope.txt'" "$work/viewer3.txt" || fail "--apply did not say what it ran"
  [ -s "$work/applied.wav" ] || fail "--apply wrote no file"
  [ "$(sort -u "$work/envelope.txt")" = 1 ] || fail "the flat envelope is not 1 everywhere"
fi
echo "passed"
