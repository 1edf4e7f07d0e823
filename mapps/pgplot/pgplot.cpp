// The PGPLOT calls over giza's PGPLOT interface: the device table, opening
// and closing a device, and the thin wrappers. Texts, images and the file are
// drawn and finished by plot_text, plot_images and plot_file.

#include "mapps/pgplot/pgplot.h"

#include <cpgplot.h>
extern "C" {  // giza's header declares its functions without C linkage for C++
#include <giza.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>
#include <string>
#include <vector>

#include "mapps/compat/page_in_memory.h"
#include "mapps/compat/long_file_names.h"
#include "mapps/compat/unsmoothed_images.h"
#include "mapps/pgplot/plot_file.h"
#include "mapps/pgplot/plot_images.h"
#include "mapps/pgplot/plot_text.h"
#include "mapps/compat/stdio_catch.h"
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
  std::string_view ending;     // the last bytes of every whole file of the kind
  ImageCells images;           // how its images get cells of one colour
};

constexpr std::string_view kPostScriptEnd = "%%EOF\n";
constexpr std::string_view kPngEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);  // the empty end chunk
constexpr std::string_view kSvgEnd = "</svg>\n";

constexpr std::array<DeviceType, 11> kDeviceTypes = {{
    {"ps", "/ps", ".ps", "PostScript", kPostScriptEnd, ImageCells::kAsGiven},
    {"cps", "/ps", ".ps", "PostScript", kPostScriptEnd, ImageCells::kAsGiven},
    {"vps", "/vps", ".ps", "PostScript", kPostScriptEnd, ImageCells::kAsGiven},
    {"vcps", "/vps", ".ps", "PostScript", kPostScriptEnd, ImageCells::kAsGiven},
    {"eps", "/eps", ".eps", "PostScript", kPostScriptEnd, ImageCells::kAsGiven},
    {"pdf", "/pdf", ".pdf", "PDF", kPostScriptEnd, ImageCells::kAsGiven},
    {"vpdf", "/vpdf", ".pdf", "PDF", kPostScriptEnd, ImageCells::kAsGiven},
    {"png", "/png", ".png", "PNG", kPngEnd, ImageCells::kDevicePixels},
    {"tpng", "/png", ".png", "PNG", kPngEnd, ImageCells::kDevicePixels},
    {"svg", "/svg", ".svg", "SVG", kSvgEnd, ImageCells::kBlocks},
    {"null", "/null", "", "null", "", ImageCells::kAsGiven},
}};

const DeviceType* find_device_type(std::string_view type) {
  for (const auto& t : kDeviceTypes)
    if (textfmt::same_ignoring_case(t.pgplot, type)) return &t;
  return nullptr;
}

// A device string taken apart at its last "/": the name before it and the
// device type after it, without leading and trailing blanks; type is null
// for a type that is missing (no "/") or unknown.
struct DeviceString {
  std::string_view name;
  std::string_view type_name;
  const DeviceType* type;
};

DeviceString split_device_string(std::string_view device_spec) {
  const auto slash = device_spec.rfind('/');
  if (slash == std::string_view::npos) return {{}, {}, nullptr};
  const std::string_view type_name = textfmt::strip(device_spec.substr(slash + 1));
  return {textfmt::strip(device_spec.substr(0, slash)), type_name, find_device_type(type_name)};
}

// The file a device of `type` writes for `name`, see pgplot_output_file.
std::string output_file(std::string_view name, const DeviceType& type) {
  if (type.extension.empty()) return {};
  return name.empty() ? "pgplot" + std::string(type.extension) : std::string(name);
}

void report(const std::string& message) { pgplot_message(message); }

