#!/usr/bin/env bash
# sonalter against SoX end to end: the same file in, the same change out, both
# writing a 16-bit WAV. For each case, hyperfine runs the two commands in turn
# (wall time and user + system CPU time, medians and means of the runs), then
# /usr/bin/time -v runs each once more for the peak resident memory.
#
#   bench/cli_vs_sox.sh [-n RUNS] [-b BUILD_DIR] [INPUT.wav]
#
# Without INPUT a 10-minute stereo 44.1 kHz file (26.5 million frames, a 106 MB
# sample array) is made with SoX in the work folder. The work folder is on the
# same file system as the build, like a user's output would be; it is removed
# at the end. sonalter flushes its output to disk before renaming it into
# place, SoX does not: that flush is part of sonalter's wall time here.
set -euo pipefail

runs=5
build=build/release
while getopts "n:b:" opt; do
    case $opt in
        n) runs=$OPTARG ;;
        b) build=$OPTARG ;;
        *) echo "usage: $0 [-n RUNS] [-b BUILD_DIR] [INPUT.wav]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

here=$(cd "$(dirname "$0")/.." && pwd)
tool=$here/$build/bin/sonalter
for need in "$tool" hyperfine sox soxi python3 /usr/bin/time; do
    command -v "$need" >/dev/null || { echo "$0: $need is missing (build sonalter first)" >&2; exit 1; }
done

work=$(mktemp -d "$here/$build/cli-vs-sox.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [[ $# -ge 1 ]]; then
    input=$(realpath "$1")
else
    input=$work/ten.wav
    sox -n -r 44100 -c 2 -b 16 "$input" synth 600 sine 440 sine 661 vol 0.5
fi
seconds=$(soxi -D "$input")

# name | sonalter chain | SoX effects (-D: no dither, as sonalter adds none)
cases=(
    "Amplify|Amplify 80|vol 0.8"
    "Invert|Invert|vol -1"
    "Fade|Fade 100 0|fade t 0 $seconds $seconds"
    "Normalize|Normalize 95 true|norm -0.446"
    "Reverse|Reverse|reverse"
    "Amplify Invert Fade|Amplify 80 Invert Fade 100 0|vol -0.8 fade t 0 $seconds $seconds"
)

peak_kib() {  # the peak resident memory of one run of the command, in KiB
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'
}

echo "input: $input ($(soxi -s "$input") frames, $(soxi -c "$input") channels)"
echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "runs: $runs of each, alternating"
echo
printf '%-20s %9s %9s %6s %9s %9s %6s %9s %9s\n' case "wall s" "SoX s" ratio "CPU s" "SoX CPU" ratio "peak MiB" "SoX MiB"
for entry in "${cases[@]}"; do
    IFS='|' read -r name chain effects <<<"$entry"
    ours="$tool -q --no-smooth $input $work/ours.wav $chain"
    theirs="sox -D $input $work/theirs.wav $effects"
    hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/run.json" "$ours" "$theirs" >/dev/null
    # shellcheck disable=SC2086  # the chains are word lists
    ours_kib=$(peak_kib $ours)
    # shellcheck disable=SC2086
    theirs_kib=$(peak_kib $theirs)
    python3 - "$work/run.json" "$name" "$ours_kib" "$theirs_kib" <<'EOF'
import json, statistics, sys
results = json.load(open(sys.argv[1]))["results"]
name, ours_kib, theirs_kib = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
wall = [statistics.median(r["times"]) for r in results]
cpu = [r["user"] + r["system"] for r in results]
print(f"{name:<20} {wall[0]:9.3f} {wall[1]:9.3f} {wall[0] / wall[1]:6.2f} {cpu[0]:9.3f} {cpu[1]:9.3f} "
      f"{cpu[0] / cpu[1]:6.2f} {ours_kib / 1024:9.1f} {theirs_kib / 1024:9.1f}")
EOF
done
echo
echo "wall: median; CPU: mean user + system; ratio: sonalter / SoX (below 1: sonalter is faster)"
