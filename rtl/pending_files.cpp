#include "rtl/pending_files.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <vector>

#include "rtl/fatal.h"
#include "rtl/hooks.h"

namespace rtl {

// ---------------------------------------------------------------------------
// The temporary files being written, reachable from a signal handler: a list
// of slots that only grows (slots are reused, never freed), each holding the
// name of one temporary file and the folder it is relative to (a descriptor,
// or AT_FDCWD), or nothing. The folder is set before the name and the name
// cleared before anything else changes, so a name seen has its folder.

struct PendingSlot {
  std::atomic<bool> used{false};
  std::atomic<int> folder{AT_FDCWD};
  std::atomic<const char*> path{nullptr};
  PendingSlot* next = nullptr;
};

namespace {

std::atomic<PendingSlot*> slots{nullptr};

// Removes the temporary files; async-signal-safe.
void unlink_pending() noexcept {
  for (PendingSlot* s = slots.load(); s != nullptr; s = s->next)
    if (const char* path = s->path.load()) unlinkat(s->folder.load(), path, 0);
}

PendingSlot* acquire_slot() {
  for (PendingSlot* s = slots.load(); s != nullptr; s = s->next) {
    bool free = false;
    if (s->used.compare_exchange_strong(free, true)) return s;
  }
  auto* s = new PendingSlot;
  s->used = true;
  s->next = slots.load();
  while (!slots.compare_exchange_weak(s->next, s)) {
  }
  return s;
}

void release_slot(PendingSlot* s) {
  s->path = nullptr;
  s->used = false;
}

// ---------------------------------------------------------------------------
// Signals that end a program while it writes a file: the handler removes the
// temporary files, then lets the signal end the program as it would have.

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

struct SignalState {
  std::mutex mutex;
  int pending = 0;  // temporary files being written
  struct sigaction previous[kSignalCount] = {};
  bool installed[kSignalCount] = {};
  bool exit_hook = false;
};

SignalState& signal_state() {
  static SignalState* state = new SignalState;  // never destroyed: used until the very end
  return *state;
}

int signal_index(int sig) {
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == sig) return i;
  return -1;
}

extern "C" void on_signal(int sig, siginfo_t* info, void* context) {
  const int i = signal_index(sig);
  const struct sigaction& previous = signal_state().previous[i];
  // The program's own handler decides; it may go on, and so may the file.
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    if (previous.sa_sigaction != nullptr) {
      previous.sa_sigaction(sig, info, context);
      return;
    }
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
    return;
  }
  unlink_pending();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(sig, &default_action, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, sig);
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(sig);
}

bool is_ours(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == on_signal;
}

void remove_at_exit() { remove_pending_files(); }

// A temporary file begins: the first one puts the handlers in place.
void begin_pending() {
  SignalState& st = signal_state();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (!st.exit_hook) st.exit_hook = std::atexit(remove_at_exit) == 0;
  if (st.pending++ > 0) return;
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction current {};
    sigaction(kSignals[i], nullptr, &current);
    st.installed[i] = false;
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
    st.previous[i] = current;
    struct sigaction ours {};
    ours.sa_sigaction = on_signal;
    ours.sa_mask = current.sa_mask;
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    st.installed[i] = sigaction(kSignals[i], &ours, nullptr) == 0;
  }
}

// A temporary file ends: after the last one the program's own handlers are
// back, unless it has installed others meanwhile.
void end_pending() {
  SignalState& st = signal_state();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (--st.pending > 0) return;
  for (int i = 0; i < kSignalCount; ++i) {
    if (!st.installed[i]) continue;
    struct sigaction current {};
    sigaction(kSignals[i], nullptr, &current);
    if (is_ours(current)) sigaction(kSignals[i], &st.previous[i], nullptr);
    st.installed[i] = false;
  }
}

}  // namespace

PendingRegistration::PendingRegistration() : slot_(acquire_slot()) { begin_pending(); }

PendingRegistration::~PendingRegistration() {
  release_slot(slot_);
  end_pending();
}


void PendingRegistration::set_file(int folder, const char* name) {
  slot_->path = nullptr;
  if (name == nullptr) return;
  slot_->folder = folder;
  slot_->path = name;
}

// ---------------------------------------------------------------------------
// Ending work: the registered works, each done at most once.

namespace {

struct EndingWorks {
  std::recursive_mutex mutex;  // held while a work is done: a work may end the program again
  std::vector<EndingWork*> works;
  std::vector<const EndingWork*> done;
};

EndingWorks& ending_works() {
  static EndingWorks* works = new EndingWorks;  // never destroyed: used at exit
  return *works;
}

}  // namespace

EndingWork::EndingWork(std::function<void()> work) : work_(std::move(work)) {
  EndingWorks& w = ending_works();
  const std::lock_guard<std::recursive_mutex> lock(w.mutex);
  w.works.push_back(this);
}

EndingWork::~EndingWork() {
  EndingWorks& w = ending_works();
  const std::lock_guard<std::recursive_mutex> lock(w.mutex);
  w.works.erase(std::remove(w.works.begin(), w.works.end(), this), w.works.end());
  w.done.erase(std::remove(w.done.begin(), w.done.end(), this), w.done.end());
}

void do_ending_work() {
  EndingWorks& w = ending_works();
  const std::lock_guard<std::recursive_mutex> lock(w.mutex);
  for (std::size_t k = 0; k < w.works.size(); ++k) {
    EndingWork* const work = w.works[k];
    if (std::find(w.done.begin(), w.done.end(), work) != w.done.end()) continue;
    w.done.push_back(work);
    try {
      const ScopedHooks to_caller(Hooks{.fatal_errors = FatalErrors::kToCaller});
      work->work_();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      std::fflush(stderr);
    } catch (...) {
    }
  }
}

void remove_pending_files() {
  do_ending_work();
  for (PendingSlot* s = slots.load(); s != nullptr; s = s->next)
    if (const char* path = s->path.exchange(nullptr)) unlinkat(s->folder.load(), path, 0);
}

}  // namespace rtl
