"""The batch command on a two-worker local Dask cluster: every output equals a
single call's result, a corrupt input is reported without stopping the rest,
a second run (through sonalter batch) skips what is up to date (without a
cluster when that is all), and a run on the caller's client gives the same
outputs and leaves the client open."""

import os
import subprocess
import sys
import tempfile
import unittest
import unittest.mock

import numpy

from qelvsonalter2 import batch


class Batch(unittest.TestCase):
    def test_batch_matches_single_calls_reports_failures_and_resumes(self):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "in")
            out = os.path.join(folder, "out")
            os.makedirs(source)
            rng = numpy.random.default_rng(5)
            inputs = {}
            for i in range(6):
                samples = rng.integers(-20000, 20000, size=3000 + 100 * i, dtype=numpy.int16)
                path = os.path.join(source, "f%d.wav" % i)
                batch.write_wav(path, samples, 22050, 1 + i % 2)
                inputs[path] = samples
            with open(os.path.join(source, "broken.wav"), "wb") as f:
                f.write(b"RIFF\x10\x00\x00\x00WAVEjunk")
            chain = "Normalize 95 true Fade 100 0 Invert"

            env = dict(os.environ)
            result = subprocess.run([sys.executable, "-m", "qelvsonalter2", "batch", source, "--out", out,
                                     "--chain", chain, "--workers", "2"],
                                    capture_output=True, text=True, env=env, timeout=300)
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertIn("6 written, 0 up to date, 1 failed", result.stdout)
            self.assertIn("broken.wav", result.stdout)

            for path, samples in inputs.items():
                written, rate, channels = batch.read_wav(os.path.join(out, os.path.basename(path)))
                expected = batch.apply_chain(samples, rate, channels, batch.parse_chain(chain))
                numpy.testing.assert_array_equal(written, expected)
            self.assertFalse([n for n in os.listdir(out) if n.startswith(".partial-")])

            # Again through the command-line tool when it is built, which runs the same.
            tool = os.path.join(os.environ.get("QELV_BIN", ""), "sonalter")
            command = [tool] if os.path.exists(tool) else [sys.executable, "-m", "qelvsonalter2"]
            again = subprocess.run(command + ["batch", source, "--out", out, "--chain", chain, "-q"],
                                   capture_output=True, text=True, env=env, timeout=300)
            self.assertIn("0 written, 6 up to date, 1 failed", again.stdout)
            # Nothing to do: no scheduler is reached (none listens there), and a
            # local cluster without workers, which would wait forever, is refused.
            first = os.path.join(source, "f0.wav")
            self.assertEqual(batch.run([first], out, chain, scheduler="tcp://127.0.0.1:9"),
                             (0, [(first, os.path.join(out, "f0.wav"))], []))
            with self.assertRaisesRegex(ValueError, "at least one worker"):
                batch.run([source], out, chain, workers=0)

            # On a client the caller keeps: the same outputs, and the client left open.
            from dask.distributed import Client, LocalCluster

            kept = os.path.join(folder, "kept")
            with LocalCluster(n_workers=1, threads_per_worker=1, processes=False, dashboard_address=None) as cluster, \
                    Client(cluster) as c:
                done, skipped, failures = batch.run([source], kept, chain, progress=False, client=c)
                self.assertEqual((done, skipped, len(failures)), (6, [], 1))
                self.assertEqual(c.status, "running")

                # A group whose task fails as a whole (as when its worker dies)
                # fails its files only: here the first of groups of 5, 1 and 1.
                def fails_with_f3(pairs, steps, process=batch.process_files):
                    if any(name.endswith("f3.wav") for name, _ in pairs):
                        raise RuntimeError("worker lost")
                    return process(pairs, steps)

                with unittest.mock.patch.object(batch, "process_files", fails_with_f3):
                    done, _, failures = batch.run([source], os.path.join(folder, "lost"), chain, progress=False,
                                                  client=c)
                self.assertEqual((done, len(failures)), (2, 5))
                self.assertIn((os.path.join(source, "f3.wav"), "RuntimeError: worker lost"), failures)
            for name in os.listdir(out):
                with open(os.path.join(out, name), "rb") as a, open(os.path.join(kept, name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)

    def test_inputs_and_refused_runs_that_write_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            for sub in ("a", "b"):
                os.makedirs(os.path.join(folder, sub))
                batch.write_wav(os.path.join(folder, sub, "x.wav"), numpy.zeros(10, numpy.int16), 8000, 1)
            a, b, out = (os.path.join(folder, n) for n in ("a", "b", "out"))
            # A folder's WAV files in any case of the extension; not hidden or other files.
            for name in ("Y.WAV", ".partial-1.wav", "notes.txt"):
                open(os.path.join(a, name), "w").close()
            self.assertEqual(batch.collect([a]), [os.path.join(a, "Y.WAV"), os.path.join(a, "x.wav")])
            with self.assertRaisesRegex(ValueError, "both be written"):
                batch.run([a, b], out, "Invert")
            with self.assertRaisesRegex(ValueError, "would replace its input"):
                batch.run([a], a, "Invert")
            import dask  # a scheduler that cannot be reached

            with dask.config.set({"distributed.comm.timeouts.connect": "1s"}), self.assertRaises(OSError):
                batch.run([a], out, "Invert", scheduler="tcp://127.0.0.1:9")
            self.assertFalse(os.path.exists(out))
            # The same file named twice is one input.
            self.assertEqual(batch._targets([a + "/x.wav", a + "/./x.wav"], out), [(a + "/x.wav", out + "/x.wav")])

    def test_chain_parsing_and_checking(self):
        self.assertEqual(batch.parse_chain("Normalize 95 true Fade 100 0"),
                         [("Normalize", ["95", "true"]), ("Fade", ["100", "0"])])
        with self.assertRaises(ValueError):
            batch.parse_chain("95 Normalize")
        import qelvsonalter2

        s = qelvsonalter2.Sonalter2()
        batch._check_chain(s, batch.parse_chain("Normalize 95 true Invert"))
        for wrong, message in (("Normalise 95 true", "no method 'Normalise'"), ("ArrayFrequency 8000", "no method"),
                               ("Fade 100", r"Fade\(WavArray, AmpLeft, AmpRight\): .* 2 more arguments, 1 given")):
            with self.assertRaisesRegex(ValueError, message):
                batch._check_chain(s, batch.parse_chain(wrong))


if __name__ == "__main__":
    unittest.main()
