"""Batch processing: one chain of methods over many WAV files, in parallel on a
Dask cluster (a local one by default, or an existing one by address).

Each file is read with the standard wave module (16-bit PCM), run through the
chain on a fresh transform object in the worker, and written to a temporary
file renamed into place only on success. Files whose output exists and is newer
than the input are skipped, so an interrupted run resumes where it stopped. A
failing file is reported in the summary and never stops the others.
"""

import glob
import inspect
import os
import shlex
import sys
import tempfile
import wave

import numpy


def parse_chain(text):
    """'Normalize 95 true Fade 100 0' -> [('Normalize', ['95', 'true']), ('Fade', ['100', '0'])].
    A word that starts with an upper-case letter begins a method."""
    chain = []
    for word in shlex.split(text):
        if word[:1].isupper() and not _is_number(word) and word.lower() not in ("true", "false"):
            chain.append((word, []))
        elif not chain:
            raise ValueError("the chain must start with a method name, not %r" % word)
        else:
            chain[-1][1].append(word)
    if not chain:
        raise ValueError("empty chain")
    return chain


def _is_number(word):
    try:
        float(word)
        return True
    except ValueError:
        return False


def _convert(word):
    low = word.lower()
    if low in ("true", "false"):
        return low == "true"
    if "," in word:
        return numpy.array([float(x) for x in word.split(",")], dtype=numpy.float32)
    value = float(word)
    return int(value) if value.is_integer() and "." not in word and "e" not in low else value


def read_wav(path):
    with wave.open(path, "rb") as f:
        if f.getsampwidth() != 2:
            raise ValueError("%s: only 16-bit PCM WAV files are read here" % path)
        frames = f.readframes(f.getnframes())
        # A writable array over the bytes read (no copy): the chain works in it.
        samples = numpy.frombuffer(bytearray(frames), dtype="<i2")
        if samples.dtype != numpy.int16:  # a big-endian host
            samples = samples.astype(numpy.int16)
        return samples, f.getframerate(), f.getnchannels()


