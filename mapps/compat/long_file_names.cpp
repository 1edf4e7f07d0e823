// Long file names handed to giza (see long_file_names.h).

#include "mapps/compat/long_file_names.h"

#include "mapps/pgplot/plot_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace mapps {

std::string GizaFileName::open(const std::string& file) {
  close();
  folder_ = ::open(folder_of(file).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return {};
  return "/proc/self/fd/" + std::to_string(folder_) + "/" + file.substr(file.rfind('/') + 1);
}

void GizaFileName::close() {
  if (folder_ >= 0) ::close(folder_);
  folder_ = -1;
}

}  // namespace mapps
