// Ctrl-C handling. The first SIGINT only sets a flag: the running transform sees
// it in its progress handler and stops through CancelTransform, and the chain
// stops before the next method. A second SIGINT ends the process at once with
// status 130, removing any half-written temporary file first.
#pragma once

namespace sonalter {

// InstallInterruptHandler
//   Installs the SIGINT handler, and SIGTERM and SIGHUP handlers that remove the
//   temporary files before the process ends. Call once, before any work.
void InstallInterruptHandler();

// InterruptRequested
//   RETURNS true once Ctrl-C has been pressed.
bool InterruptRequested();

// RemoveOnAbort / KeepOnAbort
//   Registers (or forgets) a temporary file that the second Ctrl-C removes before
//   the process ends. At most four are tracked; the path is copied.
//   RETURNS for RemoveOnAbort a slot number for KeepOnAbort, or -1 when none is free.
int RemoveOnAbort(const char* path);
void KeepOnAbort(int slot);

}  // namespace sonalter