// Passes on what giza printed: its messages on standard error as it wrote
// them, and each line it wrote on standard output (notes such as the limits of
// a viewport it refused, bare line feeds) as a PGPLOT message, blank lines
// left out, so that standard output carries only console records.
void pass_on(const CaughtOutput& printed) {
  if (!printed.err.empty()) {
    std::fflush(stdout);
    std::fputs(printed.err.c_str(), stderr);
    std::fflush(stderr);
  }
  std::string_view rest = printed.out;
  while (!rest.empty()) {
    const auto end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = textfmt::strip(rest.substr(0, end));
    if (!line.empty()) report(std::string(line));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
}

// Runs giza's `calls` with what giza prints held back (stdio_catch.h), then
// passes it on.
void giza(const std::function<void()>& calls) { pass_on(catch_stdio(calls)); }

// giza draws on one current device for the whole process: the thread that
// opens a device holds the lock until the device is closed, and the calls of
// other threads wait in pgbeg meanwhile. Only the holder touches the device.
struct GizaLock {
  std::mutex mutex;
  std::atomic<std::thread::id> holder{};
};

GizaLock& giza_lock() {
  static GizaLock* lock = new GizaLock;  // never destroyed: a device may close at exit
  return *lock;
}

bool held_here() { return giza_lock().holder.load() == std::this_thread::get_id(); }

void enter_giza() {
  giza_lock().mutex.lock();
  giza_lock().holder = std::this_thread::get_id();
}

void leave_giza() {
  giza_lock().holder = std::thread::id{};
  giza_lock().mutex.unlock();
}

// The device between pgbeg and pgend.
struct OpenDevice {
  bool open = false;
  const DeviceType* type = nullptr;
  std::unique_ptr<rtl::PendingFile> pending;  // the target, reserved
  std::string drawn;      // the file giza writes: the reserved temporary file
  std::string giza_file;  // the name giza is given for it
  GizaFileName long_name;  // holds giza_file's folder open when drawn is too long for giza
  PageImages images;
  // A program that ends with the device open (a fatal error while drawing)
  // leaves no half-drawn file behind. giza finishes its file only when the
  // device is closed, so it is closed before the file is removed.
  ~OpenDevice() { abandon(); }
  // The page is erased first: giza then has nothing to write, and the device
  // closes at once, where a large image would take seconds to be written
  // into a file that is removed anyway.
  void abandon() {
    if (!open || !held_here()) return;
    giza([this] {
      cpgeras();
      end_device(type->images, images);
    });
    open = false;
    if (pending) std::remove(drawn.c_str());
    pending.reset();
    long_name.close();
    leave_giza();
  }
};

OpenDevice& device() {
  static OpenDevice d;
  return d;
}

// Whether the calling thread has a device open.
bool open_here() { return held_here() && device().open; }

// giza keeps a device's file name in a buffer of 256 bytes (see GizaFileName).
constexpr std::size_t kLongestGizaName = 255;

// Reserves the target of `type`'s file `target` for the open device `d`:
// the device string for giza, or the errno of why not.
std::variant<std::string, int> reserve(OpenDevice& d, const DeviceType& type,
                                       const std::string& target) {
  // A name that ends in the extension is taken by giza as it is.
  rtl::Reservation reserved = rtl::PendingFile::reserve(target, type.extension);
  if (!reserved.file) return reserved.error;
  // The PostScript page goes through memory, not through a file cairo
  // could fail to write (see page_in_memory.h).
  keep_cairo_pages_in_memory();
  cairo_page_lost_bytes();  // counted afresh for this file
  d.pending = std::move(reserved.file);
  d.drawn = d.pending->temporary();
  // The temporary file's own name is short (rtl::kTemporaryNameKeeps), so
  // the name through its folder always fits.
  d.giza_file = d.drawn.size() <= kLongestGizaName ? d.drawn : d.long_name.open(d.drawn);
  if (d.giza_file.empty()) {
    const int error = errno;
    std::remove(d.drawn.c_str());
    d.pending.reset();
    return error;
  }
  return d.giza_file + type.giza;
}

// Draws `calls` on the open device; nothing while this thread has none open.
void draw(const std::function<void()>& calls) {
  if (open_here()) giza(calls);
}

}  // namespace

std::string pgplot_output_file(std::string_view device_spec) {
  const DeviceString parts = split_device_string(device_spec);
  return parts.type == nullptr ? std::string() : output_file(parts.name, *parts.type);
}

std::string pgplot_file_kind(std::string_view device_spec) {
  const DeviceType* type = split_device_string(device_spec).type;
  return type == nullptr || type->extension.empty() ? std::string() : std::string(type->kind);
}

void pgplot_message(std::string_view message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%%PGPLOT, %.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
}

