#include "fortran/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> counting{false};
std::atomic<long long> counted_bytes{0};
}  // namespace

void* operator new(std::size_t n) {
  if (counting) counted_bytes += static_cast<long long>(n);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
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

}  // namespace testing_support
