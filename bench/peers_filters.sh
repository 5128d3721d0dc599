#!/bin/sh
# Speed of the filter family against its peers, in one run, as processor time
# per sample (user + system; the machine may be shared, so wall time is not used).
#
#   bench/peers_filters.sh [BUILD_DIR] [SECONDS]
#
# BUILD_DIR holds bin/bench_filters (default build/release); SECONDS is the
# length of the stereo 44.1 kHz test signal (default 60; 600 is ten minutes,
# 52.9 million samples). A peer's net time is its run with the effect minus its
# run copying the same file, so that reading and writing the file cancel; the
# best of three runs is taken for each. The peers: sox lowpass, highpass and
# equalizer for the second-order filters, sox reverb for Reverb, and
# scipy.signal.lfilter with 256 taps for FIRFilter (timed around the call).
set -eu
build=${1:-build/release}
seconds=${2:-60}
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples=$((seconds * 44100 * 2))

sox -n -r 44100 -b 16 -c 2 "$work/in.wav" synth "$seconds" sine 330 sine 990 vol 0.4
sox -n -r 44100 -b 16 -c 2 "$work/noise.wav" synth "$seconds" whitenoise vol 0.1
sox -m "$work/in.wav" "$work/noise.wav" "$work/test.wav"

# Best processor time (user + system, seconds) of three runs of a command.
cpu() {
  best=
  for _ in 1 2 3; do
    /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1
    t=$(awk '{print $1 + $2}' "$work/time")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

copy=$(cpu sox "$work/test.wav" "$work/out.wav")
peer() {  # name, sox effect...
  name=$1
  shift
  t=$(cpu sox "$work/test.wav" "$work/out.wav" "$@")
  awk -v n="$name" -v t="$t" -v c="$copy" -v s="$samples" \
    'BEGIN{printf "%-34s %8.2f ns/sample (net %.3f s)\n", n, (t - c) * 1e9 / s, t - c}'
}

echo "Peers ($seconds s of stereo 44.1 kHz, $samples samples; sox copy $copy s):"
peer "sox lowpass 1000" lowpass 1000
peer "sox highpass 1000" highpass 1000
peer "sox equalizer 2000 1q 6" equalizer 2000 1q 6
peer "sox reverb" reverb 50 50 70
"$python" - "$samples" <<'PY'
import sys, time
import numpy as np
import scipy.signal as ss
n = int(sys.argv[1])
x = np.random.default_rng(1).integers(-20000, 20000, n).astype(np.float64)
h = ss.remez(256, [0, 3000, 5000, 22050], [1, 0], weight=[1, 10], fs=44100)
best = None
for _ in range(2):
    t = time.process_time()
    ss.lfilter(h, 1.0, x)
    t = time.process_time() - t
    best = t if best is None else min(best, t)
print("%-34s %8.2f ns/sample" % ("scipy.signal.lfilter (256 taps)", best * 1e9 / n))
PY

echo "This component (bench_filters, same number of samples):"
QELV_BENCH_SAMPLES=$samples "$build/bin/bench_filters" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
  "$python" -c '
import csv, sys
rows = [r for r in csv.reader(sys.stdin)]
head = next(i for i, r in enumerate(rows) if r and r[0] == "name")
cols = rows[head]
k = cols.index("ns_per_sample")
for r in rows[head + 1:]:
    if r[0].endswith("_min") or r[0].endswith("_median"):
        if r[0].endswith("_median"):
            print("%-34s %8.2f ns/sample (median of 3)" % (r[0].split("/")[0], float(r[k])))
'
