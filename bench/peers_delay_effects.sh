#!/usr/bin/env bash
# Delay, Phaser, Flanger and Chorus against sox's echo, phaser, flanger and chorus,
# in ns per sample, in one run.
#
#   bench/peers_delay_effects.sh [build dir] (default build/release)
#
# SECONDS_OF_AUDIO (default 30; 600 is 10 minutes) seconds of stereo 44.1 kHz
# noise are made once. A peer's net time is its best CPU time (user + system) of
# RUNS (default 3) runs with the effect minus its best of RUNS runs copying the
# same file, so that reading and writing cancel; our time is the benchmark's CPU
# time per sample on the same number of samples. CPU times rather than wall
# times, so that the figures hold on a shared machine.
set -euo pipefail
build=${1:-build/release}
seconds=${SECONDS_OF_AUDIO:-30}
runs=${RUNS:-3}
command -v sox >/dev/null || { echo "sox is needed for the peer figures"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/noise.wav
sox -n -r 44100 -c 2 -b 16 "$input" synth "$seconds" whitenoise vol 0.6
samples=$((seconds * 44100 * 2))

best() {  # best CPU time (user + system, ns) of RUNS runs of the command
  python3 - "$runs" "$@" <<'PY'
import resource, subprocess, sys
runs, command = int(sys.argv[1]), sys.argv[2:]
best = None
for _ in range(runs):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    best = t if best is None else min(best, t)
print(int(best * 1e9))
PY
}

copy=$(best sox "$input" -t wav /dev/null)
declare -A peer
peer[Delay]="echo 0.8 0.9 10 0.5"
peer[Phaser]="phaser 0.8 0.74 3 0.4 0.5 -s"
peer[Flanger]="flanger 0 2 0 71 0.5 sine 25 linear"
peer[Chorus]="chorus 0.7 0.9 50 0.4 0.25 2 -s"

ours=$(QELV_BENCH_SAMPLES=$samples "$build/bin/bench_delay_effects" --benchmark_format=json 2>/dev/null)
printf '%-8s %14s %16s %10s   (%d samples, copy %.2f ns/sample)\n' method "ours ns/sample" "sox net ns/sample" ratio \
  "$samples" "$(echo "$copy / $samples" | bc -l)"
for method in Delay Phaser Flanger Chorus; do
  # shellcheck disable=SC2086
  t=$(best sox "$input" -t wav /dev/null ${peer[$method]})
  net=$(echo "($t - $copy) / $samples" | bc -l)
  mine=$(python3 -c 'import json,sys; d=json.load(sys.stdin); print([b["cpu_time"]*{"ms":1e6,"us":1e3,"ns":1}[b["time_unit"]]/'"$samples"' for b in d["benchmarks"] if b["name"]=="'"$method"'"][0])' <<<"$ours")
  printf '%-8s %14.2f %16.2f %10.2f\n' "$method" "$mine" "$net" "$(echo "$net / $mine" | bc -l)"
done
