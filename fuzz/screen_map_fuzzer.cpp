// The screen map on window units without the windowing runtime (drawing
// surfaces only, as in the tests): a sequence of one to three calls of any of
// the four forms with random vectors or a matrix (sizes, strides, lower
// bounds, special values), texts of random bytes, any size option and
// continuation flag, the colour options of any values; always in a window of its own, so that no call waits for
// a console line.
//
// Invariants: the caller's arrays are unchanged bit for bit, except the z of
// the base form, which is rescaled to grey levels 0 .. 255 (smallest value
// 0) exactly when a map is drawn (with a range of the caller's own: either
// left as it was or rescaled to 0 .. 255); a first call opens the next unit, captioned
// with the title as laid out, and a later one stays on it; nothing is drawn
// outside the map's viewport but the frame: black there, the magenta frame
// line around the map square.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "gfxwin/surface.h"
#include "gfxwin/unit.h"
#include "mapscreen/screen_map.h"

namespace {

using fuzz::show;
using fuzz::show_text;

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kMagenta = 0x800080;  // palette entry 5: the frame

struct Area {
  int w, h;
  bool operator==(const Area&) const = default;
};

Area area_of(const std::optional<int>& size) {
  const int s = size.value_or(1);
  if (s >= 3) return {1005, 662};
  if (s == 2) return {741, 451};
  return {580, 270};  // own window
}

// Outside the viewport (4, 4) .. (w - 3, h - 3): black, but the frame line
// (1, 1) .. (h, h) in magenta. Read from the unit's surface in place (a
// snapshot would copy all of it), in a loop over every pixel without
// coverage feedback, which would only slow it down.
__attribute__((no_sanitize("coverage"))) void check_outside_viewport(int unit, Area a) {
  std::shared_ptr<gfxwin::Unit> found;
  for (const auto& u : gfxwin::all_units())
    if (u->number == unit) found = u;
  FUZZ_CHECK(found != nullptr, "unit " + std::to_string(unit) + " has no window");
  std::lock_guard<gfxwin::SurfaceLock> lock(gfxwin::surface_mutex());
  const QImage& image = found->surface.image();
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (x >= 4 && x <= a.w - 3 && y >= 4 && y <= a.h - 3) continue;
      const bool frame = ((x == 1 || x == a.h) && y >= 1 && y <= a.h) || ((y == 1 || y == a.h) && x >= 1 && x <= a.h);
      const std::uint32_t expected = frame ? kMagenta : kBlack;
      const std::uint32_t pixel = line[x] & 0x00FFFFFFu;
      if (pixel == expected) continue;
      FUZZ_CHECK(pixel == expected, "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") of unit " +
                                        std::to_string(unit) + " outside the viewport of a " +
                                        std::to_string(a.w) + " x " + std::to_string(a.h) + " map is " +
                                        std::to_string(pixel));
    }
  }
}

// The base form's z after the call: rescaled when a map was drawn (checked
// where no value is NaN: infinities take the ends, 0 and 255), else as it
// was. Cells need finite coordinates; a scale needs two different finite values.
void check_base_z(const std::vector<double>& before, const std::vector<double>& after, std::size_t cells,
                  bool has_cells, bool log, bool own_range) {
  const auto unchanged = [&](const std::string& why) {
    for (std::size_t k = 0; k < before.size(); ++k)
      FUZZ_CHECK(fuzz::same_bits(before[k], after[k]), "z(" + std::to_string(k + 1) + ") changed from " +
                                                           show(before[k]) + " to " + show(after[k]) + why);
  };
  if (log || !has_cells || before.size() < cells || before.empty()) {
    unchanged(" although no map is drawn from it");
    return;
  }
  if (std::any_of(before.begin(), before.end(), [](double v) { return std::isnan(v); })) return;
  if (own_range) {  // a range that is no range gives the data's own, where flat data stay
    const bool levels = std::all_of(after.begin(), after.end(), [](double v) { return v >= 0 && v <= 255; });
    const bool same = std::equal(before.begin(), before.end(), after.begin(), fuzz::same_bits<double>);
    FUZZ_CHECK(levels || same, "z neither rescaled to levels 0 .. 255 nor left as it was");
    return;
  }
  std::vector<double> finite;
  std::copy_if(before.begin(), before.end(), std::back_inserter(finite), [](double v) { return std::isfinite(v); });
  const auto [lo, hi] = std::minmax_element(finite.begin(), finite.end());
  if (finite.empty() || *hi == *lo) {
    unchanged(" although z has no two different finite values");
    return;
  }
  for (std::size_t k = 0; k < before.size(); ++k) {
    const std::string where = "z(" + std::to_string(k + 1) + ") = " + show(before[k]) + " rescaled to " + show(after[k]);
    FUZZ_CHECK(after[k] >= 0 && after[k] <= 255 * (1 + 1e-12), where);
    if (before[k] == *lo || (before[k] < 0 && std::isinf(before[k])))
      FUZZ_CHECK(after[k] == 0, where + ": the smallest value is not 0");
    if (before[k] > 0 && std::isinf(before[k])) FUZZ_CHECK(after[k] == 255, where + ": +inf is not 255");
  }
}

// A sequence of calls on one unit: the area of its first call, and whether
// every later call used it too (another area draws in another viewport).
struct Sequence {
  int unit = 0;
  Area area{0, 0};
  bool same_area = true;
};

