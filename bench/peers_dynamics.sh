#!/usr/bin/env bash
# The peer of Compressor and Expander, side by side with ours in one run: the
# net time per sample of `sox compand` (sox with the effect minus sox copying
# the same file, so that file input and output cancel) against bench_dynamics
# on the same number of samples.
#
#   bench/peers_dynamics.sh BUILD_DIR [SECONDS]
#
# SECONDS of stereo 44.1 kHz audio (default 600: 52.9 million samples).
set -euo pipefail
build=${1:?usage: peers_dynamics.sh BUILD_DIR [SECONDS]}
seconds=${2:-600}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in=$work/in.wav
sox -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" sine 440 sine 660 tremolo 0.7 90 vol 0.8
samples=$((seconds * 44100 * 2))

# compand: attack and decay of 10 ms (about our 10 ms block), 2:1 above -20 dB.
hyperfine --style basic --runs 3 --warmup 1 --export-json "$work/peer.json" \
  "sox -q $in $work/copy.wav" \
  "sox -q $in $work/compand.wav compand 0.01,0.01 6:-20,-20,0,-10" >/dev/null
QELV_BENCH_SECONDS=$seconds "$build/bin/bench_dynamics" \
  --benchmark_filter='Amplify|Compressor|Expander|Envelope' --benchmark_min_time=0.1 \
  --benchmark_format=json 2>/dev/null >"$work/ours.json"
# Wall-clock and processor time (user + system) per sample: on a shared machine
# the processor time is the fairer comparison.
python3 - "$work/peer.json" "$work/ours.json" "$samples" <<'PY'
import json, sys
peer = json.load(open(sys.argv[1]))["results"]
ours = json.load(open(sys.argv[2]))["benchmarks"]
samples = int(sys.argv[3])
copy, compand = peer
wall = (compand["median"] - copy["median"]) / samples * 1e9
cpu = ((compand["user"] + compand["system"]) - (copy["user"] + copy["system"])) / samples * 1e9
print(f"{'method':<24}{'wall ns/sample':>16}{'cpu ns/sample':>16}")
print(f"{'sox compand (net)':<24}{wall:>16.2f}{cpu:>16.2f}")
scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
for b in ours:
    unit = scale[b.get("time_unit", "ns")]
    name = b["name"].split("/")[0].removeprefix("BM_")
    print(f"{name:<24}{b['real_time'] * unit / samples * 1e9:>16.2f}{b['cpu_time'] * unit / samples * 1e9:>16.2f}")
PY