def write_wav(path, samples, rate, channels):
    """Writes atomically: a temporary file beside the target, renamed on success."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(prefix=".partial-", suffix=".wav", dir=folder)
    os.close(fd)
    try:
        with wave.open(temporary, "wb") as f:
            f.setnchannels(channels)
            f.setsampwidth(2)
            f.setframerate(rate)
            f.writeframes(memoryview(numpy.ascontiguousarray(samples, dtype="<i2")).cast("B"))
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def apply_chain(samples, rate, channels, chain, in_place=False):
    """Runs the chain on a fresh transform object; returns the new samples.
    With in_place the chain works in `samples` itself (a writable C-contiguous
    int16 array the caller gives up) instead of a copy."""
    import qelvsonalter2

    s = qelvsonalter2.Sonalter2()
    s.ArrayFrequency = rate
    s.ArrayChannels = channels
    s.TBEventEnabled = False
    work = numpy.ascontiguousarray(samples, dtype=numpy.int16)
    if work is samples and not (in_place and work.flags.writeable):
        work = work.copy()
    for name, words in chain:
        method = getattr(s, name, None)
        if method is None or not callable(method):
            raise ValueError("no method %r" % name)
        result = method(work, *[_convert(w) for w in words])
        if isinstance(result, numpy.ndarray) and result.dtype == numpy.int16:
            work = result
    return work


_memory_kept = False


def _keep_memory():
    """Lets the C library keep freed buffers for the next file instead of
    handing them back to the system: every file's buffers are the same few
    sizes, and fresh pages (a page fault each) would otherwise cost many times
    the transform itself. Only with the GNU C library; once per process."""
    global _memory_kept
    if _memory_kept:
        return
    _memory_kept = True
    if not sys.platform.startswith("linux"):
        return
    try:
        import ctypes

        libc = ctypes.CDLL("libc.so.6")
        m_trim_threshold, m_mmap_threshold = -1, -3
        libc.mallopt(m_mmap_threshold, 256 << 20)
        libc.mallopt(m_trim_threshold, 512 << 20)
    except (OSError, AttributeError):
        pass


def process_file(source, target, chain):
    """Worker task: returns (source, None) on success or (source, message)."""
    _keep_memory()
    try:
        samples, rate, channels = read_wav(source)
        out = apply_chain(samples, rate, channels, chain, in_place=True)
        write_wav(target, out, rate, channels)
        return source, None
    except Exception as error:  # reported in the summary, never stops the run
        return source, "%s: %s" % (type(error).__name__, error)


def process_files(pairs, chain):
    """Worker task for a group of files: a list of process_file results."""
    return [process_file(source, target, chain) for source, target in pairs]


def _groups(jobs, threads):
    """Splits the jobs into groups of falling size: each group takes two thirds
    of what would remain per worker thread (at least one file). The first
    tasks are long, so that few of them pay for their scheduling; the last are
    a file or two, so that the workers end together instead of one idling while
    the other finishes a long group (equal groups of 25 files left one worker
    idle for up to a tenth of the run). Taking half of it gave 16 groups for
    200 files on two workers, and a fifth more processor time in the client's
    process. Taking half of all that remains (100, 50, 25, ...) gave one worker
    the first and the third group, 125 files, more than the rest could
    balance: the scheduler hands each worker two groups at the start."""
    groups, start = [], 0
    while start < len(jobs):
        size = -(-2 * (len(jobs) - start) // (3 * max(1, threads)))
        groups.append(jobs[start:start + size])
        start += size
    return groups


def collect(inputs):
    """The input files, in order: a folder's WAV files (by their extension in
    any case, hidden ones left out), a glob's matches, the lines of an @LIST
    file, or a path as it is given."""
    files = []
    for item in inputs:
        if os.path.isdir(item):
            with os.scandir(item) as entries:
                names = sorted(entry.name for entry in entries if entry.name.lower().endswith(".wav")
                               and not entry.name.startswith(".") and entry.is_file())
            files.extend(os.path.join(item, name) for name in names)
        elif any(c in item for c in "*?["):
            files.extend(sorted(glob.glob(item)))
        elif item.startswith("@"):
            with open(item[1:]) as f:
                files.extend(line.strip() for line in f if line.strip())
        else:
            files.append(item)
    return files


def _check_chain(obj, chain):
    """Refuses a step that names no method of obj, or gives it a number of
    arguments other than its parameters after the array."""
    for name, words in chain:
        method = getattr(obj, name, None)
        if method is None or not callable(method):
            raise ValueError("no method %r" % name)
        try:
            parameters = list(inspect.signature(method).parameters)
        except (TypeError, ValueError):  # no signature to check against
            continue
        if len(parameters) != 1 + len(words):
            raise ValueError("%s(%s): the array and %d more arguments, %d given"
                             % (name, ", ".join(parameters), len(parameters) - 1, len(words)))


def _targets(files, out_dir):
    """(source, target) for each distinct input, the target named after the
    source in out_dir. Refuses, before anything is written, two inputs that
    would write the same output and an output that would replace its input.
    Paths are compared with their folders resolved, each folder once (a
    resolution per file took 8 ms for 200 files, while the workers wait)."""
    folders = {}

    def resolved(path):
        folder, name = os.path.split(os.path.abspath(path))
        if folder not in folders:
            folders[folder] = os.path.realpath(folder)
        return os.path.join(folders[folder], name)

    pairs, seen, by_name = [], set(), {}
    for source in files:
        real = resolved(source)
        if real in seen:  # named twice, e.g. by a folder and a glob
            continue
        seen.add(real)
        target = os.path.join(out_dir, os.path.basename(source))
        if resolved(target) == real:
            raise ValueError("the output %s would replace its input: choose another output folder" % target)
        other = by_name.setdefault(os.path.normcase(os.path.basename(source)), source)
        if other != source:
            raise ValueError("%s and %s would both be written to %s" % (other, source, target))
        pairs.append((source, target))
    return pairs


def up_to_date(source, target):
    return os.path.exists(target) and os.path.getmtime(target) >= os.path.getmtime(source)


# A local cluster's workers run a few long tasks on the same processors as the
# scheduler and the nannies. The workers' statistical profiler (a stack sample
# every 10 ms), the event loops' 20 ms ticks and the frequent monitors and
# work stealing would only take processor time from those tasks. Its workers
# run each task on their event-loop thread (see local_cluster), so they answer
# the scheduler only between tasks: the scheduler's check for workers that
# stop answering is off, and the nannies watch the worker processes instead.
_LOCAL_SETTINGS = {
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "1s",
    "distributed.worker.memory.monitor-interval": "1s",
    "distributed.admin.system-monitor.interval": "5s",
    "distributed.scheduler.work-stealing": False,
    "distributed.scheduler.worker-ttl": None,
}


def local_cluster(workers=2):
    """A Dask cluster of single-threaded worker processes on this machine,
    without a dashboard and without the background work above. Each worker
    runs its tasks on its event-loop thread (a synchronous executor), not on a
    second thread: a group of files then neither waits for a hand-over between
    two threads nor shares the interpreter and the processors with the loop
    (the workers' tasks took 4 to 8 % less time this way)."""
    import dask
    from dask.distributed import LocalCluster
    from dask.local import SynchronousExecutor

    with dask.config.set(_LOCAL_SETTINGS):
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                            dashboard_address=None, silence_logs=40, executor=SynchronousExecutor())