void one_call(FuzzedDataProvider& in, bool first, std::vector<Sequence>& sequences) {
  const int form = in.ConsumeIntegralInRange<int>(0, 3);  // scr_map, _r4, _2d, _2d_r8
  constexpr fuzz::Index kMaxSize = 30;

  // The base form takes x, y and z in double precision, z a vector it rescales in place.
  const fuzz::FormArrays a(in, form == 0 || form == 3, form >= 2, kMaxSize, kMaxSize * kMaxSize);
  const std::size_t nx = a.nx(), ny = a.ny();
  std::vector<double> base_z;  // the base form's z, changed in place
  if (form == 0) base_z = a.zd->values();
  const std::vector<double> z = a.z_wide();  // the values as the routine sees them

  const std::optional<int> log_option = fuzz::any_log_option(in, fuzz::all_have_log(z));
  const std::optional<std::string> xlabel = fuzz::any_text(in);
  const std::optional<std::string> ylabel = fuzz::any_text(in);
  const std::optional<std::string> title = fuzz::any_text(in);
  const std::optional<int> size = fuzz::any_int(in);
  const int own_window = in.ConsumeIntegral<int>() | 1;
  std::optional<int> continuation = fuzz::any_int(in);
  if (first && continuation) *continuation &= ~1;
  const bool later = continuation && (*continuation & 1) != 0;
  const fuzz::AnyColours colours(in, fuzz::log_on(log_option));

  static const char* const names[] = {"scr_map", "scr_map_r4", "scr_map_2d", "scr_map_2d_r8"};
  if (fuzz::verbose()) {
    const std::string arrays =
        form == 0 ? a.describe_xy() + ",\n  z = " + fuzz::FuzzVec<double>(base_z).describe() : a.describe();
    fuzz::print_call(std::string(names[form]) + "(" + arrays +
                     ",\n  log option " + fuzz::describe(log_option) + ", x label " + fuzz::describe(xlabel) +
                     ", y label " + fuzz::describe(ylabel) + ", title " + fuzz::describe(title) + ", size " +
                     fuzz::describe(size) + ", own window " + std::to_string(own_window) + ", continuation " +
                     fuzz::describe(continuation) + ", " + colours.describe() + ")");
  }
  mapscreen::ScreenMapState& state = mapscreen::screen_map_state();
  const int unit_before = state.unit_counter;
  const mapscreen::ScreenMapOptions options{.log = log_option, .xlabel = fuzz::arg(xlabel),
                                            .ylabel = fuzz::arg(ylabel), .title = fuzz::arg(title), .size = size,
                                            .own_window = own_window, .continuation = continuation,
                                            .palette = colours.palette(), .zmin = colours.zmin(),
                                            .zmax = colours.zmax(), .nan_colour = colours.nan_colour(),
                                            .under = colours.under(), .over = colours.over(),
                                            .zcentre = colours.zcentre(), .zlabel = colours.zlabel(),
                                            .contours = colours.contours(),
                                            .contour_colour = colours.contour_colour(),
                                            .contour_labels = colours.contour_labels()};
  a.with_views([&](auto x, auto y, auto z) {
    // The base form's z is base_z, rescaled in place; the other forms' the caller's view.
    if constexpr (std::is_same_v<decltype(z), maparg::VecView<double>>)
      mapscreen::screen_map(x, y, base_z, options);
    else
      mapscreen::screen_map(x, y, z, options);
  });

  // The caller's arrays.
  FUZZ_CHECK(a.xy_unchanged(), "the screen map changed the caller's x or y");
  // The base form's z is the caller's own vector, checked below.
  if (form != 0) FUZZ_CHECK(a.z_unchanged(), std::string(names[form]) + " changed the caller's z");
  if (form == 0) {
    const auto finite = [](const std::vector<double>& v) {
      return std::all_of(v.begin(), v.end(), [](double c) { return std::isfinite(c); });
    };
    const bool has_cells = nx > 0 && ny > 0 && finite(a.x_wide()) && finite(a.y_wide());
    check_base_z(z, base_z, nx * ny, has_cells, fuzz::log_on(log_option),
                 colours.zmin() || colours.zmax());
  }

  // The unit.
  const int unit = state.unit_counter;
  FUZZ_CHECK(unit == (later ? unit_before : unit_before + 1),
             "unit " + std::to_string(unit) + " after unit " + std::to_string(unit_before));
  FUZZ_CHECK(gfxwin::active_unit() == unit, "the active unit is " + std::to_string(gfxwin::active_unit()));
  if (!later) {
    std::string caption = fuzz::field_text(title, maparg::kDefaultTitle, false, true);
    if (fuzz::log_on(log_option)) caption = fuzz::log_title_text(caption);
    FUZZ_CHECK(gfxwin::window_title(unit) == caption,
               "caption " + show_text(gfxwin::window_title(unit)) + ", expected " + show_text(caption));
  }

  const Area area = area_of(size);
  if (!later) sequences.push_back({unit, area, true});
  sequences.back().same_area = sequences.back().same_area && area == sequences.back().area;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  mapscreen::screen_map_state() = mapscreen::ScreenMapState{};
  const int calls = in.ConsumeIntegralInRange<int>(1, 3);
  std::vector<Sequence> sequences;
  for (int call = 0; call < calls; ++call) one_call(in, call == 0, sequences);
  // The picture outside the viewport, where every call of a sequence used
  // the area of its first one. A pixel drawn there stays: one look after all
  // calls does for every call.
  for (const Sequence& s : sequences)
    if (s.same_area) check_outside_viewport(s.unit, s.area);
  // Every unit closed again: an input that ends with its memory given back
  // spares libFuzzer a second run looking for a leak.
  gfxwin::reset_for_tests();
  return 0;
}
