#!/usr/bin/python3
"""Measured responses of the filter methods, drawn against their designs.

Each filter is driven with a train of pure-tone bursts through the `sonalter`
tool (no edge smoothing); the gain of every burst is measured on its second
half by correlation with a sine and a cosine and plotted against the analytic
response: of the coefficient set for the second-order filters, of the taps
that `sonalter-fir` designs for FIRFilter. Reverb is shown by its response to
a click.

Usage: docs/methods/filters-response.py [--bin build/release/bin] [--out docs/methods]
"""
import argparse
import os
import subprocess
import tempfile
import wave

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

RATE = 44100
BURST = 4096
# Tone amplitudes: the second-order filters gain up to 9 dB; the FIR filter at most 0 dB.
AMPLITUDE = 10000
FIR_AMPLITUDE = 30000


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(np.asarray(samples, dtype="<i2").tobytes())


def read_wav(path):
    with wave.open(path, "rb") as w:
        return np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(float)


def run(tool, samples, method, args):
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in.wav"), os.path.join(tmp, "out.wav")
        write_wav(src, samples)
        subprocess.run([tool, "-q", "--no-smooth", "--no-events", src, dst, method] + [str(a) for a in args],
                       check=True)
        return read_wav(dst)


def bursts(freqs, amplitude=AMPLITUDE):
    n = np.arange(BURST)
    return np.concatenate([np.round(amplitude * np.sin(2 * np.pi * f / RATE * n)) for f in freqs])


def measured_gains(out, freqs, amplitude=AMPLITUDE):
    gains = []
    for k, f in enumerate(freqs):
        # The second half of the burst, cut to a whole number of periods.
        count = BURST // 2
        periods = np.floor(count * f / RATE)
        if periods >= 1:
            count = int(round(periods * RATE / f))
        seg = out[k * BURST + BURST - count:(k + 1) * BURST]
        n = np.arange(BURST - count, BURST)
        s = np.dot(seg, np.sin(2 * np.pi * f / RATE * n))
        c = np.dot(seg, np.cos(2 * np.pi * f / RATE * n))
        gains.append(2 * np.hypot(s, c) / len(seg) / amplitude)
    return np.array(gains)


def biquad(kind, db, f0, steepness):
    """The coefficient formulas (in double precision; close enough to draw)."""
    a = 10 ** (db / 40)
    w0 = 2 * np.pi * f0 / RATE
    sn, cs = np.sin(w0), np.cos(w0)
    q = (steepness if steepness != 0 else 1) / 100
    alpha = sn / (2 * q)
    beta = np.sqrt((a * a + 1) / q - (a - 1) ** 2)
    table = {
        "LowPassFilter": ([(1 - cs) / 2, 1 - cs, (1 - cs) / 2], [1 + alpha, -2 * cs, 1 - alpha]),
        "HighPassFilter": ([(1 + cs) / 2, -1 - cs, (1 + cs) / 2], [1 + alpha, -2 * cs, 1 - alpha]),
        "BandPassFilter": ([q * alpha, 0, -q * alpha], [1 + alpha, -2 * cs, 1 - alpha]),
        "NotchFilter": ([1, -2 * cs, 1], [1 + alpha, -2 * cs, 1 - alpha]),
        "PeakEQFilter": ([1 + alpha * a, -2 * cs, 1 - alpha * a], [1 + alpha / a, -2 * cs, 1 - alpha / a]),
        "LowShelfFilter": (
            [a * ((a + 1) - (a - 1) * cs + beta * sn), 2 * a * ((a - 1) - (a + 1) * cs),
             a * ((a + 1) - (a - 1) * cs - beta * sn)],
            [(a + 1) + (a - 1) * cs + beta * sn, -2 * ((a - 1) + (a + 1) * cs), (a + 1) + (a - 1) * cs - beta * sn]),
        "HighShelfFilter": (
            [a * ((a + 1) + (a - 1) * cs + beta * sn), -2 * a * ((a - 1) + (a + 1) * cs),
             a * ((a + 1) + (a - 1) * cs - beta * sn)],
            [(a + 1) - (a - 1) * cs + beta * sn, 2 * ((a - 1) - (a + 1) * cs), (a + 1) - (a - 1) * cs - beta * sn]),
    }
    return table[kind]


def response(b, a, freqs):
    z = np.exp(-2j * np.pi * np.asarray(freqs) / RATE)
    return np.abs(np.polyval(b[::-1], z) / np.polyval(a[::-1], z))


def db(g):
    # Tones the filter brings below one step of the 16-bit output read as 0: drawn at the floor.
    return 20 * np.log10(np.maximum(g, 10 ** (-108 / 20)))


def plot_biquads(tool, out):
    cases = [
        ("LowPassFilter", [1000, 70.7], 0),
        ("HighPassFilter", [1000, 70.7], 0),
        ("BandPassFilter", [2000, 200], 0),
        ("NotchFilter", [2000, 100], 0),
        ("PeakEQFilter", [9, 2000, 100], 9),
        ("LowShelfFilter", [9, 300, 100], 9),
        ("HighShelfFilter", [-9, 5000, 100], -9),
    ]
    freqs = np.geomspace(20, 20000, 40)
    dense = np.geomspace(20, 21000, 600)
    fig, axes = plt.subplots(4, 2, figsize=(11, 13))
    for ax, (method, args, gain) in zip(axes.flat, cases):
        result = run(tool, bursts(freqs), method, args)
        b, a = biquad(method, gain, args[-2], args[-1])
        ax.semilogx(dense, db(response(b, a, dense)), label="designed coefficient set")
        ax.semilogx(freqs, db(measured_gains(result, freqs)), "o", ms=4, label="measured (tone bursts)")
        ax.set_title(f"{method} {', '.join(str(x) for x in args)}")
        ax.set_xlabel("Hz")
        ax.set_ylabel("dB")
        ax.set_ylim(-60, 15)
        ax.grid(True, which="both", alpha=0.3)
    axes.flat[0].legend(loc="lower left")
    axes.flat[-1].axis("off")
    fig.tight_layout()
    fig.savefig(os.path.join(out, "filters-biquads.png"), dpi=80)


def plot_fir(tool, fir_tool, out):
    bands = "0,1,1\n3000,1,1\n-1,0,0\n5000,0,10\n22050,0,10\n"
    taps_text = subprocess.run([fir_tool, "--rate", str(RATE), "--taps", "128", "-"], input=bands, text=True,
                               capture_output=True, check=True).stdout
    taps = np.array([float(line.split(",")[1]) for line in taps_text.splitlines()
                     if line and line[0].isdigit()], dtype=np.float32)
    freqs = np.linspace(100, 21000, 60)
    dense = np.linspace(0, RATE / 2, 800)
    with tempfile.TemporaryDirectory() as tmp:
        paths = [os.path.join(tmp, n) for n in ("f", "g", "w")]
        for p, col in zip(paths, zip(*[[float(v) for v in line.split(",")] for line in bands.split()])):
            with open(p, "w") as fh:
                fh.write("\n".join(repr(v) for v in col))
        result = run(tool, bursts(freqs, FIR_AMPLITUDE), "FIRFilter", ["@" + p for p in paths] + [128])
    designed = np.abs(np.exp(-2j * np.pi * np.outer(dense / RATE, np.arange(len(taps)))) @ taps.astype(float))
    fig, ax = plt.subplots(figsize=(9, 4.5))
    ax.plot(dense, db(designed), label="designed taps (128)")
    ax.plot(freqs, db(measured_gains(result, freqs, FIR_AMPLITUDE)), "o", ms=4, label="measured (tone bursts)")
    ax.set_title("FIRFilter, 128 taps: pass 0..3000 Hz, stop 5000..22050 Hz weighted 10\n"
                 "(tones brought below one output step are drawn at -108 dB)")
    ax.set_xlabel("Hz")
    ax.set_ylabel("dB")
    ax.set_ylim(-110, 10)
    ax.grid(True, alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out, "filters-fir.png"), dpi=80)


def plot_reverb(tool, out):
    click = np.zeros(RATE // 2)
    click[RATE // 20] = 30000
    args = [20, 50, 50, 70, 6000, 8]
    result = run(tool, click, "Reverb", args)
    t = np.arange(len(result)) / RATE * 1000
    fig, ax = plt.subplots(figsize=(9, 4))
    ax.plot(t, result, lw=0.6)
    ax.set_title("Reverb 20, 50, 50, 70, 6000, 8: a click at 50 ms")
    ax.set_xlabel("ms")
    ax.set_ylabel("sample")
    ax.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(os.path.join(out, "filters-reverb.png"), dpi=80)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/release/bin")
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    args = parser.parse_args()
    tool = os.path.join(args.bin, "sonalter")
    plot_biquads(tool, args.out)
    plot_fir(tool, os.path.join(args.bin, "sonalter-fir"), args.out)
    plot_reverb(tool, args.out)


if __name__ == "__main__":
    main()
