#include "fortran/allocation_count.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

namespace {
std::atomic<bool> counting{false};
std::atomic<long long> counted_bytes{0};

// The peak resident memory (VmHWM of /proc/self/status) in bytes; -1 unread.
long long peak_resident_bytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("VmHWM:")) return std::stoll(line.substr(6)) * 1024;  // in kB
  return -1;
}
}  // namespace

void* operator new(std::size_t n) {
  if (counting) counted_bytes += static_cast<long long>(n);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
// The nothrow forms too (the PostScript map's page in memory): storage from
// the C library's malloc, as the deletes below give it back.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (counting) counted_bytes += static_cast<long long>(n);
  return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept {
  return operator new(n, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace testing_support {

long long bytes_allocated_by(const std::function<void()>& call) {
  counted_bytes = 0;
  counting = true;
  call();
  counting = false;
  return counted_bytes.load();
}

std::optional<long long> peak_memory_growth_of(const std::function<void()>& call) {
  malloc_trim(0);  // freed storage given back, so that storage used again counts anew
  {
    std::ofstream clear_refs("/proc/self/clear_refs");
    clear_refs << "5";  // the peak becomes what is resident now
    clear_refs.flush();
    if (!clear_refs) return std::nullopt;
  }
  const long long before = peak_resident_bytes();
  call();
  const long long after = peak_resident_bytes();
  if (before < 0 || after < 0) return std::nullopt;
  return after - before;
}

}  // namespace testing_support
