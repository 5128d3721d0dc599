#!/usr/bin/env bash
# The rate family against its peers, in one run, on the same stereo 44.1 kHz
# signal (two tones and a little noise):
#   Resample 50 / 200   vs  sox rate to 88.2 / 22.05 kHz (per output sample)
#   PitchShift 150      vs  rubberband -2 --no-threads -f 1.5
#   TimeStretch 80      vs  rubberband -2 --no-threads -t 1.25
# Peers are timed as CPU seconds (user + system) of the whole program, best of
# REPEAT runs, minus the same program copying the file (sox in.wav out.wav), so
# that reading and writing cancel. Our methods are timed by bench_rate (CPU time
# of the calling thread, the array copy not included). CPU time rather than wall
# time, because the machine is shared.
#
#   bench/peers_rate.sh [BUILD_DIR] [SECONDS]     (defaults build/release, 600)
set -euo pipefail
build=${1:-build/release}
seconds=${2:-600}
repeat=${REPEAT:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

samples=$((seconds * 44100 * 2))
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth "$seconds" sine 440 sine 3100 vol 0.4 2>/dev/null

cpu() {  # best CPU seconds of REPEAT runs of "$@"
    local best=""
    for _ in $(seq "$repeat"); do
        local t
        /usr/bin/time -o "$work/time.txt" -f '%U %S' "$@" >/dev/null 2>&1
        t=$(tail -1 "$work/time.txt" | awk '{print $1 + $2}')
        if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
    done
    echo "$best"
}

copy=$(cpu sox "$work/in.wav" "$work/copy.wav")
up=$(cpu sox "$work/in.wav" -r 88200 "$work/up.wav" rate)
down=$(cpu sox "$work/in.wav" -r 22050 "$work/down.wav" rate)
pitch=$(cpu rubberband -2 --no-threads -f 1.5 "$work/in.wav" "$work/pitch.wav")
stretch=$(cpu rubberband -2 --no-threads -t 1.25 "$work/in.wav" "$work/stretch.wav")

QELV_BENCH_SAMPLES=$samples "$build/bin/bench_rate" --benchmark_repetitions="$repeat" \
    --benchmark_format=json >"$work/ours.json" 2>/dev/null

python3 - "$work/ours.json" "$samples" "$copy" "$up" "$down" "$pitch" "$stretch" <<'PY'
import json, sys
ours_file, n, copy, up, down, pitch, stretch = sys.argv[1], int(sys.argv[2]), *map(float, sys.argv[3:])
runs = json.load(open(ours_file))["benchmarks"]
def best(name):
    times = [b["cpu_time"] for b in runs if b.get("run_name", b["name"]).startswith(name) and b.get("run_type") != "aggregate"]
    return min(times) * 1e-3  # ms -> s
audio = n / 2 / 44100
rows = [
    ("Resample 50 (grow)", best("BM_Resample_Grow"), up - copy, 2 * n),
    ("Resample 200 (shrink)", best("BM_Resample_Shrink"), down - copy, n // 2),
    ("PitchShift 150", best("BM_PitchShift"), pitch - copy, n),
    ("TimeStretch 80", best("BM_TimeStretch"), stretch - copy, n),
]
print(f"{n} samples ({audio:.0f} s of stereo); CPU seconds; peer net = peer - copy ({copy:.3f} s)")
print(f"{'case':24} {'ours s':>8} {'peer s':>8} {'ours ns/out':>12} {'peer ns/out':>12} {'peer/ours':>10} {'ours x RT':>10} {'peer x RT':>10}")
for name, ours, peer, outputs in rows:
    print(f"{name:24} {ours:8.3f} {peer:8.3f} {ours / outputs * 1e9:12.2f} {peer / outputs * 1e9:12.2f} "
          f"{peer / ours:10.2f} {audio / ours:10.1f} {audio / peer:10.1f}")
PY
