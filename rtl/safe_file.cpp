#include "rtl/safe_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "rtl/fatal.h"

namespace rtl {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

// ---------------------------------------------------------------------------
// Files

// Six characters for a temporary file's name, different at each call.
std::string random_letters() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<std::uint64_t> counter{0};
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t v = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(getpid()) << 32) ^
                      (++counter * 0x9e3779b97f4a7c15ull);
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(v);
      v = (v >> 8) | (v << 56);
    }
  }
  std::string letters;
  for (const unsigned char b : bytes) letters += kLetters[b % (sizeof kLetters - 1)];
  return letters;
}

// Creates a private temporary file in `folder` whose name is "." + at most
// kTemporaryNameKeeps bytes of `base` + "." + six random characters +
// `suffix`: its descriptor and `name`, or -1 with errno set.
int create_temporary(int folder, const std::string& base, std::string_view suffix, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = "." + base.substr(0, kTemporaryNameKeeps) + "." + random_letters() + std::string(suffix);
    const int fd = openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// While alive, SIGPIPE is blocked on the calling thread: a write into a pipe
// whose reader has gone fails with EPIPE (reported as "cannot write: Broken
// pipe") instead of the signal ending the program. A SIGPIPE raised
// meanwhile is taken away again, unless one was pending before.
class PipeSignalBlocked {
 public:
  PipeSignalBlocked() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    sigset_t pending;
    sigpending(&pending);
    pending_before_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~PipeSignalBlocked() {
    if (!pending_before_) {
      const struct timespec now {};
      while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  PipeSignalBlocked(const PipeSignalBlocked&) = delete;
  PipeSignalBlocked& operator=(const PipeSignalBlocked&) = delete;

 private:
  sigset_t pipe_{}, old_{};
  bool pending_before_ = false;
};

// Copies the file `from` in `folder` into `target`: into `into` when it is
// open already (a pipe's writing end, then closed), else opened here.
void copy_into(int folder, const std::string& from, const std::string& target, int into) {
  const PipeSignalBlocked no_pipe_signal;
  const int in = openat(folder, from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    const int error = errno;
    if (into >= 0) close(into);
    file_error(target, "cannot read back", error);
  }
  const int out = into >= 0 ? into : open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
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
// Both files are named in the folder open as `folder`.
void take_rights(int folder, const std::string& temporary, const std::string& earlier) {
  struct stat st {};
  const char* t = temporary.c_str();
  if (fstatat(folder, earlier.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
    if (fchownat(folder, t, st.st_uid, st.st_gid, 0) != 0)
      (void)!fchownat(folder, t, static_cast<uid_t>(-1), st.st_gid, 0);
    fchmodat(folder, t, st.st_mode & 07777, 0);
  } else {
    fchmodat(folder, t, 0666 & ~current_umask(), 0);
  }
}

// The folder part of `path` as it names it ("dir/" of "dir/name", "" of
// "name"), and the name in it.
std::string folder_prefix(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_in_folder(const std::string& path) { return path.substr(folder_prefix(path).size()); }

// Sets `path` to the file behind its symbolic links: each link followed (a
// relative one from its own folder), a dangling link naming the file to be
// created. 0, or why it cannot be reached (ELOOP: a loop of links).
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

// Why replacing `file` (a file behind its links) must fail before anything
// is written, as an open for writing would: 0, or EISDIR (a folder), or the
// error of opening the existing file for writing (EACCES, EROFS ...).
// Whether its folder may be written is not checked.
int open_error(const std::string& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : 0;
  // Replacing the file must not succeed where writing into it would fail.
  const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  close(fd);
  return 0;
}

}  // namespace

PendingFile::PendingFile(Unchecked, std::string target) : target_(std::move(target)) {
  if (target_.empty()) fatal_error("File name is blank: no file can be created");
  refuse_nul_bytes(target_, "File name");
}

PendingFile::PendingFile(std::string target, std::string_view suffix)
    : PendingFile(Unchecked{}, std::move(target)) {
  const char* failed = nullptr;
  if (const int error = create(suffix, failed); error != 0) {
    if (reason_ == nullptr) file_error(target_, failed, error);
    raise_fatal(FatalError("File " + target_ + ": " + failed + ": " + reason_, error, target_));
  }
}

Reservation PendingFile::reserve(std::string target, std::string_view suffix) {
  Reservation r;
  r.file.reset(new PendingFile(Unchecked{}, std::move(target)));
  r.error = r.file->create(suffix, r.failed);
  r.reason = r.file->reason_;
  if (r.error != 0) r.file.reset();
  return r;
}

int PendingFile::create(std::string_view suffix, const char*& failed) {
  failed = "cannot open";
  final_ = target_;
  int error = follow_links(final_);
  if (error == 0) error = open_error(final_);
  if (error != 0) return error;
  // The kind of file the target is, its links followed by the system (which
  // also follows /proc/self/fd/1 of /dev/stdout to a pipe).
  struct stat st {};
  special_ = (stat(target_.c_str(), &st) == 0 || stat(final_.c_str(), &st) == 0) && !S_ISREG(st.st_mode);
  if (special_ && S_ISFIFO(st.st_mode)) {
    // Opened now and without waiting: with nobody reading, an open for
    // writing would wait for a reader without end.
    pipe_fd_ = open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (pipe_fd_ < 0) {
      if (errno == ENXIO) reason_ = "no process reads the pipe";
      return errno;
    }
    // The contents then go in as the reader takes them.
    fcntl(pipe_fd_, F_SETFL, fcntl(pipe_fd_, F_GETFL) & ~O_NONBLOCK);
  } else if (special_ && S_ISDIR(st.st_mode)) {
    return EISDIR;
  } else if (special_ && !S_ISCHR(st.st_mode)) {
    // A socket cannot be written as a file; a block device would lose what it holds.
    reason_ = "not a regular file";
    return ENXIO;
  }
  // A device's or pipe's contents wait in the folder for temporary files.
  const std::string prefix = special_ ? std::string(P_tmpdir) + "/" : folder_prefix(final_);
  const std::string base = special_ ? "mapplot" : name_in_folder(final_);
  failed = "cannot create";
  folder_ = open(prefix.empty() ? "." : prefix.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return errno;
  std::string name;
  fd_ = create_temporary(folder_, base, suffix, name);
  if (fd_ < 0) return errno;
  name_ = std::move(name);
  temporary_ = prefix + name_;
  registration_.set_file(folder_, name_.c_str());
  failed = nullptr;
  return 0;
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) close(fd_);
  if (pipe_fd_ >= 0) close(pipe_fd_);
  if (!committed_ && !name_.empty()) unlinkat(folder_, name_.c_str(), 0);
  registration_.set_file(-1, nullptr);
  if (folder_ >= 0) close(folder_);
}

int PendingFile::take_descriptor() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void PendingFile::commit() {
  if (fd_ >= 0) close(take_descriptor());
  if (special_) {
    const int pipe = pipe_fd_;
    pipe_fd_ = -1;  // closed by the copy, whatever happens
    copy_into(folder_, name_, target_, pipe);
    unlinkat(folder_, name_.c_str(), 0);
  } else {
    const std::string earlier = name_in_folder(final_);
    take_rights(folder_, name_, earlier);
    if (renameat(folder_, name_.c_str(), folder_, earlier.c_str()) != 0)
      file_error(target_, "cannot replace", errno);
  }
  committed_ = true;
  registration_.set_file(-1, nullptr);
}

SafeFile::SafeFile(std::string target)
    : pending_(std::move(target)), fd_(pending_.take_descriptor()) {
  buffer_.reserve(kBufferSize);
}

SafeFile::~SafeFile() {
  if (fd_ >= 0) close(fd_);
}

void SafeFile::write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kBufferSize) flush();
  if (bytes.size() > kBufferSize) {
    write_through(bytes);  // more than the buffer holds: written from where it lies
    return;
  }
  buffer_.append(bytes);
}

void SafeFile::flush() {
  write_through(buffer_);
  buffer_.clear();
}

void SafeFile::write_through(std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      file_error(pending_.target(), "cannot write", errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void SafeFile::commit() {
  flush();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) file_error(pending_.target(), "cannot close", errno);
  pending_.commit();
}

}  // namespace rtl