def run(inputs, out_dir, chain_text, scheduler=None, workers=2, progress=True, client=None):
    """Processes the files; returns (done, skipped, failures). Runs on `client`
    (a connected dask.distributed Client, left open) when one is given, else on
    the scheduler at `scheduler`, else on a local cluster of `workers`. Raises
    ValueError, having written nothing, for a chain the object cannot run,
    outputs that would clash or replace an input, or no local workers; OSError
    when the scheduler cannot be reached or the output folder not made."""
    from dask.distributed import Client, as_completed

    if client is None and not scheduler and workers < 1:
        raise ValueError("a local cluster needs at least one worker, not %d" % workers)
    chain = parse_chain(chain_text)
    # Activate once here, so that a module registered on first use is
    # registered before the workers start (they would race on the registry),
    # and so that a mistyped chain stops here rather than in every file.
    import qelvsonalter2

    _check_chain(qelvsonalter2.Sonalter2(), chain)
    pairs = _targets(collect(inputs), out_dir)
    jobs, skipped = [], []
    for source, target in pairs:
        (skipped if up_to_date(source, target) else jobs).append((source, target))
    if not jobs:
        return 0, skipped, []  # all up to date: no cluster to start or reach

    cluster, own_client = None, client is None
    if client is None and scheduler:
        client = Client(scheduler)
    elif client is None:
        cluster = local_cluster(workers)
        client = Client(cluster)
    failures, done, finished = [], 0, 0
    try:
        # Made once the cluster is reached, so that a refused run leaves nothing.
        os.makedirs(out_dir, exist_ok=True)
        threads = sum(client.nthreads().values()) or workers
        # One map for all the groups: submitting them one by one packed and
        # sent a graph per group, 1 to 3 ms each in this process, while the
        # workers waited for their first group and then for processor time.
        groups = _groups(jobs, threads)
        futures = client.map(process_files, groups, [chain] * len(groups), pure=False)
        # The bar moves on the completion notices the client receives anyway;
        # the results (a few words per file) are gathered once, at the end.
        # Fetching each group's results as it ended took a round trip through
        # the scheduler to the worker per group: 40 % more processor time in
        # this process, taken from the workers on a machine they fill.
        sizes = {future.key: len(group) for future, group in zip(futures, groups)}
        for future in as_completed(futures):
            finished += sizes[future.key]
            if progress:
                _bar(finished, len(jobs))
        for source, message in _results(client, futures, groups):
            if message:
                failures.append((source, message))
            else:
                done += 1
        if progress and futures:
            sys.stderr.write("\n")
    finally:
        if own_client:
            client.close()
        if cluster is not None:
            cluster.close()
    return done, skipped, failures


def _results(client, futures, groups):
    """(source, None) or (source, message) for every file, in the groups'
    order, gathered in one call. A group that failed as a whole (its workers
    died running it, or cannot import this module) fails its files with the
    task's error, not the run."""
    lost = {}
    for future in futures:
        if future.status == "error":
            error = future.exception()
            lost[future.key] = "%s: %s" % (type(error).__name__, error)
        elif future.status != "finished":
            lost[future.key] = "its task was %s" % future.status
    gathered = iter(client.gather([future for future in futures if future.key not in lost]))
    for future, group in zip(futures, groups):
        if future.key in lost:
            yield from ((source, lost[future.key]) for source, _ in group)
        else:
            yield from next(gathered)


def _bar(done, total, width=40):
    filled = width * done // total if total else width
    sys.stderr.write("\r[%s%s] %d/%d files" % ("#" * filled, "." * (width - filled), done, total))
    sys.stderr.flush()