PgplotRefusal pgplot_refusal(std::string_view device_spec, int status) {
  if (device_spec.find('/') == std::string_view::npos)
    return {"No device type in device string: " + giza_text(device_spec)};
  const DeviceString parts = split_device_string(device_spec);
  if (parts.type == nullptr) return {"Unrecognized device type: " + std::string(parts.type_name)};
  if (status >= 0) return {"Cannot open graphics device " + giza_text(device_spec)};
  const int error = -status;
  const std::string file = output_file(parts.name, *parts.type);
  return {std::string("Cannot open output file for ") + parts.type->kind + " plot: " + file +
              ": " + std::strerror(error),
          error, file};
}

int pgbeg(int unit, std::string_view device_spec, int nxsub, int nysub) {
  if (open_here()) pgend();
  const DeviceString parts = split_device_string(device_spec);
  const DeviceType* type = parts.type;  // none without a "/" or for an unknown type
  const auto refuse = [device_spec](int status) {
    report(pgplot_refusal(device_spec, status).message);
    return status;
  };
  if (type == nullptr) return refuse(0);
  enter_giza();
  OpenDevice& d = device();
  std::string giza_spec = type->giza;
  if (!type->extension.empty()) {
    auto reserved = reserve(d, *type, output_file(parts.name, *type));
    if (const int* error = std::get_if<int>(&reserved)) {
      leave_giza();
      return refuse(-*error);
    }
    giza_spec = std::get<std::string>(std::move(reserved));
  }
  int status = 0;
  giza([&] { status = cpgbeg(unit, giza_spec.c_str(), nxsub, nysub); });
  if (status != 1) {
    if (d.pending) std::remove(d.drawn.c_str());
    d.pending.reset();
    d.long_name.close();
    leave_giza();
    return refuse(status < 0 ? 0 : status);
  }
  d.open = true;
  d.type = type;
  d.images = {};
  return 1;
}

void pgend() {
  if (!open_here()) return;
  OpenDevice& d = device();
  // Work to be stopped stops before giza spends its time writing the file,
  // and a page that cairo could not finish is abandoned.
  try {
    rtl::check_interruption();
    reserve_page_end(d.images);
  } catch (...) {
    d.abandon();
    throw;
  }
  CaughtOutput printed;
  try {
    printed = catch_stdio([&d] { end_device(d.type->images, d.images); });
  } catch (...) {
    d.open = false;
    leave_giza();
    throw;
  }
  d.open = false;
  const std::unique_ptr<rtl::PendingFile> pending = std::move(d.pending);
  const DeviceType& type = *d.type;
  const std::string drawn = d.drawn, giza_file = d.giza_file;
  d.long_name.close();
  const bool page_lost = pending && cairo_page_lost_bytes();
  // giza is done with the device: what is left is the file's own.
  leave_giza();
  if (!pending) {
    pass_on(printed);
    return;
  }
  bool complete = is_complete(drawn, type.ending);
  const int error = complete ? keep_images_unsmoothed(drawn, type.images)
                             : write_error(drawn, printed.err);
  complete = complete && error == 0;
  // What giza said of a file it could not write is the fatal error's cause,
  // which a caller taking the error back gets in its message: then nothing
  // is printed for it.
  const bool fatal_to_caller =
      (page_lost || !complete) &&
      rtl::current_hook(&rtl::Hooks::fatal_errors) == rtl::FatalErrors::kToCaller;
  if (!fatal_to_caller)
    pass_on({about_target(printed.out, giza_file, pending->target()),
             about_target(printed.err, giza_file, pending->target())});
  if (page_lost) {
    std::remove(drawn.c_str());
    rtl::out_of_memory();
  }
  if (!complete) {
    std::remove(drawn.c_str());
    if (error > 0) rtl::file_error(pending->target(), "cannot write", error);
    rtl::fatal_error("File " + pending->target() + ": cannot write: giza did not complete the file");
  }
  rtl::check_interruption();  // stopped: the drawn file is removed, the earlier one stays
  pending->commit();
}

void pgplot_abandon() {
  if (held_here()) device().abandon();
}

void pgscf(int font) {
  draw([=] { cpgscf(font); });
}

void pgslw(int line_width) {
  draw([=] { cpgslw(line_width); });
}

