// The PGPLOT calls over giza's PGPLOT interface. This is the only file that
// includes cpgplot.h.

#include "mapps/pgplot.h"

#include <cpgplot.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "textfmt/fixed_text.h"

namespace mapps {
namespace {

// A PGPLOT device type and the giza device that draws it.
struct DeviceType {
  std::string_view pgplot;     // lower case
  const char* giza;            // giza's device string
  std::string_view extension;  // of the files giza writes; empty: no file
  const char* kind;            // for messages
};

constexpr std::array<DeviceType, 11> kDeviceTypes = {{
    {"ps", "/ps", ".ps", "PostScript"},
    {"cps", "/ps", ".ps", "PostScript"},
    {"vps", "/vps", ".ps", "PostScript"},
    {"vcps", "/vps", ".ps", "PostScript"},
    {"eps", "/eps", ".eps", "PostScript"},
    {"pdf", "/pdf", ".pdf", "PDF"},
    {"vpdf", "/vpdf", ".pdf", "PDF"},
    {"png", "/png", ".png", "PNG"},
    {"tpng", "/png", ".png", "PNG"},
    {"svg", "/svg", ".svg", "SVG"},
    {"null", "/null", "", "null"},
}};

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const auto ca = static_cast<unsigned char>(a[k]);
    const auto cb = static_cast<unsigned char>(b[k]);
    if (std::tolower(ca) != std::tolower(cb)) return false;
  }
  return true;
}

const DeviceType* find_device_type(std::string_view type) {
  for (const auto& t : kDeviceTypes)
    if (same_ignoring_case(t.pgplot, type)) return &t;
  return nullptr;
}

void report(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%%PGPLOT, %s\n", message.c_str());
  std::fflush(stderr);
}

// Why no file can be made at `target` (an errno value), or 0. The temporary
// file goes into the folder of the target, or of the file a link names.
int output_error(const std::string& target) {
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return 0;  // a device or pipe: written through a copy
  }
  std::string path = target;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(target.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
  }
  const auto slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  return access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

// The device between pgbeg and pgend.
struct OpenDevice {
  bool open = false;
  std::unique_ptr<rtl::PendingFile> pending;  // the target, reserved
  std::string drawn;  // the file giza writes: the reserved name and its extension
  // A program that ends with the device open (a fatal error while drawing)
  // leaves no half-drawn file behind. giza finishes its file only when the
  // device is closed, so it is closed before the file is removed.
  ~OpenDevice() {
    if (!open) return;
    cpgend();
    if (pending) std::remove(drawn.c_str());
  }
};

OpenDevice& device() {
  static OpenDevice d;
  return d;
}

// Texts as giza needs them: NUL-terminated, trailing blanks dropped.
std::string visible(std::string_view text) { return std::string(textfmt::trim(text)); }

}  // namespace

std::string pgplot_output_file(std::string_view device_spec) {
  const auto slash = device_spec.rfind('/');
  if (slash == std::string_view::npos) return {};
  const DeviceType* type = find_device_type(textfmt::strip(device_spec.substr(slash + 1)));
  if (type == nullptr || type->extension.empty()) return {};
  const std::string_view name = textfmt::strip(device_spec.substr(0, slash));
  return name.empty() ? "pgplot" + std::string(type->extension) : std::string(name);
}

int pgbeg(int unit, std::string_view device_spec, int nxsub, int nysub) {
  if (device().open) pgend();
  const auto slash = device_spec.rfind('/');
  if (slash == std::string_view::npos) {
    report("No device type in device string: " + visible(device_spec));
    return 0;
  }
  const std::string_view type_name = textfmt::strip(device_spec.substr(slash + 1));
  const DeviceType* type = find_device_type(type_name);
  if (type == nullptr) {
    report("Unrecognized device type: " + std::string(type_name));
    return 0;
  }

  OpenDevice& d = device();
  std::string giza_spec = type->giza;
  if (!type->extension.empty()) {
    const std::string target = pgplot_output_file(device_spec);
    if (const int error = output_error(target); error != 0) {
      report(std::string("Cannot open output file for ") + type->kind + " plot: " + target +
             ": " + std::strerror(error));
      return 0;
    }
    d.pending = std::make_unique<rtl::PendingFile>(target);
    // A name that ends in the extension is taken by giza as it is.
    d.drawn = d.pending->temporary() + std::string(type->extension);
    giza_spec = d.drawn + type->giza;
  }
  const int status = cpgbeg(unit, giza_spec.c_str(), nxsub, nysub);
  if (status != 1) {
    report("Cannot open graphics device " + visible(device_spec));
    if (d.pending) std::remove(d.drawn.c_str());
    d.pending.reset();
    return status;
  }
  d.open = true;
  return 1;
}

