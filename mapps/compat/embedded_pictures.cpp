// libcairo's import of png_set_IHDR (the last setting cairo makes before it
// writes a picture) redirected to one that adds the quick settings when asked.

#include "mapps/compat/embedded_pictures.h"

#include <dlfcn.h>

#include <cstdint>

#include "mapps/compat/library_imports.h"

namespace mapps {
namespace {

thread_local bool quickly = false;

// The libpng 1.6 functions used, as its header declares them.
using SetHeader = void (*)(void* png, void* info, std::uint32_t width, std::uint32_t height,
                           int bit_depth, int colour_type, int interlace, int compression,
                           int filter);
using SetLevel = void (*)(void* png, int level);
using SetFilter = void (*)(void* png, int method, int filters);
constexpr int kFilterMethodBase = 0;
constexpr int kFilterUp = 0x20;
constexpr int kQuickLevel = 3;

struct Libpng {
  SetHeader set_header = nullptr;
  SetLevel set_level = nullptr;
  SetFilter set_filter = nullptr;
};

// libpng as libcairo loaded it (it may be private to a module that loaded
// cairo, so it is looked up by its name, not in the program's symbols); null
// when it is not in the process or lacks a function.
const Libpng* libpng() {
  static const Libpng* found = []() -> const Libpng* {
    void* handle = dlopen("libpng16.so.16", RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    static Libpng l;  // the handle stays open: libcairo keeps libpng loaded anyway
    l.set_header = reinterpret_cast<SetHeader>(dlsym(handle, "png_set_IHDR"));
    l.set_level = reinterpret_cast<SetLevel>(dlsym(handle, "png_set_compression_level"));
    l.set_filter = reinterpret_cast<SetFilter>(dlsym(handle, "png_set_filter"));
    return l.set_header && l.set_level && l.set_filter ? &l : nullptr;
  }();
  return found;
}

// png_set_IHDR for libcairo: libpng's own, then the quick settings.
void set_header(void* png, void* info, std::uint32_t width, std::uint32_t height, int bit_depth,
                int colour_type, int interlace, int compression, int filter) {
  const Libpng& l = *libpng();  // found before the redirection was made
  l.set_header(png, info, width, height, bit_depth, colour_type, interlace, compression, filter);
  if (!quickly) return;
  l.set_level(png, kQuickLevel);
  l.set_filter(png, kFilterMethodBase, kFilterUp);
}

}  // namespace

bool write_embedded_pictures_quickly(bool on) {
  static const bool redirected =
      libpng() != nullptr &&
      redirect_import("libcairo.so", "png_set_IHDR", reinterpret_cast<void*>(&set_header));
  quickly = on && redirected;
  return redirected;
}

}  // namespace mapps
