// The NetCDF map file through the serial NetCDF library: the four forms, the
// file created under a temporary name and renamed, and read_map. What goes
// into an open file is nc_core's.

#include "mapnc/nc_map.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <netcdf.h>
#include <netcdf_mem.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "maparg/convert.h"
#include "maparg/request.h"
#include "mapdata/dat_map.h"
#include "mapnc/nc_core.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "textfmt/fixed_text.h"

namespace mapnc {
namespace {

using maparg::Index;
using maparg::OptText;
using maparg::Reduce;
using maparg::VecView;

// The NetCDF library keeps its open files in global tables unguarded: one
// call at a time uses it.
std::mutex& netcdf_mutex() {
  static std::mutex m;
  return m;
}

// An open NetCDF file, abandoned when left before it is closed.
struct OpenFile {
  int id = -1;
  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (id >= 0) nc_abort(id);
  }
};

// The values of z written per call: about 4 MiB, so that long work can be
// stopped between them and a strided z is copied a slab at a time.
constexpr std::size_t kSlabBytes = std::size_t{1} << 22;

// The fatal error of a NetCDF call that failed at `step` of writing
// `target`, with NetCDF's message.
[[noreturn]] void netcdf_failure(const std::string& target, const char* step, int status) {
  if (status == NC_ENOMEM) rtl::out_of_memory();
  rtl::raise_fatal(rtl::FatalError("File " + target + ": " + step + ": " + nc_strerror(status),
                                   status > 0 ? status : 0, target));
}

// A call into NetCDF; on failure the file is abandoned before the report,
// which may end the program.
template <class Call>
void checked(OpenFile& nc, const std::string& target, const char* step, Call&& call) {
  const int status = call();
  if (status == NC_NOERR) return;
  if (nc.id >= 0) nc_abort(nc.id);
  nc.id = -1;
  netcdf_failure(target, step, status);
}

// The finished file's bytes, as NetCDF hands them over.
struct MemoryImage {
  NC_memio io{};
  MemoryImage() = default;
  MemoryImage(const MemoryImage&) = delete;
  MemoryImage& operator=(const MemoryImage&) = delete;
  ~MemoryImage() { std::free(io.memory); }
};

// The length of an HDF5 file image whose memory may run on past the file's
// end: the end of file address of its superblock (base address 0, as NetCDF
// writes it), or the whole image when that cannot be read.
std::size_t hdf5_length(const unsigned char* image, std::size_t size) {
  const auto address = [&](std::size_t at, std::size_t width) -> std::optional<std::uint64_t> {
    if (width == 0 || width > 8 || at + width > size) return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t k = width; k-- > 0;) v = (v << 8) | image[at + k];
    return v;
  };
  if (size < 16) return size;
  const unsigned version = image[8];
  std::optional<std::uint64_t> base, end;
  if (version <= 1) {
    const std::size_t width = image[13], at = version == 0 ? 24 : 28;
    base = address(at, width);
    end = address(at + 2 * width, width);
  } else if (version <= 3) {
    const std::size_t width = image[9];
    base = address(12, width);
    end = address(12 + 2 * width, width);
  }
  return base == std::uint64_t{0} && end && *end <= size ? static_cast<std::size_t>(*end) : size;
}

[[noreturn]] void argument_error(const std::string& message) {
  rtl::fatal_error("nc_map: " + message);
}

// A view of the elements of a matrix as a flat vector (first index fastest)
// where they lie so in memory; otherwise a packed copy held in `copy`.
template <class T>
VecView<T> flat(const maparg::MatView<T>& m, std::vector<T>& copy) {
  const bool in_place =
      m.size() <= 1 ||
      ((m.extent1() <= 1 || &m.element(1, 0) - &m.element(0, 0) == 1) &&
       (m.extent2() <= 1 || &m.element(0, 1) - &m.element(0, 0) == m.extent1()));
  if (in_place) return VecView<T>(&m.element(0, 0), m.size());
  copy = maparg::pack<T>(m);
  return VecView<T>(copy);
}

