#!/usr/bin/env bash
# Regenerates share/samples/voice.wav: a short spoken sentence over a soft
# chord, stereo, 22050 Hz, 16-bit PCM. Needs espeak-ng and sox.
#
#   scripts/make-sample.sh [OUTPUT]     (default: share/samples/voice.wav)
#
# The speech sits a little left of centre and the chord's lower notes lean
# left, its upper notes right, so the two channels differ: that makes the file
# useful for trying the channel utilities and --per-channel. Dither is off (-D)
# so that the same tool versions give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-share/samples/voice.wav}
for tool in espeak-ng sox soxi; do
  command -v "$tool" >/dev/null || { echo "make-sample.sh: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

text="Change the numbers, and you change the sound."
espeak-ng -v en -s 160 -w "$work/speech.wav" "$text"
# A quarter second of lead-in, a little more at the end; speech panned left of centre.
sox -D "$work/speech.wav" -r 22050 "$work/speech_st.wav" pad 0.25 0.35 remix 1v0.9 1v0.65
length=$(soxi -D "$work/speech_st.wav")
# A major chord (A3, C#4, E4) as long as the speech, faded in and out.
sox -D -n -r 22050 -c 3 -b 16 "$work/chord3.wav" synth "$length" sine 220 sine 277.18 sine 329.63 \
  fade q 0.4 "$length" 0.8
sox -D "$work/chord3.wav" "$work/chord_st.wav" remix 1v0.5,2v0.35,3v0.15 1v0.15,2v0.35,3v0.5 vol 0.12
# Mix, bring the peak to -1 dB and write 16-bit signed PCM.
mkdir -p "$(dirname "$out")"
sox -D -m "$work/speech_st.wav" "$work/chord_st.wav" -b 16 -e signed-integer "$out" norm -1
echo "Wrote $out ($(soxi -c "$out") channels, $(soxi -r "$out") Hz, $(soxi -D "$out") s)"
