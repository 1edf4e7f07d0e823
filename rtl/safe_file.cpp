#include "rtl/safe_file.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "rtl/fatal.h"

namespace rtl {

// ---------------------------------------------------------------------------
// The temporary files being written, reachable from a signal handler: a list
// of slots that only grows (slots are reused, never freed), each holding the
// path of one temporary file or nothing.

struct PendingSlot {
  std::atomic<bool> used{false};
  std::atomic<const char*> path{nullptr};
  PendingSlot* next = nullptr;
};

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

std::atomic<PendingSlot*> slots{nullptr};

// Removes the temporary files; async-signal-safe.
void unlink_pending() noexcept {
  for (PendingSlot* s = slots.load(); s != nullptr; s = s->next)
    if (const char* path = s->path.load()) unlink(path);
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
// Files

[[noreturn]] void file_error(const std::string& target, const char* what, int error) {
  fatal_error("File " + target + ": " + what + ": " + std::strerror(error));
}

// "dir/name" -> "dir/.name.XXXXXX" + suffix; "name" -> ".name.XXXXXX" + suffix,
// with at most kTemporaryNameKeeps bytes of the name.
std::string temporary_pattern(const std::string& target, std::string_view suffix) {
  const auto slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "." + base.substr(0, kTemporaryNameKeeps) + ".XXXXXX" + std::string(suffix);
}

void copy_into(const std::string& from, const std::string& target) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) file_error(target, "cannot read back", errno);
  const int out = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    close(in);
    file_error(target, "cannot open", error);
  }
  char block[1 << 16];
  for (;;) {
    const ssize_t n = read(in, block, sizeof block);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(in);  // the report may unwind instead of ending the program
      close(out);
      file_error(target, "cannot read back", error);
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, block + done, static_cast<std::size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        close(in);
        close(out);
        file_error(target, "cannot write", error);
      }
      done += w;
    }
  }
  close(in);
  if (close(out) != 0) file_error(target, "cannot close", errno);
}

// The process's file creation mask, read without changing it (changing it
// for a moment would give files that other threads create the wrong mode).
mode_t current_umask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// The earlier file's rights for the new one; the mode of an ordinary create
// when there is none. Owner and group only where the process may set them.
void take_rights(const std::string& temporary, const std::string& earlier) {
  struct stat st {};
  if (stat(earlier.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    if (chown(temporary.c_str(), st.st_uid, st.st_gid) != 0)
      (void)!chown(temporary.c_str(), static_cast<uid_t>(-1), st.st_gid);
    chmod(temporary.c_str(), st.st_mode & 07777);
  } else {
    chmod(temporary.c_str(), 0666 & ~current_umask());
  }
}

}  // namespace

namespace {

// The file behind the symbolic links at `path` (see open_error); 0 or why
// it cannot be reached.
int follow_links(std::string& path) {
  std::string at = path;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (hops == 40) return ELOOP;  // the kernel's own limit
    char link[PATH_MAX];
    const ssize_t n = readlink(at.c_str(), link, sizeof link);
    if (n < 0) return errno;
    if (n == static_cast<ssize_t>(sizeof link)) return ENAMETOOLONG;
    std::string next(link, static_cast<std::size_t>(n));
    if (next.empty()) return ENOENT;
    if (next[0] != '/') {
      const auto slash = at.rfind('/');
      if (slash != std::string::npos) next = at.substr(0, slash + 1) + next;
    }
    at = std::move(next);
  }
  path = std::move(at);
  return 0;
}

}  // namespace

int open_error(const std::string& target, std::string& file) {
  file = target;
  if (const int error = follow_links(file); error != 0) return error;
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : 0;
  // Replacing the file must not succeed where writing into it would fail.
  const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  close(fd);
  return 0;
}

PendingFile::PendingFile(std::string target, std::string_view suffix) : target_(std::move(target)) {
  if (target_.empty()) fatal_error("File name is blank: no file can be created");
  refuse_nul_bytes(target_, "File name");
  if (const int error = open_error(target_, final_); error != 0) file_error(target_, "cannot open", error);
  struct stat st {};
  special_ = stat(final_.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
  std::string pattern = special_ ? std::string(P_tmpdir) + "/.mapplot.XXXXXX" + std::string(suffix)
                                 : temporary_pattern(final_, suffix);
  slot_ = acquire_slot();
  begin_pending();
  const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd < 0) {
    const int error = errno;
    end_pending();
    release_slot(slot_);
    file_error(target_, "cannot create", error);
  }
  close(fd);
  temporary_ = std::move(pattern);
  slot_->path = temporary_.c_str();
}

PendingFile::~PendingFile() {
  if (!committed_) unlink(temporary_.c_str());
  release_slot(slot_);
  end_pending();
}

void PendingFile::commit() {
  if (special_) {
    copy_into(temporary_, target_);
    unlink(temporary_.c_str());
  } else {
    take_rights(temporary_, final_);
    if (std::rename(temporary_.c_str(), final_.c_str()) != 0) file_error(target_, "cannot replace", errno);
  }
  committed_ = true;
  slot_->path = nullptr;
}

SafeFile::SafeFile(std::string target) : pending_(std::move(target)) {
  fd_ = open(pending_.temporary().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd_ < 0) file_error(pending_.target(), "cannot open", errno);
  buffer_.reserve(kBufferSize);
}

SafeFile::~SafeFile() {
  if (fd_ >= 0) close(fd_);
}

void SafeFile::write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kBufferSize) flush();
  if (bytes.size() > kBufferSize) {
    buffer_.assign(bytes);
    flush();
    return;
  }
  buffer_.append(bytes);
}

void SafeFile::flush() {
  const char* p = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      file_error(pending_.target(), "cannot write", errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void SafeFile::commit() {
  flush();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) file_error(pending_.target(), "cannot close", errno);
  pending_.commit();
}

void remove_pending_files() {
  for (PendingSlot* s = slots.load(); s != nullptr; s = s->next)
    if (const char* path = s->path.exchange(nullptr)) unlink(path);
}

}  // namespace rtl
