#include "Interrupt.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace sonalter {

namespace {

constexpr int kSlots = 4;
constexpr size_t kPathMax = 4096;

volatile std::sig_atomic_t g_interrupts = 0;
// A slot's path is written while its flag is 0 and read by the handler only when it is 1.
char g_paths[kSlots][kPathMax];
volatile std::sig_atomic_t g_pathUsed[kSlots] = {};

void Say(const char* text) {
    // Only async-signal-safe calls here: write(2) and _exit(2).
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void RemovePendingFiles() {
    for (int i = 0; i < kSlots; ++i) {
        if (g_pathUsed[i]) unlink(g_paths[i]);
    }
}

// SIGTERM and SIGHUP end the process as they would anyway, without leaving a
// temporary file behind.
void OnTermination(int signal) {
    RemovePendingFiles();
    _exit(128 + signal);
}

void OnInterrupt(int) {
    if (g_interrupts > 0) {
        RemovePendingFiles();
        Say("\nsonalter: interrupted; nothing was written\n");
        _exit(130);
    }
    g_interrupts = 1;
    Say("\nsonalter: stopping (press Ctrl-C again to quit at once)\n");
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // reads and writes carry on; the flag is checked between steps
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnTermination;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool InterruptRequested() { return g_interrupts != 0; }

int RemoveOnAbort(const char* path) {
    if (!path || std::strlen(path) >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (!g_pathUsed[i]) {
            std::strcpy(g_paths[i], path);
            g_pathUsed[i] = 1;
            return i;
        }
    }
    return -1;
}

void KeepOnAbort(int slot) {
    if (slot >= 0 && slot < kSlots) g_pathUsed[slot] = 0;
}

}  // namespace sonalter