void pgsvp(float xleft, float xright, float ybot, float ytop) {
  draw([=] { cpgsvp(xleft, xright, ybot, ytop); });
}

void pgwnad(float x1, float x2, float y1, float y2) {
  draw([=] { cpgwnad(x1, x2, y1, y2); });
}

void pgswin(float x1, float x2, float y1, float y2) {
  draw([=] {
    cpgswin(x1, x2, y1, y2);
    // giza 1.3.2 leaves PostScript and PDF images unclipped after a window
    // set this way (PGWNAD sets the viewport again, which clips them): the
    // viewport is set again, unchanged, as PGPLOT clips to it.
    float vx1, vx2, vy1, vy2;
    cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
    cpgsvp(vx1, vx2, vy1, vy2);
  });
}

void pgpap_pixels(int width, int height) {
  draw([=] {
    giza_set_paper_size(GIZA_UNITS_PIXELS, width, height);
    cpgpage();  // the size takes effect on the next page; nothing is drawn yet
  });
}

void pgbbuf() {
  draw([] { cpgbbuf(); });
}

namespace {

// The most control points giza's PGCTAB takes (giza 1.3.2 refuses more with
// "Invalid number of control points" and keeps them on its stack).
constexpr int kMostGizaControlPoints = 256;

// The table of nc control points (levels increasing) resampled at the levels
// giza gives its colour indices: index ci of the range lo .. hi that PGQCIR
// reports takes the table at (ci - lo) / (hi - lo). Each new point has the
// colour the whole table has at its level (linear between neighbouring
// points, the end colours beyond the ends), so giza sets every index to the
// colour the whole table would give it.
struct Resampled {
  std::vector<float> l, r, g, b;
};

Resampled resampled_table(const float* l, const float* r, const float* g, const float* b,
                          int nc, int count) {
  Resampled t;
  int k = 0;  // the first point above the level sampled
  for (int s = 0; s < count; ++s) {
    const double level = count == 1 ? 0.0 : static_cast<double>(s) / (count - 1);
    while (k < nc && !(level < l[k])) ++k;
    double rgb[3];
    const float* channels[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
      const float* v = channels[c];
      if (k == 0) {
        rgb[c] = v[0];
      } else if (k == nc) {
        rgb[c] = v[nc - 1];
      } else {
        const double f = (level - l[k - 1]) / (static_cast<double>(l[k]) - l[k - 1]);
        rgb[c] = v[k - 1] + f * (static_cast<double>(v[k]) - v[k - 1]);
      }
    }
    t.l.push_back(static_cast<float>(level));
    t.r.push_back(static_cast<float>(rgb[0]));
    t.g.push_back(static_cast<float>(rgb[1]));
    t.b.push_back(static_cast<float>(rgb[2]));
  }
  return t;
}

}  // namespace

void pgctab(const float* l, const float* r, const float* g, const float* b, int nc, float contra,
            float bright) {
  if (nc <= kMostGizaControlPoints) {
    draw([=] { cpgctab(l, r, g, b, nc, contra, bright); });
    return;
  }
  // More points than giza takes: the table at the levels of giza's colour
  // indices, as many of them as giza takes.
  draw([=] {
    int lo = 0, hi = 0;
    cpgqcir(&lo, &hi);
    const int count = std::clamp(hi - lo + 1, 2, kMostGizaControlPoints);
    const Resampled t = resampled_table(l, r, g, b, nc, count);
    cpgctab(t.l.data(), t.r.data(), t.g.data(), t.b.data(), count, contra, bright);
  });
}

