// sonalter batch: one chain over many files in parallel on a Dask cluster.
// The batch lives in the Python module (python3 -m qelvsonalter2 batch); this
// command runs it with the same arguments under the tool's name.
#pragma once

namespace sonalter {

// IsBatchCommand
//   RETURNS whether the command line asks for the batch (its first word is
//   "batch"), before the tool's own options are read: the batch has its own.
bool IsBatchCommand(int argc, char** argv);

// RunBatch
//   Replaces this process with the Python interpreter the module was built for,
//   running "-m qelvsonalter2" with argv[1..] ("batch" and what follows), with
//   the package's folder put first on PYTHONPATH when this tool finds it (the
//   build tree's bin/../python, or the installation's site folder).
//   RETURNS only by throwing Failure, when the interpreter cannot be started.
[[noreturn]] void RunBatch(int argc, char** argv);

}  // namespace sonalter