// Writes the file: the texts prepared as the data export prepares them, every
// check and logarithm before the file is created.
template <class T>
void write_map(VecView<T> x, VecView<T> y, VecView<T> z, std::optional<int> log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file) {
  MapHeader h = map_header(std::is_same_v<T, float> ? NC_FLOAT : NC_DOUBLE, log_option, xlabel,
                           ylabel, title);
  const bool log = maparg::truth(log_option);
  const std::string name(textfmt::strip(file.value_or(kDefaultFileName)));
  rtl::refuse_nul_bytes(name, "File name");

  if (x.empty() || y.empty()) argument_error("x and y must hold one value at least");
  h.nx = static_cast<std::size_t>(x.size());
  h.ny = static_cast<std::size_t>(y.size());
  if (static_cast<std::uint64_t>(z.size()) != std::uint64_t{h.nx} * h.ny)
    argument_error("z holds " + std::to_string(z.size()) + " values, not nx * ny = " +
                   std::to_string(h.nx) + " * " + std::to_string(h.ny));

  std::vector<T> xcopy, ycopy, logs;
  const VecView<T> xs = maparg::as_contiguous<T>(x, xcopy);
  const VecView<T> ys = maparg::as_contiguous<T>(y, ycopy);
  if (log) {
    logs = maparg::checked_logs(z);
    z = VecView<T>(logs);
  }

  // The file is made in memory and then written as any other file is
  // (rtl::SafeFile): NetCDF never writes to the disk, so a disk that fills
  // up, a device or a pipe is met by the project's own writing, reported as
  // for every other file, and NetCDF is never left with a file it failed to
  // write.
  MemoryImage image;
  {
    const std::lock_guard<std::mutex> lock(netcdf_mutex());
    rtl::check_interruption();
    OpenFile nc;
    const std::size_t values = (h.nx + h.ny + h.nx * h.ny) * sizeof(T);
    checked(nc, name, "cannot create", [&] {
      return nc_create_mem("map", NC_NETCDF4, values + (std::size_t{1} << 16), &nc.id);
    });
    MapVariables v;
    checked(nc, name, "cannot write", [&] { return define_map(nc.id, h, v); });
    checked(nc, name, "cannot write",
            [&] { return put_coordinates(nc.id, v, xs.data(), ys.data()); });
    const std::size_t rows = std::max<std::size_t>(1, kSlabBytes / sizeof(T) / h.nx);
    std::vector<T> slab;
    for (std::size_t first = 0; first < h.ny; first += rows) {
      rtl::check_interruption();
      const std::size_t n = std::min(rows, h.ny - first);
      const T* row_values = nullptr;
      if (z.contiguous()) {
        row_values = z.data() + first * h.nx;
      } else {
        slab.resize(n * h.nx);
        for (std::size_t k = 0; k < slab.size(); ++k)
          slab[k] = z.element(static_cast<Index>(first * h.nx + k));
        row_values = slab.data();
      }
      checked(nc, name, "cannot write",
              [&] { return put_rows(nc.id, v, h.nx, first, n, row_values); });
    }
    const int id = nc.id;
    nc.id = -1;  // closed, whatever the outcome
    checked(nc, name, "cannot write", [&] { return nc_close_memio(id, &image.io); });
  }
  rtl::check_interruption();
  rtl::SafeFile out(name);
  const auto* bytes = static_cast<const unsigned char*>(image.io.memory);
  out.write(std::string_view(reinterpret_cast<const char*>(bytes),
                             hdf5_length(bytes, image.io.size)));
  out.commit();
  maparg::console_line(" Output in ", name);
}

}  // namespace

