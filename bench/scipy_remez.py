#!/usr/bin/env python3
"""Times scipy.signal.remez on the FIR designer's benchmark low-pass.

The baseline for bench_fir_design: it designs the same two-band low-pass
(pass band 0 .. PASS gain 1, stop band STOP .. 0.5 gain 0, weights 1, in
units of the sampling rate) with numtaps TAPS and prints one line:

    scipy_remez taps=256 pass=0.2 stop=0.22 grid_density=17 seconds=0.00252 result=converged

`seconds` is the median time of one call over several timed batches. When
remez gives up (it raises on a transition band too wide for the length),
the time until it raised is reported with result=failed.

grid_density defaults to the value that gives scipy the same middle-of-band
grid spacing as the designer: the designer spreads 16 * numtaps / 2 points
over the bands, scipy spreads grid_density * numtaps / 2 over 0 .. 0.5.

Exit status: 0 after a measurement, 2 when scipy cannot be imported.
"""

import argparse
import statistics
import sys
import time


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--taps", type=int, default=256)
    parser.add_argument("--pass-edge", type=float, default=0.2)
    parser.add_argument("--stop-edge", type=float, default=0.3)
    parser.add_argument("--grid-density", type=int, default=0,
                        help="scipy grid density (default: matched to the designer's grid)")
    parser.add_argument("--batches", type=int, default=5)
    parser.add_argument("--min-batch-seconds", type=float, default=0.1)
    args = parser.parse_args()

    try:
        import scipy.signal
    except ImportError:
        print("scipy_remez unavailable: scipy cannot be imported", file=sys.stderr)
        return 2

    bands = [0.0, args.pass_edge, args.stop_edge, 0.5]
    width = args.pass_edge + (0.5 - args.stop_edge)
    density = args.grid_density or max(1, round(16 * 0.5 / width))

    def design() -> bool:
        try:
            scipy.signal.remez(args.taps, bands, [1.0, 0.0], weight=[1.0, 1.0], fs=1.0,
                               grid_density=density)
            return True
        except ValueError:
            return False

    converged = design()  # warm-up, and tells whether remez converges
    times = []
    for _ in range(args.batches):
        calls = 0
        start = time.perf_counter()
        while True:
            design()
            calls += 1
            elapsed = time.perf_counter() - start
            if elapsed >= args.min_batch_seconds:
                break
        times.append(elapsed / calls)
    print(f"scipy_remez taps={args.taps} pass={args.pass_edge:g} stop={args.stop_edge:g} "
          f"grid_density={density} seconds={statistics.median(times):.6g} "
          f"result={'converged' if converged else 'failed'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
