// The file of a PostScript map device (see plot_file.h).

#include "mapps/pgplot/plot_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "rtl/safe_file.h"

namespace mapps {

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool is_complete(const std::string& file, std::string_view ending) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  std::string tail(ending.size(), '\0');
  const bool whole =
      fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(ending.size()) &&
      pread(fd, tail.data(), tail.size(), st.st_size - static_cast<off_t>(tail.size())) ==
          static_cast<ssize_t>(tail.size()) &&
      tail == ending;
  close(fd);
  return whole;
}

int write_error(const std::string& file, const std::string& messages) {
  const std::string folder = folder_of(file);
  const bool reported = messages.find("error while writing") != std::string::npos;
  struct statvfs fs {};
  if (statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0) return ENOSPC;
  struct rlimit limit {};
  struct stat st {};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      (reported ||
       (stat(file.c_str(), &st) == 0 && static_cast<rlim_t>(st.st_size) >= limit.rlim_cur)))
    return EFBIG;
  return reported ? -1 : 0;
}

std::string about_target(std::string messages, const std::string& drawn,
                         const std::string& target) {
  for (auto at = messages.find(drawn); at != std::string::npos;
       at = messages.find(drawn, at + target.size()))
    messages.replace(at, drawn.size(), target);
  return messages;
}

}  // namespace mapps
