#include "say/signal_cleanup.h"

#include <limits.h>
#include <unistd.h>

#include <cstring>

namespace tolvaren_say {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may only read this: a fixed buffer, written while the
// signals are held.
char temporary_path[PATH_MAX];
volatile sig_atomic_t temporary_recorded = 0;

void OnSignal(int signal_number) {
  if (temporary_recorded) unlink(temporary_path);
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

bool RecordTemporary(const std::string& path) {
  if (path.size() >= sizeof(temporary_path)) return false;
  temporary_recorded = 0;
  std::memcpy(temporary_path, path.c_str(), path.size() + 1);
  temporary_recorded = 1;
  return true;
}

void ForgetTemporary() { temporary_recorded = 0; }

}  // namespace tolvaren_say
