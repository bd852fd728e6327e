#include "say/signal_cleanup.h"

#include <limits.h>
#include <unistd.h>

#include <cstring>

namespace tolvaren_say {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may only read these: fixed buffers, written while the
// signals are held.
char temporary_paths[kMaxTemporaries][PATH_MAX];
volatile sig_atomic_t temporary_recorded[kMaxTemporaries] = {};

void OnSignal(int signal_number) {
  for (int slot = 0; slot < kMaxTemporaries; ++slot) {
    if (temporary_recorded[slot]) unlink(temporary_paths[slot]);
  }
  _exit(128 + signal_number);
}

sigset_t CleanupSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kSignals) sigaddset(&set, signal_number);
  return set;
}

}  // namespace

void RemoveTemporaryOnSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  // Every cleanup signal is held while one is handled.
  action.sa_mask = CleanupSignals();
  for (const int signal_number : kSignals) {
    sigaction(signal_number, &action, nullptr);
  }
}

SignalsHeld::SignalsHeld() {
  const sigset_t set = CleanupSignals();
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

int RecordTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int slot = 0; slot < kMaxTemporaries; ++slot) {
    if (temporary_recorded[slot]) continue;
    std::memcpy(temporary_paths[slot], path.c_str(), path.size() + 1);
    temporary_recorded[slot] = 1;
    return slot;
  }
  return -1;
}

void ForgetTemporary(int slot) {
  if (slot >= 0 && slot < kMaxTemporaries) temporary_recorded[slot] = 0;
}

}  // namespace tolvaren_say
