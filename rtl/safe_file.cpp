#include "rtl/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "rtl/fatal.h"

namespace rtl {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;

std::mutex& pending_mutex() {
  static std::mutex m;
  return m;
}

std::vector<std::string>& pending_paths() {
  static std::vector<std::string> paths;
  return paths;
}

void forget_pending(const std::string& path) {
  std::lock_guard<std::mutex> lock(pending_mutex());
  auto& paths = pending_paths();
  paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
}

[[noreturn]] void file_error(const std::string& target, const char* what, int error) {
  fatal_error("File " + target + ": " + what + ": " + std::strerror(error));
}

// "dir/name" -> "dir/.name.XXXXXX"; "name" -> ".name.XXXXXX"
std::string temporary_pattern(const std::string& target) {
  const auto slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "." + base + ".XXXXXX";
}

// Where the finished file must go: a link is followed, so that the file it
// names is replaced and the link stays.
std::string resolve_target(const std::string& target) {
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(target.c_str(), nullptr)) {
      std::string resolved = real;
      std::free(real);
      return resolved;
    }
  }
  return target;
}

// A target that exists but is no regular file (a device, a pipe) cannot be
// replaced by renaming; its content is copied into it instead.
bool is_special(const std::string& target) {
  struct stat st {};
  return stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
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
      file_error(target, "cannot read back", errno);
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

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
  if (target_.empty()) fatal_error("File name is blank: no file can be created");
  special_ = is_special(target_);
  std::string pattern = special_ ? std::string(P_tmpdir) + "/.mapplot.XXXXXX"
                                 : temporary_pattern(resolve_target(target_));
  const int fd = mkstemp(pattern.data());
  if (fd < 0) file_error(target_, "cannot create", errno);
  // mkstemp makes the file private; give it the mode an ordinary create would.
  fchmod(fd, 0666 & ~current_umask());
  close(fd);
  temporary_ = pattern;
  std::lock_guard<std::mutex> lock(pending_mutex());
  pending_paths().push_back(temporary_);
}

PendingFile::~PendingFile() {
  if (!committed_) {
    std::remove(temporary_.c_str());
    forget_pending(temporary_);
  }
}

void PendingFile::commit() {
  if (special_) {
    copy_into(temporary_, target_);
    std::remove(temporary_.c_str());
  } else if (std::rename(temporary_.c_str(), resolve_target(target_).c_str()) != 0) {
    const int error = errno;
    file_error(target_, "cannot replace", error);
  }
  committed_ = true;
  forget_pending(temporary_);
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
  std::lock_guard<std::mutex> lock(pending_mutex());
  for (const auto& path : pending_paths()) std::remove(path.c_str());
  pending_paths().clear();
}

}  // namespace rtl