void nc_map(VecView<float> x, VecView<float> y, VecView<float> z, std::optional<int> log_option,
            OptText xlabel, OptText ylabel, OptText title, OptText file) try {
  write_map(x, y, z, log_option, xlabel, ylabel, title, file);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void nc_map_r8(VecView<double> x, VecView<double> y, VecView<double> z,
               std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
               OptText file) try {
  write_map(x, y, z, log_option, xlabel, ylabel, title.value_or(mapdata::kDefaultTitleR8), file);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

namespace {

// A matrix z must be nx x ny.
template <typename T>
void check_matrix(VecView<T> x, VecView<T> y, const maparg::MatView<T>& z) {
  if (z.extent1() != x.size() || z.extent2() != y.size())
    argument_error("z is a " + std::to_string(z.extent1()) + " x " + std::to_string(z.extent2()) +
                   " matrix, not nx x ny = " + std::to_string(x.size()) + " x " +
                   std::to_string(y.size()));
}

}  // namespace

void nc_map_2d(VecView<float> x, VecView<float> y, maparg::MatView<float> z,
               std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
               OptText file) try {
  check_matrix(x, y, z);
  std::vector<float> copy;
  write_map(x, y, flat(z, copy), log_option, xlabel, ylabel, title, file);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void nc_map_2d_r8(VecView<double> x, VecView<double> y, maparg::MatView<double> z,
                  std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                  OptText file) try {
  check_matrix(x, y, z);
  std::vector<double> copy;
  write_map(x, y, flat(z, copy), log_option, xlabel, ylabel, title, file);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// Whether the first bytes are those of a NetCDF file: NetCDF-4 (an HDF5
// file) or the classic, 64-bit offset and 64-bit data formats.
bool netcdf_signature(std::string_view first) {
  static constexpr std::string_view kHdf5("\x89HDF\r\n\x1a\n", 8);
  return first.starts_with(kHdf5) || first.starts_with(std::string_view("CDF\x01", 4)) ||
         first.starts_with(std::string_view("CDF\x02", 4)) ||
         first.starts_with(std::string_view("CDF\x05", 4));
}

// The header of a classic NetCDF file (formats CDF-1, CDF-2 and CDF-5),
// walked with every count and length checked against what the file has left:
// NetCDF's own reader takes storage for what the header declares (a name of
// 4 GiB) before it finds that the file does not hold it.
class ClassicHeader {
 public:
  ClassicHeader(int fd, std::uint64_t size, char version)
      : fd_(fd), size_(size), count_bytes_(version == 5 ? 8 : 4),
        offset_bytes_(version == 1 ? 4 : 8), wide_types_(version == 5) {}

  // Whether the header holds no more than the file does.
  bool fits() {
    at_ = 4;
    std::uint64_t records = 0;
    return count(records) && list(kDimension, [this] {
             std::uint64_t length = 0;
             return name() && count(length);
           }) && list(kAttribute, [this] { return attribute(); }) &&
           list(kVariable, [this] { return variable(); });
  }

 private:
  static constexpr std::uint32_t kDimension = 10, kVariable = 11, kAttribute = 12;

  std::uint64_t left() const { return size_ - at_; }

  bool number(std::uint64_t& v, int bytes) {
    if (left() < std::uint64_t(bytes)) return false;
    unsigned char b[8] = {};
    if (::pread(fd_, b, std::size_t(bytes), static_cast<off_t>(at_)) != bytes) return false;
    v = 0;
    for (int k = 0; k < bytes; ++k) v = (v << 8) | b[k];
    at_ += std::uint64_t(bytes);
    return true;
  }
  bool count(std::uint64_t& v) { return number(v, count_bytes_); }
  // n bytes and their padding to a multiple of four.
  bool skip(std::uint64_t n) {
    if (n > left()) return false;
    n += (4 - n % 4) % 4;
    if (n > left()) return false;
    at_ += n;
    return true;
  }
  bool name() {
    std::uint64_t length = 0;
    return count(length) && skip(length);
  }
  // A list of elements, each four bytes at least, or the absent list.
  template <class Element>
  bool list(std::uint32_t tag, Element element) {
    std::uint64_t t = 0, n = 0;
    if (!number(t, 4) || !count(n)) return false;
    if (t == 0 && n == 0) return true;
    if (t != tag || n > left() / 4) return false;
    for (std::uint64_t k = 0; k < n; ++k)
      if (!element()) return false;
    return true;
  }
  bool attribute() {
    std::uint64_t type = 0, n = 0;
    if (!name() || !number(type, 4) || !count(n)) return false;
    static constexpr std::uint64_t kWidths[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
    if (type == 0 || type > (wide_types_ ? 11u : 6u)) return false;
    const std::uint64_t width = kWidths[type];
    return n <= left() / width && skip(n * width);
  }
  bool variable() {
    std::uint64_t ndims = 0, id = 0, type = 0, vsize = 0, begin = 0;
    if (!name() || !count(ndims) || ndims > left() / std::uint64_t(count_bytes_)) return false;
    for (std::uint64_t k = 0; k < ndims; ++k)
      if (!count(id)) return false;
    return list(kAttribute, [this] { return attribute(); }) && number(type, 4) && count(vsize) &&
           number(begin, offset_bytes_);
  }

  int fd_;
  std::uint64_t size_, at_ = 0;
  int count_bytes_, offset_bytes_;
  bool wide_types_;
};

// How long NetCDF may take over a NetCDF-4 file's trial: two seconds, and a
// second for each 4 MiB of the file (the trial reads chunked values whole).
std::chrono::milliseconds trial_time(std::uint64_t size) {
  return std::chrono::milliseconds(2000 + size / (std::uint64_t{1} << 22) * 1000);
}

// The process's address space now, in bytes (0 when unknown).
std::uint64_t address_space() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long long pages = 0;
  if (f == nullptr) return 0;
  if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
  std::fclose(f);
  return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// Whether NetCDF gets through the NetCDF-4 file `reachable` (`size` bytes):
// "" when it does, else the error. HDF5, which reads these files, can be
// sent round a loop without end, or after storage without bound, by the
// metadata of a file made for it; so the library first reads the file
// (all but contiguous values, which are plain bytes) in a child process of
// its own, given its time (trial_time) and an address space of what this
// one has, twice the file and 512 MiB, and ended when its time is up.
std::string trial_in_child(const std::string& reachable, std::uint64_t size,
                           const std::string& path) {
  const std::string refused = path + ": not a readable NetCDF file: ";
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return refused + "no trial: " + std::strerror(errno);
  const std::uint64_t room = address_space() + 2 * size + (std::uint64_t{1} << 29);
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    return refused + "no trial: " + std::strerror(error);
  }
  if (child == 0) {
    ::close(ends[0]);
    std::string answer = "E";
    try {
      rlimit limit{};
      if (::getrlimit(RLIMIT_AS, &limit) == 0 && room > 0 &&
          (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > room)) {
        limit.rlim_cur = room;
        ::setrlimit(RLIMIT_AS, &limit);
      }
      int id = -1;
      if (const int s = nc_open(reachable.c_str(), NC_NOWRITE, &id); s != NC_NOERR) {
        answer += refused + nc_strerror(s);
      } else {
        const mapdata::MapReadResult r = read_opened(id, size, path, Reading::trial);
        answer = r ? "K" : "E" + r.error;
      }
    } catch (...) {
      answer = "E" + refused + "Out of memory";
    }
    for (std::size_t done = 0; done < answer.size();) {
      const ssize_t n = ::write(ends[1], answer.data() + done, answer.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(ends[1]);
  const auto deadline = std::chrono::steady_clock::now() + trial_time(size);
  std::string answer;
  bool finished = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{ends[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char block[4096];
    const ssize_t n = ::read(ends[0], block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      finished = true;
      break;
    }
    answer.append(block, static_cast<std::size_t>(n));
  }
  ::close(ends[0]);
  if (!finished) ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (!finished)
    return refused + "NetCDF did not get through it within " +
           std::to_string(trial_time(size).count() / 1000) + " s";
  if (answer == "K") return {};
  if (answer.size() > 1 && answer[0] == 'E') return answer.substr(1);
  return refused + "NetCDF ended abnormally on it";
}

}  // namespace

mapdata::MapReadResult read_map(const std::string& path) try {
  struct Descriptor {
    int fd;
    ~Descriptor() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  struct stat st {};
  // Anything but a regular file (a pipe, a device) is read as it comes, by
  // the data file's reader, which opens it itself.
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(file.fd);
    file.fd = -1;
    return mapdata::read_map_file(path);
  }
  char first[8] = {};
  const ssize_t n = ::pread(file.fd, first, sizeof first, 0);
  if (n <= 0 || !netcdf_signature(std::string_view(first, static_cast<std::size_t>(n))))
    return mapdata::read_map_file(path);
  if (first[0] == 'C' &&
      !ClassicHeader(file.fd, static_cast<std::uint64_t>(st.st_size), first[3]).fits()) {
    mapdata::MapReadResult r;
    r.error = path + ": not a readable NetCDF file: its header declares more than its " +
              std::to_string(st.st_size) + " bytes hold";
    return r;
  }
  // NetCDF opens the very file looked at, by its descriptor, whatever the
  // length of its path.
  const std::string reachable = "/proc/self/fd/" + std::to_string(file.fd);
  const std::lock_guard<std::mutex> lock(netcdf_mutex());
  if (first[0] != 'C') {
    if (std::string error = trial_in_child(reachable, static_cast<std::uint64_t>(st.st_size), path);
        !error.empty()) {
      mapdata::MapReadResult r;
      r.error = std::move(error);
      return r;
    }
  }
  OpenFile nc;
  if (const int s = nc_open(reachable.c_str(), NC_NOWRITE, &nc.id); s != NC_NOERR) {
    nc.id = -1;
    mapdata::MapReadResult r;
    r.error = path + ": not a readable NetCDF file: " + nc_strerror(s);
    return r;
  }
  mapdata::MapReadResult r = read_opened(nc.id, static_cast<std::uint64_t>(st.st_size), path);
  const int id = nc.id;
  nc.id = -1;
  nc_close(id);
  return r;
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapnc
