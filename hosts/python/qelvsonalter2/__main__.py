"""python3 -m qelvsonalter2 batch --chain "Normalize 95 true Fade 100 0" --out OUT FILES..."""

import argparse
import sys


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m qelvsonalter2")
    commands = parser.add_subparsers(dest="command", required=True)
    batch = commands.add_parser("batch", help="apply a chain of methods to many WAV files in parallel")
    batch.add_argument("inputs", nargs="+", help="files, folders, globs, or @LIST (one path per line)")
    batch.add_argument("--chain", required=True, help='methods and arguments, e.g. "Normalize 95 true Fade 100 0"')
    batch.add_argument("--out", required=True, help="folder for the outputs (same file names)")
    batch.add_argument("--scheduler", help="address of an existing Dask scheduler (default: a local cluster)")
    batch.add_argument("--workers", type=int, default=2, help="workers of the local cluster (default 2)")
    batch.add_argument("-q", "--quiet", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)

    from . import batch as runner

    try:
        done, skipped, failures = runner.run(args.inputs, args.out, args.chain, args.scheduler, args.workers,
                                             progress=not args.quiet)
    except (ValueError, OSError) as error:  # a refused chain or input, an unreachable scheduler, a folder
        print("error: %s" % error, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        # Every output is written whole or not at all, so the same command
        # later carries on where this one stopped.
        print("\ninterrupted: the outputs written so far are complete; run the same command again for the rest",
              file=sys.stderr)
        return 130
    if not (done or skipped or failures):
        print("no input files (a folder is searched for .wav files)", file=sys.stderr)
    print("%d written, %d up to date, %d failed" % (done, len(skipped), len(failures)))
    for source, message in failures:
        print("  %s: %s" % (source, message))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
