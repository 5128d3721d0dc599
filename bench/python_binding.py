#!/usr/bin/env python3
"""The Python binding's cost, measured side by side in one run:

1. per-call overhead: Invert on 16 samples through the binding against the
   C++ vtable call, back to back in one process (bench_python_invert's
   SmallCall), and s.PercentToDB(50.0) timed from Python;
2. s.Invert on 10 million samples (events off, no smoothing) through the binding
   against the C++ vtable call, both in one process on the same memory
   (bench_python_invert, which embeds the interpreter);
3. a batch of N small files (QELV_BATCH_FILES, default 200, of QELV_BATCH_SECONDS,
   default 10 s) against a sequential loop over the same files: the whole
   command (python3 -m qelvsonalter2 batch) once, then rounds on a running
   2-worker local Dask cluster, with a connected client and connecting for each
   batch; with the files in memory (/dev/shm) and on disk (the system's
   temporary folder), or in QELV_BATCH_DIR alone.

Run from the build tree:  PYTHONPATH=build/release/python python3 bench/python_binding.py [build/release]
"""

import json
import os
import shutil
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


def run_invert_bench(bench):
    """One run of bench_python_invert: {case: counters of its median}, or None
    when it is not built."""
    if not os.path.exists(bench):
        return None
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        subprocess.run([bench, "--benchmark_filter=^Pairs|^SmallCall/.*after_sweep:0",
                        "--benchmark_out=" + report.name, "--benchmark_out_format=json",
                        "--benchmark_repetitions=9", "--benchmark_report_aggregates_only=true"],
                       capture_output=True, text=True, check=True)
        out = open(report.name).read()
    return {b["run_name"].split("/min_time")[0]: b for b in json.loads(out)["benchmarks"]
            if b.get("aggregate_name") == "median"}


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    s = q.Sonalter2()
    s.TBEventEnabled = False
    s.SmoothLeftEnabled = False
    s.SmoothRightEnabled = False

    # 1 and 2. The binding against the vtable call, in one process: a call on
    # 16 samples back to back, and Invert on 10 million samples in alternating
    # pairs. Three processes, since a process's memory placement can shift
    # both sides' times.
    per_call = best_of(lambda: s.PercentToDB(50.0), number=20000)[0]
    print("PercentToDB: %.2f us per call through the binding, timed from Python" % (per_call * 1e6))
    bench = os.path.join(build, "bin", "bench_python_invert")
    ratios = []
    for _ in range(3):
        cases = run_invert_bench(bench)
        if cases is None:
            print("Invert: bench_python_invert not built")
            break
        small = [cases["SmallCall/%s/after_sweep:0" % side]["call_us"] for side in ("binding", "vtable")]
        pairs = cases["Pairs"]
        ratios.append(pairs["ratio"])
        print("Invert, 16 samples: binding %.2f us, vtable %.2f us, the binding adds %.2f us" %
              (small[0], small[1], small[0] - small[1]))
        print("Invert, 10 M samples, one process: binding %.1f us, vtable %.1f us, ratio %.3f"
              % (pairs["binding_us"], pairs["vtable_us"], pairs["ratio"]))
    if ratios:
        print("Invert: median ratio over the processes %.3f" % statistics.median(ratios))

    # 3. Batch on a 2-worker local cluster against a sequential loop, with the
    # files in memory (tmpfs) and on disk. On disk, the kernel writes the
    # outputs out after each file's call has returned: in the sequential loop on
    # the idle second processor, in the batch on processors the workers fill.
    # QELV_BATCH_DIR names one folder to use instead.
    files = int(os.environ.get("QELV_BATCH_FILES", "200"))
    seconds = float(os.environ.get("QELV_BATCH_SECONDS", "10"))
    # A clean-up chain as a batch would run it: rumble filter, compressor, level, fade.
    chain = os.environ.get("QELV_BATCH_CHAIN", "HighPassFilter 80 1 Compressor -20 50 10 Normalize 95 true Fade 100 0")
    if os.environ.get("QELV_BATCH_DIR"):
        places = [("in " + os.environ["QELV_BATCH_DIR"], os.environ["QELV_BATCH_DIR"])]
    else:
        places = [("in memory", "/dev/shm")] if os.path.isdir("/dev/shm") else []
        places.append(("on disk", tempfile.gettempdir()))
    for k, (label, parent) in enumerate(places):
        compare_batch(label, parent, files, seconds, chain, whole_command=k == 0)


def compare_batch(label, parent, files, seconds, chain, whole_command):
    with tempfile.TemporaryDirectory(dir=parent) as folder:
        source = os.path.join(folder, "in")
        os.makedirs(source)
        rng = numpy.random.default_rng(1)
        for i in range(files):
            batch.write_wav(os.path.join(source, "f%03d.wav" % i),
                            rng.integers(-20000, 20000, int(44100 * seconds), dtype=numpy.int16), 44100, 1)
        names = sorted(os.listdir(source))
        chain_list = batch.parse_chain(chain)

        def sequential(tag):
            start = time.perf_counter()
            for name in names:
                batch.process_file(os.path.join(source, name), os.path.join(folder, tag + name), chain_list)
            return time.perf_counter() - start

        if whole_command:
            alone = sequential("seq-")
            # The command as a user runs it: interpreter, cluster start and all.
            start = time.perf_counter()
            subprocess.run([sys.executable, "-m", "qelvsonalter2", "batch", source, "--out",
                            os.path.join(folder, "out"), "--chain", chain, "-q"], check=True, capture_output=True)
            whole = time.perf_counter() - start
            shutil.rmtree(os.path.join(folder, "out"))
            print("batch of %d files of %g s %s: sequential %.2f s; the whole command with its cluster start"
                  " %.2f s, %.2fx" % (files, seconds, label, alone, whole, alone / whole))
        # The batch itself on a cluster that is already running, two ways: with
        # a client kept connected (as a program that runs many batches, or a
        # notebook, uses the cluster) and connecting for each batch (as
        # --scheduler does). Each batch is compared with the mean of the
        # sequential loops just before and after it, so that the machine's
        # drift in speed falls on both sides. The first batch starts the
        # workers' modules and is not counted.
        from dask.distributed import Client

        out = os.path.join(folder, "out")

        def on_cluster(**where):
            start = time.perf_counter()
            batch.run([source], out, chain, progress=False, **where)
            elapsed = time.perf_counter() - start
            # Removed before the kernel writes them out, which would otherwise
            # fall into a later round.
            shutil.rmtree(out)
            return elapsed

        with batch.local_cluster(2) as cluster, Client(cluster) as client:
            on_cluster(client=client)
            kept, connecting = [], []
            before = sequential("seq-")
            for k in range(6):
                with_client = on_cluster(client=client)
                middle = sequential("seq-")
                connected = on_cluster(scheduler=cluster.scheduler_address)
                after = sequential("seq-")
                kept.append((before + middle) / 2 / with_client)
                connecting.append((middle + after) / 2 / connected)
                print("  %s, round %d: sequential %.3f/%.3f/%.3f s; batch with a connected client %.3f s, %.2fx;"
                      " connecting for the batch %.3f s, %.2fx"
                      % (label, k, before, middle, after, with_client, kept[-1], connected, connecting[-1]))
                before = after
        print("batch %s: median speed-up on the running cluster %.2fx with a connected client, %.2fx connecting"
              " for each batch" % (label, statistics.median(kept), statistics.median(connecting)))


if __name__ == "__main__":
    main()
