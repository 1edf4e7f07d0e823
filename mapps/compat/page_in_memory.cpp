// libcairo's import of tmpfile() redirected to a stream held in memory
// (library_imports.h).

#include "mapps/compat/page_in_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "mapps/compat/library_imports.h"

namespace mapps {
namespace {

std::atomic<bool> lost{false};

// A file of bytes in memory, read and written at one position.
struct Page {
  std::string bytes;
  std::size_t at = 0;
};

ssize_t page_read(void* cookie, char* buffer, std::size_t size) {
  Page& page = *static_cast<Page*>(cookie);
  const std::size_t left = page.at < page.bytes.size() ? page.bytes.size() - page.at : 0;
  const std::size_t n = std::min(size, left);
  std::memcpy(buffer, page.bytes.data() + page.at, n);
  page.at += n;
  return static_cast<ssize_t>(n);
}

// Never reports a failure: cairo's error path is the fault to avoid. Bytes
// that find no storage are noted as lost instead.
ssize_t page_write(void* cookie, const char* buffer, std::size_t size) {
  Page& page = *static_cast<Page*>(cookie);
  try {
    if (page.bytes.size() < page.at + size) page.bytes.resize(page.at + size);
    std::memcpy(page.bytes.data() + page.at, buffer, size);
    page.at += size;
  } catch (const std::exception&) {  // bad_alloc, or a length no string can have
    lost = true;
  }
  return static_cast<ssize_t>(size);
}

int page_seek(void* cookie, off64_t* offset, int whence) {
  Page& page = *static_cast<Page*>(cookie);
  const off64_t from = whence == SEEK_SET ? 0
                       : whence == SEEK_CUR ? static_cast<off64_t>(page.at)
                                            : static_cast<off64_t>(page.bytes.size());
  if (*offset < -from) return -1;
  page.at = static_cast<std::size_t>(from + *offset);
  *offset = static_cast<off64_t>(page.at);
  return 0;
}

int page_close(void* cookie) {
  delete static_cast<Page*>(cookie);
  return 0;
}

// tmpfile() for libcairo: a new page in memory (nullptr without storage,
// which cairo reports as exhausted storage).
std::FILE* page_in_memory() {
  Page* page = new (std::nothrow) Page;
  if (page == nullptr) return nullptr;
  std::FILE* file = fopencookie(page, "w+", {page_read, page_write, page_seek, page_close});
  if (file == nullptr) delete page;
  return file;
}

}  // namespace

bool keep_cairo_pages_in_memory() {
  static const bool done =
      redirect_import("libcairo.so", "tmpfile", reinterpret_cast<void*>(&page_in_memory));
  return done;
}

bool cairo_page_lost_bytes() { return lost.exchange(false); }

}  // namespace mapps