void pgimag(const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
            float a2, const float* tr) {
  if (!open_here()) return;
  const bool flat = a1 == a2;
  if (flat) {
    report("PGIMAG: low and high values are equal: every cell drawn in the low colour");
    if (!std::isfinite(a1)) return;
    // Any other high value maps a1 itself onto the first colour.
    a2 = a1 == 0.0f ? 1.0f : 0.5f * a1;
  }
  if (i1 < 1 || i2 < i1 || i2 > idim || j1 < 1 || j2 < j1 || j2 > jdim) {
    draw([=] { cpgimag(a, idim, jdim, i1, i2, j1, j2, a1, a2, tr); });  // giza reports it
    return;
  }
  // Cell (i, j) of the part drawn is cell (i1 - 1 + i, j1 - 1 + j) of the whole.
  const int ni = i2 - i1 + 1;
  const int nj = j2 - j1 + 1;
  const auto di = static_cast<float>(i1 - 1);
  const auto dj = static_cast<float>(j1 - 1);
  Image image{a + static_cast<std::size_t>(j1 - 1) * idim + (i1 - 1),
              static_cast<std::size_t>(idim),
              ni,
              nj,
              a1,
              a2,
              {tr[0] + tr[1] * di + tr[2] * dj, tr[1], tr[2], tr[3] + tr[4] * di + tr[5] * dj,
               tr[4], tr[5]}};
  // With equal limits a cell of another value would take another colour
  // (a2 is not a1): every cell is drawn as a1 instead.
  std::vector<float> uniform;
  if (flat) {
    uniform.assign(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj), a1);
    image.a = uniform.data();
    image.row = static_cast<std::size_t>(ni);
  }
  draw([&] { draw_image(image, device().type->images, device().images); });
}

void pgebuf() {
  draw([] { cpgebuf(); });
}

void pgsci(int colour_index) {
  draw([=] { cpgsci(colour_index); });
}

void pgsls(int line_style) {
  draw([=] { cpgsls(line_style); });
}

void pgline(int n, const float* xpts, const float* ypts) {
  draw([=] { cpgline(n, xpts, ypts); });
}

void pgbox(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
           int nysub) {
  draw([=, x = plain_options(xopt), y = plain_options(yopt)] {
    cpgbox(x.c_str(), xtick, nxsub, y.c_str(), ytick, nysub);
  });
}

void pgsch(float size) {
  draw([=] { cpgsch(size); });
}

void pgwedg(std::string_view side, float disp, float width, float fg, float bg,
            std::string_view label) {
  if (!open_here()) return;
  if (fg == bg) {
    report("PGWEDG: low and high values are equal: no wedge drawn");
    return;
  }
  draw([&, s = plain_options(side), l = giza_text(label)] {
    draw_wedge(s, disp, width, fg, bg, l, device().type->images, device().images);
  });
}

void pgwedg_ends(std::string_view side, float disp, float width, float fg, float bg,
                 std::string_view label, int low_ci, int high_ci) {
  if (!open_here()) return;
  if (fg == bg) {
    report("PGWEDG: low and high values are equal: no wedge drawn");
    return;
  }
  draw([&, s = plain_options(side), l = giza_text(label)] {
    draw_wedge(s, disp, width, fg, bg, l, device().type->images, device().images,
               {low_ci, high_ci});
  });
}

void pgscr(int ci, float cr, float cg, float cb) {
  draw([=] { cpgscr(ci, cr, cg, cb); });
}

void pgrect(float x1, float x2, float y1, float y2) {
  draw([=] { draw_rectangle(x1, x2, y1, y2, device().type->images); });
}

void pglab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl) {
  draw([x = giza_text(xlbl), y = giza_text(ylbl), top = giza_text(toplbl)] {
    if (is_plain(x) && is_plain(y) && is_plain(top)) {
      cpglab(x.c_str(), y.c_str(), top.c_str());
      return;
    }
    // Where giza's PGLAB puts them.
    draw_text("B", 3.0f, 0.5f, 0.5f, x);
    draw_text("L", 3.0f, 0.5f, 0.5f, y);
    draw_text("T", 2.0f, 0.5f, 0.5f, top);
  });
}

void pgptxt(float x, float y, float angle, float fjust, std::string_view text) {
  draw([=, t = plain_options(text)] { cpgptxt(x, y, angle, fjust, t.c_str()); });
}

void pgpage() {
  draw([] { cpgpage(); });
}

const Pgplot& giza_pgplot() {
  static const Pgplot table = {pgbeg,  pgscf,  pgslw, pgsvp, pgwnad, pgbbuf,
                               pgctab, pgimag, pgebuf, pgsci, pgsls, pgline,
                               pgbox,  pgsch,  pgwedg, pglab, pgend,
                               pgwedg_ends, pgscr, pgrect, pgswin, pgpap_pixels,
                               pgptxt, pgpage};
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
