#include "mapps/ps_map.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "maparg/convert.h"
#include "maparg/request.h"
#include "mapps/pgplot/pgplot.h"
#include "textfmt/drawn_text.h"
#include "textfmt/fixed_text.h"
#include "rtl/fatal.h"

namespace mapps {
namespace {

using maparg::Index;

// The five text fields: 80 characters each, the default for an absent text,
// the labels without their leading blanks, the other texts as given. Labels
// and title are cut to 80 characters; file name and device type are never cut.
struct PsTextFields {
  std::string xlabel;  // "x"
  std::string ylabel;  // "y"
  std::string title;   // "Representation of z=z(x,y)"
  std::string file;    // "Map.ps"
  std::string device;  // "ps"
};

PsTextFields ps_text_fields(OptText xlabel, OptText ylabel, OptText title, OptText file,
                            OptText device) {
  using maparg::Reduce;
  using maparg::text_field;
  return {text_field(xlabel, maparg::kDefaultXLabel, Reduce::leading),
          text_field(ylabel, maparg::kDefaultYLabel, Reduce::leading),
          text_field(title, maparg::kDefaultTitle, Reduce::none),
          maparg::name_field(file, "Map.ps"),
          maparg::name_field(device, "ps")};
}

// What ps_map prepares and its draw step reads.
struct Prepared {
  PsTextFields fields;
  VecView<float> x;
  VecView<float> y;
  VecView<float> zd;  // z itself, or its logarithms
  Index nx = 0;
  Index ny = 0;
  maparg::ColourTable table;  // the grey ramp unless a palette is given
  // The caller's zmin and zmax (their log10 under the log option), each when given.
  std::optional<float> zmin;
  std::optional<float> zmax;
  std::optional<float> zcentre;  // as a value of the image, when given
  std::string wedge_label = " ";  // PGWEDG's label: zlabel's field, or none
  bool fill_viewport = false;                  // aspect "auto"
  std::optional<std::array<int, 2>> pixels;   // a PNG picture's size
};

// The page options, resolved: a value that cannot be used writes its warning
// line and leaves the default.
void resolve_page(const PsMapOptions& o, std::string_view device_type, Prepared& p) {
  if (o.aspect) {
    const std::string_view aspect = textfmt::strip(*o.aspect);
    p.fill_viewport = textfmt::same_ignoring_case(aspect, "auto");
    if (!p.fill_viewport && !textfmt::same_ignoring_case(aspect, "equal"))
      maparg::console_line(" Warning: aspect must be equal or auto: equal used !!!");
  }
  if (o.pixels) {
    constexpr std::int64_t kFewest = 16, kMost = 16384;
    const auto [w, h] = *o.pixels;
    if (w < kFewest || w > kMost || h < kFewest || h > kMost)
      maparg::console_line(" Warning: pixels must be 16 .. 16384 each: 800 x 600 used !!!");
    else if (textfmt::same_ignoring_case(device_type, "png") ||
             textfmt::same_ignoring_case(device_type, "tpng"))
      p.pixels = std::array<int, 2>{static_cast<int>(w), static_cast<int>(h)};
  }
}

// The device string: the whole file-name field (80 characters or more), "/",
// the device type.
std::string device_spec(const PsTextFields& f) {
  return f.file + "/" + std::string(textfmt::strip(f.device));
}

// A label as it is handed to PGPLOT: the field as it is drawn (see
// textfmt::drawn_text) and 20 blanks.
std::string label_text(const std::string& field) {
  return textfmt::drawn_text(field) + std::string(20, ' ');
}

// The draw step: copy, range, transform and the PGPLOT calls from opening
// the device of `device_string` to closing it. Returns what pgbeg returned:
// 1 when the map was drawn.
// Requires: nx >= 2, ny >= 2 and at least nx * ny values in zd.
int ps_map_draw(const Prepared& p, const std::string& device_string) {
  const Pgplot& pg = pgplot();
  const int nx = static_cast<int>(p.nx);
  const int ny = static_cast<int>(p.ny);

  const std::vector<float> xa = maparg::to_vector<float>(p.x);
  const std::vector<float> ya = maparg::to_vector<float>(p.y);
  std::vector<float> zm(static_cast<std::size_t>(p.nx * p.ny));
  // The range of the finite values: infinite ones take its ends below, and a
  // value that is not a number never compares.
  float zhi = -1.0e38f;
  float zlo = 1.0e38f;
  bool any_finite = false;
  for (std::size_t k = 0; k < zm.size(); ++k) {
    rtl::check_interruption_at_value(static_cast<std::int64_t>(k));
    const float v = p.zd.element(static_cast<Index>(k));
    zm[k] = v;
    if (!std::isfinite(v)) continue;
    any_finite = true;
    if (v > zhi) zhi = v;
    if (v < zlo) zlo = v;
  }
  if (!any_finite) zhi = zlo = 0.0f;  // no finite value: a flat map at zero

  // The caller's range in place of the data's, when it is one.
  const bool own_range = p.zmin || p.zmax;
  if (!own_range) maparg::centre_range(p.zcentre, zlo, zhi);
  const float given_lo = p.zmin.value_or(zlo), given_hi = p.zmax.value_or(zhi);
  const bool range_given = own_range && maparg::usable_range(given_lo, given_hi);
  if (own_range && !range_given) maparg::console_line(maparg::kRangeWarning);
  if (range_given) {
    zlo = given_lo;
    zhi = given_hi;
    // Values beyond the range take its end colours.
    for (float& v : zm) v = v < zlo ? zlo : v > zhi ? zhi : v;
  } else {
    const float range = zhi - zlo;
    if (std::fabs(range) < 1.0e-6f) maparg::console_line(" Array is flat!");
    // A range beyond the largest float would make the lower end -inf.
    if (std::isfinite(range)) zlo = zhi - range;
    for (float& v : zm)
      if (std::isinf(v)) v = v > 0 ? zhi : zlo;
  }

  const float dx = (xa[nx - 1] - xa[0]) / static_cast<float>(nx - 1);
  const float dy = (ya[ny - 1] - ya[0]) / static_cast<float>(ny - 1);
  const float tr[6] = {xa[0] - dx, dx, 0.0f, ya[0] - dy, 0.0f, dy};

  // Through the centres of the corner cells (1,1), (1,ny), (nx,ny), (nx,1).
  const float ci[5] = {1.0f, 1.0f, static_cast<float>(nx), static_cast<float>(nx), 1.0f};
  const float cj[5] = {1.0f, static_cast<float>(ny), static_cast<float>(ny), 1.0f, 1.0f};
  float frame_x[5];
  float frame_y[5];
  for (int k = 0; k < 5; ++k) {
    frame_x[k] = tr[0] + tr[1] * ci[k] + tr[2] * cj[k];
    frame_y[k] = tr[3] + tr[4] * ci[k] + tr[5] * cj[k];
  }

  if (const int status = pg.beg(0, device_string, 1, 1); status != 1) return status;
  if (p.pixels) pg.pap_pixels((*p.pixels)[0], (*p.pixels)[1]);
  pg.scf(2);
  pg.slw(3);
  pg.svp(0.12f, 0.83f, 0.12f, 0.88f);
  if (p.fill_viewport)
    pg.swin(xa[0], xa[nx - 1], ya[0], ya[ny - 1]);
  else
    pg.wnad(xa[0], xa[nx - 1], ya[0], ya[ny - 1]);
  pg.bbuf();
  const maparg::ColourTable& t = p.table;
  pg.ctab(t.level.data(), t.red.data(), t.green.data(), t.blue.data(), t.size(), 1.0f, 0.5f);
  pg.imag(zm.data(), nx, ny, 1, nx, 1, ny, zlo, zhi, tr);
  pg.ebuf();
  pg.sci(0);
  pg.sci(1);
  pg.sls(1);
  pg.slw(1);
  pg.sci(1);
  pg.line(5, frame_x, frame_y);
  pg.box("bcnts", 0.0f, 0, "bcnts", 0.0f, 0);
  pg.sch(0.8f);
  pg.wedg("ri", 3.0f, 4.0f, zlo, zhi, p.wedge_label);
  pg.sci(1);
  pg.sch(1.0f);
  pg.slw(3);
  pg.lab(label_text(p.fields.xlabel), label_text(p.fields.ylabel), label_text(p.fields.title));
  pg.sci(0);
  pg.slw(3);
  pg.end();
  return 1;
}

}  // namespace

std::string output_file_field(std::string_view file_field, std::string_view device_field) {
  const std::string_view name = textfmt::trim(file_field);
  const std::string_view type = textfmt::trim(device_field);
  const std::size_t n = name.size();
  // A name that already ends in the device type (m.eps with eps, m.vps with
  // vps) is kept: the type is its ending already.
  const bool ends_in_type = !type.empty() && name.ends_with(type);
  if (n < 2 || name.substr(n - 2) != "ps" || type == "ps" || ends_in_type)
    return textfmt::pad_fixed(file_field);
  std::string renamed(name.substr(0, n - 2));
  renamed += type;
  return textfmt::pad_fixed(renamed);
}

PsMapResult ps_map(VecView<float> x, VecView<float> y, VecView<float> z, OptInt log_option,
                   OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) {
  return ps_map(x, y, z,
         {.log = log_option, .xlabel = xlabel, .ylabel = ylabel, .title = title, .file = file,
          .device = device});
}

PsMapResult ps_map(VecView<float> x, VecView<float> y, VecView<float> z,
                   const PsMapOptions& o) try {
  Prepared p;
  p.fields = ps_text_fields(o.xlabel, o.ylabel, o.title, o.file, o.device);
  rtl::refuse_nul_bytes(textfmt::trim(p.fields.file), "File name");
  rtl::refuse_nul_bytes(textfmt::trim(p.fields.device), "Device type");
  p.fields.file = output_file_field(p.fields.file, p.fields.device);
  const bool log_on = maparg::truth(o.log);
  if (log_on) p.fields.title = maparg::log_title(p.fields.title);
  p.table = maparg::colour_request(o.palette);
  resolve_page(o, textfmt::strip(p.fields.device), p);

  p.x = x;
  p.y = y;
  p.nx = x.size();
  p.ny = y.size();
  const Index nz = z.size();
  // Formed wide: a product beyond 32 bits must not pass the test by wrapping.
  const std::int64_t cells = static_cast<std::int64_t>(p.nx) * p.ny;
  // The first warning that refuses the map says why no file was written.
  PsMapResult result;
  const auto refusal = [&result](std::string_view line) {
    maparg::console_line(line);
    if (result.outcome == PsMapResult::Outcome::kWritten) {
      result.outcome = PsMapResult::Outcome::kRefused;
      result.message = textfmt::strip(line);
    }
  };
  constexpr std::string_view kSizeWarning = " Warning: incompatible array sizes !!!";
  if (nz < cells) refusal(kSizeWarning);
  else if (nz != cells) maparg::console_line(kSizeWarning);
  const bool too_few = p.nx < 2 || p.ny < 2;
  if (too_few) refusal(" Warning: at least two x and two y values are needed !!!");
  // Coordinates beyond the single-precision range are infinite here too.
  const bool not_finite = !maparg::all_finite(x) || !maparg::all_finite(y);
  if (not_finite) refusal(" Warning: x and y values must be finite !!!");

  std::vector<float> logs;
  p.zd = z;
  if (log_on) {
    logs = maparg::checked_logs(z);
    p.zd = VecView<float>(logs);
  }
  // The limits as the image's values, in single precision.
  p.zmin = maparg::map_limit<float>(o.zmin, log_on);
  p.zmax = maparg::map_limit<float>(o.zmax, log_on);
  p.zcentre = maparg::map_limit<float>(o.zcentre, log_on);
  if (o.zlabel)
    p.wedge_label = label_text(maparg::text_field(o.zlabel, "", maparg::Reduce::leading));

  // Too few values would be read past their end, too few coordinates give no
  // spacing, coordinates that are not finite no place on the page: nothing is
  // drawn and no file is made.
  if (result.outcome == PsMapResult::Outcome::kRefused) return result;
  // A device type is what follows the last "/" of the device string: one
  // holding a "/" would make part of it a file name.
  const std::string_view type = textfmt::strip(p.fields.device);
  if (type.find('/') != std::string_view::npos) {
    result.message = "Unrecognized device type: " + std::string(type);
    pgplot_message(result.message);
    result.outcome = PsMapResult::Outcome::kDeviceRefused;
    return result;
  }
  const std::string device_string = device_spec(p.fields);
  if (const int status = ps_map_draw(p, device_string); status != 1) {
    const PgplotRefusal why = pgplot_refusal(device_string, status);
    result.outcome = why.error != 0 ? PsMapResult::Outcome::kNotOpened
                                    : PsMapResult::Outcome::kDeviceRefused;
    result.error = why.error;
    result.file = why.file;
    result.message = why.message;
    return result;
  }
  result.file = pgplot_output_file(device_string);
  if (result.file.empty()) {
    result.outcome = PsMapResult::Outcome::kNoFile;
    return result;
  }
  result.kind = pgplot_file_kind(device_string);
  maparg::console_line(" Output in ", result.file);
  return result;
} catch (...) {
  // A plot cut short leaves no device open: the next one would finish its file.
  pgplot_abandon();
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapps
