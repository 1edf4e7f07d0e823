#include "rtl/safe_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  if (const int error = create(suffix, failed); error != 0) file_error(target_, failed, error);
}

Reservation PendingFile::reserve(std::string target, std::string_view suffix) {
  Reservation r;
  r.file.reset(new PendingFile(Unchecked{}, std::move(target)));
  r.error = r.file->create(suffix, r.failed);
  if (r.error != 0) r.file.reset();
  return r;
}

int PendingFile::create(std::string_view suffix, const char*& failed) {
  failed = "cannot open";
  final_ = target_;
  int error = follow_links(final_);
  if (error == 0) error = open_error(final_);
  if (error != 0) return error;
  struct stat st {};
  special_ = stat(final_.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
  std::string pattern = special_ ? std::string(P_tmpdir) + "/.mapplot.XXXXXX" + std::string(suffix)
                                 : temporary_pattern(final_, suffix);
  failed = "cannot create";
  fd_ = mkostemps(pattern.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd_ < 0) return errno;
  temporary_ = std::move(pattern);
  registration_.set_path(temporary_.c_str());
  failed = nullptr;
  return 0;
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
  registration_.set_path(nullptr);
}

int PendingFile::take_descriptor() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void PendingFile::commit() {
  if (fd_ >= 0) close(take_descriptor());
  if (special_) {
    copy_into(temporary_, target_);
    unlink(temporary_.c_str());
  } else {
    take_rights(temporary_, final_);
    if (std::rename(temporary_.c_str(), final_.c_str()) != 0) file_error(target_, "cannot replace", errno);
  }
  committed_ = true;
  registration_.set_path(nullptr);
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

}  // namespace rtl
