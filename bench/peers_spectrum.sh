#!/usr/bin/env bash
# The spectrum family against its peers, in one run:
#   - the Hartley transform (bench_spectrum, CPU time per transform) against
#     numpy.fft.rfft at 4096 and 16384 points (CPU time per call);
#   - FFTFilter and Equalizer (bench_spectrum, ns per sample) against SoX's
#     sinc low-pass with 1024 taps, as net time per sample: SoX with the effect
#     minus SoX copying the same file (user + system time), so that reading and
#     writing the file cancel.
# The signal is stereo 44.1 kHz white noise of SECONDS seconds (default 60;
# 600 is the full 10 minutes, 52.9 million samples).
#
#   bench/peers_spectrum.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?usage: peers_spectrum.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
bench="$build/bin/bench_spectrum"
[ -x "$bench" ] || { echo "no $bench: build the bench_spectrum target" >&2; exit 2; }
command -v sox >/dev/null || { echo "sox is needed (Debian package sox)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples=$((seconds * 44100 * 2))

echo "== Hartley transform: CPU time per transform =="
"$bench" --benchmark_filter='Hartley' --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    2>/dev/null | awk '/_median/ {print $1, $4, $5, $7}'
/usr/bin/python3 - <<'PY' || echo "numpy not available"
import time
import numpy as np
for n in (4096, 16384):
    # float64, rfft's own type: a float32 input is converted on each call, which
    # at 16384 points and above costs numpy 1.24 over ten times the transform.
    x = np.random.default_rng(7).integers(-20000, 20000, n).astype(np.float64)
    best = float("inf")
    for _ in range(7):
        t0 = time.process_time()
        for _ in range(300):
            np.fft.rfft(x)
        best = min(best, (time.process_time() - t0) / 300)
    print(f"numpy.fft.rfft/{n} {best * 1e6:.1f} us ({best * 1e9 / n:.2f} ns per point)")
PY

echo "== FFTFilter / Equalizer: CPU time per sample on $samples samples =="
"$bench" --benchmark_filter='FFTFilter|Equalizer' --samples="$samples" 2>/dev/null |
    awk '/FFTFilter|Equalizer/ {for (i = 1; i <= NF; ++i) if ($i ~ /^per_sample=/) print $1, $i}'

echo "== SoX sinc low-pass (1024 taps), net ns per sample =="
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth "$seconds" whitenoise gain -6
cpu() {  # user + system seconds of a command
    /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 + $2}'
}
best_copy=999999; best_sinc=999999
for _ in 1 2 3; do
    c=$(cpu sox "$work/in.wav" "$work/copy.wav")
    s=$(cpu sox "$work/in.wav" "$work/sinc.wav" sinc -n 1024 -11025)
    best_copy=$(awk -v a="$best_copy" -v b="$c" 'BEGIN {print (b < a ? b : a)}')
    best_sinc=$(awk -v a="$best_sinc" -v b="$s" 'BEGIN {print (b < a ? b : a)}')
done
awk -v c="$best_copy" -v s="$best_sinc" -v n="$samples" \
    'BEGIN {printf "sox copy %.3f s, sox sinc %.3f s, net %.2f ns per sample\n", c, s, (s - c) * 1e9 / n}'
