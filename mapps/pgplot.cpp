// The PGPLOT calls over giza's PGPLOT interface. This is the only file that
// includes cpgplot.h.

#include "mapps/pgplot.h"

#include <cpgplot.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapps/font_glyphs.h"
#include "mapps/page_in_memory.h"
#include "mapps/stdio_catch.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "textfmt/drawn_text.h"
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
  // How its images get cells of one colour: drawn in blocks of equal cells
  // (PNG, SVG), or else by clearing the mark that asks viewers to smooth them
  // (PostScript and PDF, see clear_image_smoothing).
  bool images_in_blocks;
};

constexpr std::string_view kPostScriptEnd = "%%EOF\n";
constexpr std::string_view kPngEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);  // the empty end chunk
constexpr std::string_view kSvgEnd = "</svg>\n";

constexpr std::array<DeviceType, 11> kDeviceTypes = {{
    {"ps", "/ps", ".ps", "PostScript", kPostScriptEnd, false},
    {"cps", "/ps", ".ps", "PostScript", kPostScriptEnd, false},
    {"vps", "/vps", ".ps", "PostScript", kPostScriptEnd, false},
    {"vcps", "/vps", ".ps", "PostScript", kPostScriptEnd, false},
    {"eps", "/eps", ".eps", "PostScript", kPostScriptEnd, false},
    {"pdf", "/pdf", ".pdf", "PDF", kPostScriptEnd, false},
    {"vpdf", "/vpdf", ".pdf", "PDF", kPostScriptEnd, false},
    {"png", "/png", ".png", "PNG", kPngEnd, true},
    {"tpng", "/png", ".png", "PNG", kPngEnd, true},
    {"svg", "/svg", ".svg", "SVG", kSvgEnd, true},
    {"null", "/null", "", "null", "", false},
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

// giza keeps the file name of a device in a buffer of 256 bytes and cuts a
// longer one (its "device name exceeds maximum string length"): a longer
// path is handed to it through an open descriptor of its folder,
// /proc/self/fd/<n>/<name>, which reaches the same file.
constexpr std::size_t kLongestGizaName = 255;

// An open folder, for the short name of a file in it; closed with the handle.
class FolderHandle {
 public:
  FolderHandle() = default;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  ~FolderHandle() { close(); }

  // Opens the folder of `file`; the name by which giza reaches `file` through
  // it, or "" with errno set when the folder cannot be opened.
  std::string short_name(const std::string& file) {
    close();
    const auto slash = file.rfind('/');
    const std::string folder = slash == 0 ? "/" : file.substr(0, slash);
    fd_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return {};
    return "/proc/self/fd/" + std::to_string(fd_) + file.substr(slash);
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// The device between pgbeg and pgend.
struct OpenDevice {
  bool open = false;
  std::unique_ptr<rtl::PendingFile> pending;  // the target, reserved
  std::string drawn;  // the file giza writes: the reserved temporary file
  std::string giza_file;  // the name giza is given for it: drawn, or a short name
  FolderHandle folder;    // of drawn, while giza is given the short name
  const DeviceType* type = nullptr;
  // What pgbeg handed to giza, and the calls since, each as it is drawn in the
  // second attempt (see pgend); kept only while a file is drawn.
  int unit = 0;
  std::string giza_spec;
  int nxsub = 1;
  int nysub = 1;
  std::vector<std::function<void()>> calls;
  // A program that ends with the device open (a fatal error while drawing)
  // leaves no half-drawn file behind. giza finishes its file only when the
  // device is closed, so it is closed before the file is removed.
  ~OpenDevice() { abandon(); }
  // The page is erased first: giza then has nothing to write, and the device
  // closes at once, where a large image would take seconds to be written
  // into a file that is removed anyway.
  void abandon() {
    if (!open) return;
    giza([] {
      cpgeras();
      cpgend();
    });
    open = false;
    calls = {};
    if (pending) std::remove(drawn.c_str());
    pending.reset();
    folder.close();
  }
};

OpenDevice& device() {
  static OpenDevice d;
  return d;
}

// Texts as giza needs them: NUL-terminated, trailing blanks dropped.
std::string visible(std::string_view text) { return std::string(textfmt::trim(text)); }

// Draws `call` now and, while a file is drawn, keeps `again` to draw it in a
// second attempt; nothing while no device is open.
void draw(const std::function<void()>& call, std::function<void()> again) {
  OpenDevice& d = device();
  if (!d.open) return;
  giza(call);
  if (d.pending) d.calls.push_back(std::move(again));
}

void draw(const std::function<void()>& call) { draw(call, call); }

// giza draws an image as a cairo pattern that cairo smooths between the
// centres of neighbouring cells, so that a map would show values its data
// does not hold. PostScript and PDF only mark the image for smoothing
// (/Interpolate) and leave it to the viewer: pgend clears the mark. PNG is
// smoothed by cairo itself, and SVG viewers smooth its embedded pictures:
// there each cell is drawn as a block of b x b equal cells, with at least this
// many of them to a device unit, so that the smoothing stays within a sliver
// narrower than a pixel at each cell's edge and every pixel inside a cell has
// the cell's colour. Cells already that small are drawn as they are, and
// blocks stop at this many cells along an axis of the image.
constexpr double kImagePixelsPerDeviceUnit = 2;
constexpr int kMostBlockedCellsPerAxis = 4096;

// cairo takes no pattern with more than 2^15 cells to a device unit along an
// axis (the limit of its fixed-point matrices, and of the padded copy its
// PostScript and PDF surfaces make of a wedge): the surface fails, and giza
// leaves an empty or cut file. A map some 10^4 to 10^5 times wider than high
// puts PGWEDG's 400 steps into such a sliver; on PNG an image of many cells in
// a thin band does the same. Drawn again, images keep at most this many cells
// to a pixel along each axis, far more than a pixel can show.
constexpr double kMostCellsPerPixel = 4096;

// Device units (pixels) from one cell of an image to the next along each of
// its two axes, for the image transform `tr` in the current viewport and window.
std::array<double, 2> cell_steps(const float* tr) {
  float px1, px2, py1, py2, wx1, wx2, wy1, wy2;
  cpgqvp(3, &px1, &px2, &py1, &py2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  const double sx = (static_cast<double>(px2) - px1) / (static_cast<double>(wx2) - wx1);
  const double sy = (static_cast<double>(py2) - py1) / (static_cast<double>(wy2) - wy1);
  return {std::hypot(tr[1] * sx, tr[4] * sy), std::hypot(tr[2] * sx, tr[5] * sy)};
}

// The cells drawn along an axis of n cells `step` device units apart: n, or
// n in blocks (when `blocks`), or (when `merge_fine`) fewer where they are
// finer than kMostCellsPerPixel; 0 draws nothing (an image thinner than one
// merged cell).
int cells_drawn(int n, double step, bool blocks, bool merge_fine) {
  if (merge_fine) {
    const double most = std::floor(n * step * kMostCellsPerPixel);
    if (!(most >= 1.0)) return 0;  // also for a step that is no number
    if (most < n) return static_cast<int>(most);
  }
  if (!blocks) return n;
  const double wanted = std::ceil(step * kImagePixelsPerDeviceUnit);
  const double b = std::min(wanted, std::floor(static_cast<double>(kMostBlockedCellsPerAxis) / n));
  return b >= 2.0 ? n * static_cast<int>(b) : n;
}

// PGIMAG of ni x nj cells (first index fastest, rows `row` apart, cell (1, 1)
// at `a`, placed by `tr`) drawn as mi x mj cells covering the same area: new
// cell k (from 1) spans original cells p + q*k -+ q/2 with q = n / m and
// p = 1/2 - q/2, and has the value of the original cell at its centre.
void draw_image_resampled(const float* a, std::size_t row, int ni, int nj, int mi, int mj,
                          float a1, float a2, const float* tr) {
  const double qi = static_cast<double>(ni) / mi;
  const double qj = static_cast<double>(nj) / mj;
  const double pi = 0.5 - 0.5 * qi;
  const double pj = 0.5 - 0.5 * qj;
  // The original cell (from 0) under new cell k. For m a multiple of n the
  // centre is never half way between two cells, so no rounding can vary.
  const auto original = [](double p, double q, int k, int n) {
    return static_cast<std::size_t>(
        std::clamp(static_cast<int>(std::lround(p + q * k)), 1, n) - 1);
  };
  std::vector<std::size_t> column(static_cast<std::size_t>(mi));
  for (int k = 1; k <= mi; ++k) column[k - 1] = original(pi, qi, k, ni);
  std::vector<float> b;
  b.reserve(static_cast<std::size_t>(mi) * static_cast<std::size_t>(mj));
  for (int l = 1; l <= mj; ++l) {
    const float* cells = a + original(pj, qj, l, nj) * row;
    for (const std::size_t i : column) b.push_back(cells[i]);
  }
  const float t[6] = {static_cast<float>(tr[0] + tr[1] * pi + tr[2] * pj),
                      static_cast<float>(tr[1] * qi), static_cast<float>(tr[2] * qj),
                      static_cast<float>(tr[3] + tr[4] * pi + tr[5] * pj),
                      static_cast<float>(tr[4] * qi), static_cast<float>(tr[5] * qj)};
  cpgimag(b.data(), mi, mj, 1, mi, 1, mj, a1, a2, t);
}

// PGIMAG of ni x nj cells (as above) in blocks where the device needs them,
// and (when `merge_fine`) with cells merged where cairo could not take them.
void draw_image(const float* a, std::size_t row, int ni, int nj, float a1, float a2,
                const float* tr, bool merge_fine) {
  const auto steps = cell_steps(tr);
  const bool blocks = device().type->images_in_blocks;
  const int mi = cells_drawn(ni, steps[0], blocks, merge_fine);
  const int mj = cells_drawn(nj, steps[1], blocks, merge_fine);
  if (mi < 1 || mj < 1) return;
  if (mi == ni && mj == nj)
    cpgimag(a, static_cast<int>(row), nj, 1, ni, 1, nj, a1, a2, tr);
  else
    draw_image_resampled(a, row, ni, nj, mi, mj, a1, a2, tr);
}

// --- Texts ---
//
// Texts are UTF-8. giza 1.3.2 hands each byte of a character beyond ASCII to
// cairo on its own; cairo refuses such broken UTF-8 and then draws no more
// text on the page. So no byte beyond ASCII reaches giza: a character goes
// through one of giza's escapes where one draws it, else it is filled as
// polygons from a font's glyph outline where giza would have drawn it, else
// it is drawn as "?". Control characters are drawn as blanks.

bool is_printable_ascii(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x20 && b < 0x80;
}

// Whether giza can take `text` as it is: printable ASCII only.
bool is_plain(std::string_view text) {
  return std::all_of(text.begin(), text.end(), is_printable_ascii);
}

// Option letters (PGBOX, the wedge's side): anything but printable ASCII is
// no option, and giza ignores blanks.
std::string plain_options(std::string_view options) {
  std::string out(textfmt::trim(options));
  std::replace_if(out.begin(), out.end(), [](char c) { return !is_printable_ascii(c); }, ' ');
  return out;
}

// giza's escape for `c`, and the character giza then draws in its font
// (for raised and lowered characters the ASCII one); empty when none.
struct Escape {
  std::string text;
  char32_t drawn = 0;
};

Escape giza_escape(char32_t c) {
  // Greek letters, \g and PGPLOT's letter for each, in the order of the
  // alphabet (U+03A2 is no character, the final sigma has no escape).
  static constexpr std::string_view kGreek = "ABGDEZYHIKLMNCOPRSTUFXQW";
  for (const char32_t first : {U'\u0391', U'\u03B1'}) {
    if (c < first || c > first + 24 || c == first + 17) continue;
    const std::size_t k = c - first - (c > first + 17 ? 1 : 0);
    const char letter = first == U'\u0391' ? kGreek[k] : static_cast<char>(std::tolower(kGreek[k]));
    return {std::string("\\g") + letter, c};
  }
  // Raised and lowered characters.
  static constexpr std::pair<char32_t, char> kRaised[] = {
      {U'\u00B9', '1'}, {U'\u00B2', '2'}, {U'\u00B3', '3'}, {U'\u2070', '0'}, {U'\u2071', 'i'},
      {U'\u2074', '4'}, {U'\u2075', '5'}, {U'\u2076', '6'}, {U'\u2077', '7'}, {U'\u2078', '8'},
      {U'\u2079', '9'}, {U'\u207A', '+'}, {U'\u207B', '-'}, {U'\u207C', '='}, {U'\u207D', '('},
      {U'\u207E', ')'}, {U'\u207F', 'n'}};
  for (const auto& [raised, ascii] : kRaised)
    if (c == raised) return {std::string("\\u") + ascii + "\\d", static_cast<char32_t>(ascii)};
  if (c >= U'\u2080' && c <= U'\u208E') {
    static constexpr std::string_view kLowered = "0123456789+-=()";
    const char ascii = kLowered[c - U'\u2080'];
    return {std::string("\\d") + ascii + "\\u", static_cast<char32_t>(ascii)};
  }
  // giza's Hershey symbols that it draws as these characters.
  static constexpr std::pair<char32_t, std::string_view> kHershey[] = {
      {U'\u00B0', "2218"}, {U'\u2032', "2216"}, {U'\u2033', "2217"}, {U'\u2212', "2231"},
      {U'\u00B1', "2233"}, {U'\u2213', "2234"}, {U'\u00D7', "0727"}, {U'\u00B7', "0729"},
      {U'\u22C5', "2236"}, {U'\u00F7', "2237"}, {U'\u2260', "2239"}, {U'\u2261', "2240"},
      {U'\u221D', "2245"}, {U'\u223C', "2246"}, {U'\u221A', "2267"}, {U'\u222B', "2268"},
      {U'\u222E', "2269"}, {U'\u221E', "2270"}, {U'\u00A7', "2276"}, {U'\u2020', "2277"},
      {U'\u2021', "2278"}, {U'\u2203', "2279"}, {U'\u2282', "2256"}, {U'\u222A', "2257"},
      {U'\u2283', "2258"}, {U'\u2229', "2259"}, {U'\u2208', "2260"}, {U'\u2192', "2261"},
      {U'\u2191', "2262"}, {U'\u2190', "2263"}, {U'\u2193', "2264"}, {U'\u2207', "2266"},
      {U'\u2135', "2077"}};
  for (const auto& [symbol, number] : kHershey)
    if (c == symbol) return {"\\(" + std::string(number) + ")", c};
  return {};
}

// A part of a text to draw: text for giza (ASCII, escapes included), or one
// character filled from its outline.
struct TextPart {
  std::string giza;
  std::optional<GlyphOutline> glyph;
};

// `text` in parts; consecutive characters for giza share one part, so that a
// caller's escapes keep working across them.
std::vector<TextPart> text_parts(std::string_view text, FontGlyphs& fonts) {
  std::vector<TextPart> parts;
  const auto giza = [&parts]() -> std::string& {
    if (parts.empty() || parts.back().glyph) parts.emplace_back();
    return parts.back().giza;
  };
  for (const char32_t c : textfmt::decode_utf8(text)) {
    if (c < 0x20) {
      giza() += ' ';
    } else if (c < 0x80) {
      giza() += static_cast<char>(c);
    } else if (Escape e = giza_escape(c);
               !e.text.empty() && (e.drawn < 0x80 || fonts.first_font_has(e.drawn))) {
      giza() += e.text;
    } else if (std::optional<GlyphOutline> glyph = fonts.outline(c)) {
      parts.push_back({{}, std::move(glyph)});
    } else {
      giza() += '?';
    }
  }
  return parts;
}

// The text PGMTXT draws with its characters in parts, placed as giza places
// its annotations: along the side's edge at `coord`, `disp` character heights
// out, at 90 degrees on the left and right unless the side says "V", the
// point `fjust` of the way along the text. Everything is worked out in
// device units, where glyphs keep their shape; the giza parts are measured
// by giza itself, the glyphs by the font giza draws in, scaled to giza's
// size of that font.
void draw_text_parts(const std::string& side, float disp, float coord, float fjust,
                     const std::vector<TextPart>& parts, FontGlyphs& fonts) {
  float vx1, vx2, vy1, vy2, dx1, dx2, dy1, dy2, wx1, wx2, wy1, wy2, xch, ych;
  cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
  cpgqvp(3, &dx1, &dx2, &dy1, &dy2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  cpgqcs(4, &xch, &ych);
  const auto has = [&side](char c) {
    return side.find(c) != std::string::npos ||
           side.find(static_cast<char>(std::tolower(c))) != std::string::npos;
  };
  float x, y;
  bool upright = true;
  if (has('B')) {
    x = wx1 + (wx2 - wx1) * coord;
    y = wy1 - ych * disp;
  } else if (has('T')) {
    x = wx1 + (wx2 - wx1) * coord;
    y = wy2 + ych * (disp - 0.5f);
  } else if (has('L') || has('R')) {
    upright = has('V');
    x = has('L') ? wx1 - xch * disp : wx2 + xch * disp;
    y = wy1 + (wy2 - wy1) * coord - (upright ? ych * 0.25f : 0.0f);
  } else {
    return;
  }
  const double sx = (static_cast<double>(dx2) - dx1) / (static_cast<double>(wx2) - wx1);
  const double sy = (static_cast<double>(dy2) - dy1) / (static_cast<double>(wy2) - wy1);
  // Width of a text as giza draws it (the advance to what follows), in
  // device units. giza gives a text of one character the width of its ink
  // instead, so texts are measured with two blanks after them.
  const auto box_width = [sx](const std::string& text) {
    float xb[4], yb[4];
    cpgqtxt(0.0f, 0.0f, 0.0f, 0.0f, text.c_str(), xb, yb);
    return (static_cast<double>(*std::max_element(xb, xb + 4)) - *std::min_element(xb, xb + 4)) *
           std::fabs(sx);
  };
  const double blanks = box_width("  ");
  const auto giza_width = [&](const std::string& text) { return box_width(text + "  ") - blanks; };
  static constexpr std::string_view kMeasure = "abcdefghijklmnopqrstuvwxyz";
  const double em = fonts.advance(kMeasure);
  const double size = em > 0 ? giza_width(std::string(kMeasure)) / em : 0;
  std::vector<double> widths;
  double total = 0;
  for (const TextPart& part : parts) {
    widths.push_back(part.glyph ? part.glyph->advance * size : giza_width(part.giza));
    total += widths.back();
  }
  // The baseline from its start, in device units, and the way up.
  const double ux = upright ? 1 : 0, uy = upright ? 0 : 1;
  const double ax = dx1 + (x - wx1) * sx - fjust * total * ux;
  const double ay = dy1 + (y - wy1) * sy - fjust * total * uy;

  // World coordinates in device units over the whole view surface, so that
  // no glyph is clipped at the viewport.
  float sx1, sx2, sy1, sy2;
  cpgsvp(0.0f, 1.0f, 0.0f, 1.0f);
  cpgqvp(3, &sx1, &sx2, &sy1, &sy2);
  cpgswin(sx1, sx2, sy1, sy2);
  int fill = 1;
  cpgqfs(&fill);
  cpgsfs(1);
  double pen = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const double px = ax + pen * ux, py = ay + pen * uy;
    if (!parts[k].glyph) {
      cpgptxt(static_cast<float>(px), static_cast<float>(py), upright ? 0.0f : 90.0f, 0.0f,
              parts[k].giza.c_str());
    } else if (!parts[k].glyph->contours.empty()) {
      // One polygon: the contours one after the other, joined by bridges
      // that are walked back at the end, so that they enclose nothing.
      std::vector<float> gx, gy;
      const auto put = [&](const std::array<double, 2>& p) {
        gx.push_back(static_cast<float>(px + size * (p[0] * ux - p[1] * uy)));
        gy.push_back(static_cast<float>(py + size * (p[0] * uy + p[1] * ux)));
      };
      const auto& contours = parts[k].glyph->contours;
      for (const auto& contour : contours) {
        for (const auto& p : contour) put(p);
        put(contour.front());
      }
      for (std::size_t c = contours.size() - 1; c-- > 0;) put(contours[c].front());
      cpgpoly(static_cast<int>(gx.size()), gx.data(), gy.data());
    }
    pen += widths[k];
  }
  cpgsfs(fill);
  cpgsvp(vx1, vx2, vy1, vy2);
  cpgswin(wx1, wx2, wy1, wy2);
}

// PGMTXT for a text in any language (see above); a text of printable ASCII
// goes to giza as it is.
void draw_text(const std::string& side, float disp, float coord, float fjust,
               const std::string& text) {
  if (is_plain(text)) {
    cpgmtxt(side.c_str(), disp, coord, fjust, text.c_str());
    return;
  }
  int font = 1;
  cpgqcf(&font);
  FontGlyphs& fonts = font_glyphs(font);
  const std::vector<TextPart> parts = text_parts(text, fonts);
  if (parts.size() == 1 && !parts.front().glyph) {
    cpgmtxt(side.c_str(), disp, coord, fjust, parts.front().giza.c_str());
    return;
  }
  draw_text_parts(side, disp, coord, fjust, parts, fonts);
}

// PGWEDG as giza places it (the same frame, numbers and label), its 400
// steps drawn through draw_image like any image. giza's own wedge is an image
// that cairo's PostScript surface pads to 3 cells wide or not, depending on
// the process's memory layout: the same plot would not always make the same
// file.
void draw_wedge(const std::string& side, float disp, float width, float fg, float bg,
                const std::string& label, bool merge_fine) {
  float vx1, vx2, vy1, vy2, wx1, wx2, wy1, wy2, xch, ych;
  cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
  cpgqwin(&wx1, &wx2, &wy1, &wy2);
  cpgqcs(0, &xch, &ych);
  const auto has = [&side](char c) {
    return side.find(c) != std::string::npos ||
           side.find(static_cast<char>(std::toupper(c))) != std::string::npos;
  };
  constexpr int kSteps = 400;
  const float lo = std::min(fg, bg);
  const float hi = std::max(fg, bg);
  const float dv = (hi - lo) / kSteps;
  std::vector<float> steps(kSteps);
  for (int k = 0; k < kSteps; ++k) steps[k] = lo + (static_cast<float>(k) + 0.5f) * dv;
  const bool bottom = has('b');
  const bool top = !bottom && has('t');
  const bool left = !bottom && !top && has('l');
  const bool right = !bottom && !top && !left && has('r');
  if (bottom || top) {
    const float y1 = bottom ? vy1 - disp * ych - width * xch : vy2 + disp * ych;
    cpgsvp(vx1, vx2, y1, y1 + width * xch);
    cpgswin(lo, hi, 0.0f, 1.0f);
    const float tr[6] = {lo - 0.5f * dv, dv, 0.0f, -0.5f, 0.0f, 1.0f};
    draw_image(steps.data(), kSteps, kSteps, 1, fg, bg, tr, merge_fine);
    cpgbox(bottom ? "BCNST" : "BCMST", 0.0f, 0, "BC", 0.0f, 0);
  } else if (left || right) {
    const float x1 = left ? vx1 - disp * xch - width * xch : vx2 + disp * xch;
    cpgsvp(x1, x1 + width * xch, vy1, vy2);
    cpgswin(0.0f, 1.0f, lo, hi);
    const float tr[6] = {-0.5f, 1.0f, 0.0f, lo - 0.5f * dv, 0.0f, dv};
    draw_image(steps.data(), 1, 1, kSteps, fg, bg, tr, merge_fine);
    cpgbox("BC", 0.0f, 0, left ? "BCNST" : "BCMST", 0.0f, 0);
  }
  draw_text(side, 2.8f, 1.0f, 1.0f, label);
  cpgsvp(vx1, vx2, vy1, vy2);
  cpgswin(wx1, wx2, wy1, wy2);
}

// Whether `file` is a whole file of its kind: every file giza finishes ends
// in the same bytes (the end-of-file comment of PostScript and PDF, PNG's end
// chunk, SVG's closing tag); one that a failed write cut short does not.
bool is_complete(const std::string& file, std::string_view ending) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  std::string tail(ending.size(), '\0');
  const bool whole = fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(ending.size()) &&
                     pread(fd, tail.data(), tail.size(), st.st_size - static_cast<off_t>(tail.size())) ==
                         static_cast<ssize_t>(tail.size()) &&
                     tail == ending;
  close(fd);
  return whole;
}

// Clears the mark by which cairo asks PostScript and PDF viewers to smooth
// each image (an image dictionary's "/Interpolate true" entry, indented by
// blanks, which no other part of these files holds) in place: the blank
// before it is taken for the longer "false", so no byte moves and a PDF's
// table of object offsets stays right. Returns 0, or the errno of a failure.
int clear_image_smoothing(const std::string& file) {
  static constexpr std::string_view kSmoothed = " /Interpolate true";
  static constexpr std::string_view kUniform = "/Interpolate false";
  static_assert(kSmoothed.size() == kUniform.size());
  const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno;
  std::vector<char> buffer(std::size_t{1} << 20);
  const std::size_t keep = kSmoothed.size() - 1;  // of one block for a mark across two
  std::size_t kept = 0;
  off_t at = 0;  // of buffer[0] in the file
  int error = 0;
  for (;;) {
    const ssize_t n = pread(fd, buffer.data() + kept, buffer.size() - kept,
                            at + static_cast<off_t>(kept));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    const std::string_view text(buffer.data(), kept + static_cast<std::size_t>(n));
    for (auto k = text.find(kSmoothed); k != std::string_view::npos && error == 0;
         k = text.find(kSmoothed, k + kSmoothed.size())) {
      if (pwrite(fd, kUniform.data(), kUniform.size(), at + static_cast<off_t>(k)) !=
          static_cast<ssize_t>(kUniform.size()))
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) break;
    kept = std::min(keep, text.size());
    std::memmove(buffer.data(), text.data() + text.size() - kept, kept);
    at += static_cast<off_t>(text.size() - kept);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

// Whether a write of the drawn file failed, and why as far as it shows
// afterwards (an errno value): the file system is full, or the process's file
// size limit was reached (by the file, or by the temporary file cairo keeps a
// PostScript page in); -1 when giza reported a failed write without either;
// 0 when nothing tells of a failed write (giza failed for a reason of its own).
int write_error(const std::string& file, const std::string& messages) {
  const auto slash = file.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
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

// giza's messages about the drawn file (by the name giza was given), naming
// the target instead.
std::string about_target(std::string messages, const std::string& drawn,
                         const std::string& target) {
  for (auto at = messages.find(drawn); at != std::string::npos;
       at = messages.find(drawn, at + target.size()))
    messages.replace(at, drawn.size(), target);
  return messages;
}

// Closes the device; whether the drawn file is complete. What giza prints
// meanwhile (its report of a file it could not finish) goes to `printed`.
bool finish(OpenDevice& d, CaughtOutput& printed) {
  printed = catch_stdio([] { cpgend(); });
  d.open = false;
  return is_complete(d.drawn, d.type->ending);
}

// Draws the plot a second time, from pgbeg on, with the images coarse where
// cairo cannot take them; whether the device could be opened again. The
// reserved temporary file is emptied, not removed: giza writes into it again,
// so it stays private and its name is never free for another to take.
bool draw_again(OpenDevice& d) {
  if (truncate(d.drawn.c_str(), 0) != 0) return false;
  if (cpgbeg(d.unit, d.giza_spec.c_str(), d.nxsub, d.nysub) != 1) return false;
  d.open = true;
  for (const auto& call : d.calls) call();
  return true;
}

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
    // A name that ends in the extension is taken by giza as it is.
    rtl::Reservation reserved = rtl::PendingFile::reserve(target, type->extension);
    if (!reserved.file) {
      report(std::string("Cannot open output file for ") + type->kind + " plot: " + target +
             ": " + std::strerror(reserved.error));
      return 0;
    }
    // The PostScript page goes through memory, not through a file cairo
    // could fail to write (see page_in_memory.h).
    keep_cairo_pages_in_memory();
    cairo_page_lost_bytes();  // counted afresh for this file
    d.pending = std::move(reserved.file);
    d.drawn = d.pending->temporary();
    // The temporary file's own name is short (rtl::kTemporaryNameKeeps), so
    // the short name through its folder always fits.
    d.giza_file = d.drawn.size() <= kLongestGizaName ? d.drawn : d.folder.short_name(d.drawn);
    if (d.giza_file.empty()) {
      const int error = errno;
      report(std::string("Cannot open output file for ") + type->kind + " plot: " + target +
             ": " + std::strerror(error));
      std::remove(d.drawn.c_str());
      d.pending.reset();
      return 0;
    }
    giza_spec = d.giza_file + type->giza;
  }
  int status = 0;
  giza([&] { status = cpgbeg(unit, giza_spec.c_str(), nxsub, nysub); });
  if (status != 1) {
    report("Cannot open graphics device " + visible(device_spec));
    if (d.pending) std::remove(d.drawn.c_str());
    d.pending.reset();
    d.folder.close();
    return status;
  }
  d.open = true;
  d.type = type;
  d.unit = unit;
  d.giza_spec = std::move(giza_spec);
  d.nxsub = nxsub;
  d.nysub = nysub;
  d.calls.clear();
  return 1;
}

void pgend() {
  OpenDevice& d = device();
  if (!d.open) return;
  if (!d.pending) {
    giza([] { cpgend(); });
    d.open = false;
    return;
  }
  // Work to be stopped stops before giza spends its time writing the file.
  try {
    rtl::check_interruption();
  } catch (...) {
    d.abandon();
    throw;
  }
  CaughtOutput printed;
  bool complete = finish(d, printed);
  int error = complete ? 0 : write_error(d.drawn, printed.err);
  // Not finished for a reason of giza's own (such as an image cairo cannot
  // take): drawn again, and only what giza reports then is passed on.
  bool drawn_again = false;
  if (!complete && error == 0) giza([&d, &drawn_again] { drawn_again = draw_again(d); });
  if (drawn_again) {
    complete = finish(d, printed);
    error = complete ? 0 : write_error(d.drawn, printed.err);
  }
  if (complete && !d.type->images_in_blocks) {
    error = clear_image_smoothing(d.drawn);
    complete = error == 0;
  }
  d.calls = {};
  const std::unique_ptr<rtl::PendingFile> pending = std::move(d.pending);
  d.folder.close();
  pass_on({about_target(printed.out, d.giza_file, pending->target()),
           about_target(printed.err, d.giza_file, pending->target())});
  if (cairo_page_lost_bytes()) {
    std::remove(d.drawn.c_str());
    rtl::out_of_memory();
  }
  if (!complete) {
    std::remove(d.drawn.c_str());
    rtl::fatal_error("File " + pending->target() + ": cannot write: " +
                     (error > 0 ? std::strerror(error) : "giza did not complete the file"));
  }
  rtl::check_interruption();  // stopped: the drawn file is removed, the earlier one stays
  pending->commit();
}

void pgplot_abandon() { device().abandon(); }

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

void pgbbuf() {
  draw([] { cpgbbuf(); });
}

void pgctab(const float* l, const float* r, const float* g, const float* b, int nc, float contra,
            float bright) {
  if (!device().open) return;
  const std::size_t n = nc > 0 ? static_cast<std::size_t>(nc) : 0;
  draw([=] { cpgctab(l, r, g, b, nc, contra, bright); },
       [=, l = std::vector<float>(l, l + n), r = std::vector<float>(r, r + n),
        g = std::vector<float>(g, g + n), b = std::vector<float>(b, b + n)] {
         cpgctab(l.data(), r.data(), g.data(), b.data(), nc, contra, bright);
       });
}

void pgimag(const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
            float a2, const float* tr) {
  if (!device().open) return;
  const bool flat = a1 == a2;
  if (flat) {
    report("PGIMAG: low and high values are equal: every cell drawn in the low colour");
    if (!std::isfinite(a1)) return;
    // Any other high value maps a1 itself onto the first colour.
    a2 = a1 == 0.0f ? 1.0f : 0.5f * a1;
  }
  if (i1 < 1 || i2 < i1 || i2 > idim || j1 < 1 || j2 < j1 || j2 > jdim) {
    draw([=] { cpgimag(a, idim, jdim, i1, i2, j1, j2, a1, a2, tr); }, [] {});  // giza reports it
    return;
  }
  // Cell (i, j) of the part drawn is cell (i1 - 1 + i, j1 - 1 + j) of the whole.
  const int ni = i2 - i1 + 1;
  const int nj = j2 - j1 + 1;
  const float* first = a + static_cast<std::size_t>(j1 - 1) * idim + (i1 - 1);
  std::size_t row = static_cast<std::size_t>(idim);
  // With equal limits a cell of another value would take another colour
  // (a2 is not a1): every cell is drawn as a1 instead.
  std::vector<float> uniform;
  if (flat) {
    uniform.assign(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj), a1);
    first = uniform.data();
    row = static_cast<std::size_t>(ni);
  }
  const auto di = static_cast<float>(i1 - 1);
  const auto dj = static_cast<float>(j1 - 1);
  const std::array<float, 6> t = {tr[0] + tr[1] * di + tr[2] * dj, tr[1], tr[2],
                                  tr[3] + tr[4] * di + tr[5] * dj, tr[4], tr[5]};
  const auto now = [=] { draw_image(first, row, ni, nj, a1, a2, t.data(), false); };
  if (!device().pending) {
    draw(now, [] {});
    return;
  }
  // The cells drawn, their own copy for the second attempt.
  std::vector<float> cells;
  cells.reserve(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj));
  for (int j = 0; j < nj; ++j)
    for (int i = 0; i < ni; ++i) cells.push_back(first[static_cast<std::size_t>(j) * row + i]);
  draw(now, [=, cells = std::move(cells)] {
    draw_image(cells.data(), static_cast<std::size_t>(ni), ni, nj, a1, a2, t.data(), true);
  });
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
  if (!device().open) return;
  const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
  draw([=] { cpgline(n, xpts, ypts); },
       [=, x = std::vector<float>(xpts, xpts + count), y = std::vector<float>(ypts, ypts + count)] {
         cpgline(n, x.data(), y.data());
       });
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
  if (!device().open) return;
  if (fg == bg) {
    report("PGWEDG: low and high values are equal: no wedge drawn");
    return;
  }
  const std::string s = plain_options(side);
  const std::string l = visible(label);
  draw([=] { draw_wedge(s, disp, width, fg, bg, l, false); },
       [=] { draw_wedge(s, disp, width, fg, bg, l, true); });
}

void pglab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl) {
  draw([x = visible(xlbl), y = visible(ylbl), top = visible(toplbl)] {
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