void pgend() {
  OpenDevice& d = device();
  if (!d.open) return;
  cpgend();
  d.open = false;
  const std::unique_ptr<rtl::PendingFile> pending = std::move(d.pending);
  if (!pending) return;
  struct stat st {};
  if (stat(d.drawn.c_str(), &st) != 0) return;  // nothing written: the target stays
  if (std::rename(d.drawn.c_str(), pending->temporary().c_str()) != 0) {
    const int error = errno;
    std::remove(d.drawn.c_str());
    rtl::fatal_error("File " + pending->target() + ": cannot replace: " + std::strerror(error));
  }
  pending->commit();
}

void pgscf(int font) {
  if (device().open) cpgscf(font);
}

void pgslw(int line_width) {
  if (device().open) cpgslw(line_width);
}

void pgsvp(float xleft, float xright, float ybot, float ytop) {
  if (device().open) cpgsvp(xleft, xright, ybot, ytop);
}

void pgwnad(float x1, float x2, float y1, float y2) {
  if (device().open) cpgwnad(x1, x2, y1, y2);
}

void pgbbuf() {
  if (device().open) cpgbbuf();
}

void pgctab(const float* l, const float* r, const float* g, const float* b, int nc, float contra,
            float bright) {
  if (device().open) cpgctab(l, r, g, b, nc, contra, bright);
}

void pgimag(const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
            float a2, const float* tr) {
  if (!device().open) return;
  if (a1 == a2) {
    report("PGIMAG: low and high values are equal: every cell drawn in the low colour");
    if (!std::isfinite(a1)) return;
    // Any other high value maps a1 itself onto the first colour.
    a2 = a1 == 0.0f ? 1.0f : 0.5f * a1;
  }
  cpgimag(a, idim, jdim, i1, i2, j1, j2, a1, a2, tr);
}

void pgebuf() {
  if (device().open) cpgebuf();
}

void pgsci(int colour_index) {
  if (device().open) cpgsci(colour_index);
}

void pgsls(int line_style) {
  if (device().open) cpgsls(line_style);
}

void pgline(int n, const float* xpts, const float* ypts) {
  if (device().open) cpgline(n, xpts, ypts);
}

void pgbox(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
           int nysub) {
  if (device().open) cpgbox(visible(xopt).c_str(), xtick, nxsub, visible(yopt).c_str(), ytick, nysub);
}

void pgsch(float size) {
  if (device().open) cpgsch(size);
}

void pgwedg(std::string_view side, float disp, float width, float fg, float bg,
            std::string_view label) {
  if (!device().open) return;
  if (fg == bg) {
    report("PGWEDG: low and high values are equal: no wedge drawn");
    return;
  }
  cpgwedg(visible(side).c_str(), disp, width, fg, bg, visible(label).c_str());
}

void pglab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl) {
  if (device().open) cpglab(visible(xlbl).c_str(), visible(ylbl).c_str(), visible(toplbl).c_str());
}

const Pgplot& giza_pgplot() {
  static const Pgplot table = {pgbeg,  pgscf,  pgslw, pgsvp, pgwnad, pgbbuf,
                               pgctab, pgimag, pgebuf, pgsci, pgsls, pgline,
                               pgbox,  pgsch,  pgwedg, pglab, pgend};
  return table;
}

namespace {
const Pgplot*& installed() {
  static const Pgplot* table = nullptr;
  return table;
}
}  // namespace

const Pgplot& pgplot() { return installed() ? *installed() : giza_pgplot(); }

void set_pgplot(const Pgplot* table) { installed() = table; }

}  // namespace mapps
