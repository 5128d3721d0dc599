#!/usr/bin/env python3
"""The Python binding's cost, measured side by side in one run:

1. per-call overhead: s.PercentToDB(50.0) through the binding against the same
   member called through IDispatch from C++ (bench_transform_frame has no such
   case, so the native figure is a tight loop of the binding's own native call
   path with the Python layer removed: _core.Object.call);
2. s.Invert on 10 million samples (events off, no smoothing) through the binding
   against the C++ vtable call timed by bench_transform_frame in the same run;
3. a batch of N small files on a 2-worker local Dask cluster against a
   sequential loop over the same files (python3 -m qelvsonalter2 batch), in a
   temporary folder under QELV_BATCH_DIR (default: the system's).

Run from the build tree:  PYTHONPATH=build/release/python python3 bench/python_binding.py [build/release]
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy

import qelvsonalter2 as q
from qelvsonalter2 import batch


def best_of(fn, repeat=7, number=1):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        for _ in range(number):
            fn()
        times.append((time.perf_counter() - start) / number)
    return statistics.median(times), min(times), max(times)


def cpp_invert(bench):
    """The median time of Invert through the vtable (bench_transform_frame),
    in seconds, or None when the benchmark is not built."""
    if not os.path.exists(bench):
        return None
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        subprocess.run([bench, "--benchmark_filter=^Invert/mode:0$", "--benchmark_out=" + report.name,
                        "--benchmark_out_format=json", "--benchmark_repetitions=9",
                        "--benchmark_report_aggregates_only=true"], capture_output=True, text=True)
        out = open(report.name).read()
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            return b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[b["time_unit"]]
    return None


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    s = q.Sonalter2()
    s.TBEventEnabled = False
    s.SmoothLeftEnabled = False
    s.SmoothRightEnabled = False

    # 1. Per-call overhead of the Python layer over the native dispatch call.
    index = [m[0] for m in s._object.members()].index("PercentToDB")
    native = best_of(lambda: s._object.call(index, [50.0]), number=20000)[0]
    python = best_of(lambda: s.PercentToDB(50.0), number=20000)[0]
    print("PercentToDB: %.2f us per call through the binding, %.2f us through _core, Python layer %.2f us"
          % (python * 1e6, native * 1e6, (python - native) * 1e6))

    # 2. Invert on 10 million samples against the C++ vtable call, on the same
    # kind of input (uniform in -20000 .. 20000). The two are timed in
    # alternating rounds, so that a change in the machine's speed during the
    # run falls on both.
    a = numpy.random.default_rng(7).integers(-20000, 20001, 10_000_000, dtype=numpy.int16)
    bench = os.path.join(build, "bin", "bench_transform_frame")
    ratios = []
    for _ in range(5):
        # Like the C++ benchmark's repetitions: the mean of back-to-back calls,
        # the median over the repetitions.
        ours = best_of(lambda: s.Invert(a), repeat=9, number=100)[0]
        cpp = cpp_invert(bench)
        if cpp is None:
            print("Invert, 10 M samples: binding %.3f ms (bench_transform_frame not built)" % (ours * 1e3))
            break
        ratios.append(ours / cpp)
        print("Invert, 10 M samples: binding %.3f ms, C++ %.3f ms, ratio %.3f" % (ours * 1e3, cpp * 1e3, ours / cpp))
    if ratios:
        print("Invert: median ratio over the rounds %.3f" % statistics.median(ratios))

    # 3. Batch on a 2-worker local cluster against a sequential loop.
    files = int(os.environ.get("QELV_BATCH_FILES", "200"))
    # A clean-up chain as a batch would run it: rumble filter, compressor, level, fade.
    chain = os.environ.get("QELV_BATCH_CHAIN", "HighPassFilter 80 1 Compressor -20 50 10 Normalize 95 true Fade 100 0")
    # QELV_BATCH_DIR puts the files elsewhere, e.g. /dev/shm to take the
    # kernel's writing of the outputs to disk out of the comparison.
    with tempfile.TemporaryDirectory(dir=os.environ.get("QELV_BATCH_DIR") or None) as folder:
        source = os.path.join(folder, "in")
        os.makedirs(source)
        rng = numpy.random.default_rng(1)
        for i in range(files):
            batch.write_wav(os.path.join(source, "f%03d.wav" % i),
                            rng.integers(-20000, 20000, 441000, dtype=numpy.int16), 44100, 1)
        start = time.perf_counter()
        for name in sorted(os.listdir(source)):
            batch.process_file(os.path.join(source, name), os.path.join(folder, "seq-" + name), batch.parse_chain(chain))
        sequential = time.perf_counter() - start
        # The command as a user runs it: interpreter, cluster start and all.
        start = time.perf_counter()
        subprocess.run([sys.executable, "-m", "qelvsonalter2", "batch", source, "--out", os.path.join(folder, "out"),
                        "--chain", chain, "-q"], check=True, capture_output=True)
        whole = time.perf_counter() - start
        # The batch itself on a cluster that is already running.
        with batch.local_cluster(2) as cluster:
            runs = []
            for k in range(2):  # fresh workers, then workers that have run a batch
                start = time.perf_counter()
                batch.run([source], os.path.join(folder, "out%d" % (k + 2)), chain,
                          scheduler=cluster.scheduler_address, progress=False)
                runs.append(time.perf_counter() - start)
        print("batch of %d files: sequential %.2f s; on a running 2-worker cluster %.2f s (%.2fx), "
              "again %.2f s (%.2fx); the whole command with its cluster start %.2f s, %.2fx"
              % (files, sequential, runs[0], sequential / runs[0], runs[1], sequential / runs[1], whole,
                 sequential / whole))


if __name__ == "__main__":
    main()
