#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <type_traits>

#include "rtl/console.h"
#include "rtl/fatal.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

constexpr float kInfF = std::numeric_limits<float>::infinity();
constexpr double kInf = std::numeric_limits<double>::infinity();

const float kSpecialFloats[] = {
    0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 0.1f, -0.1f,
    0.099999994f,  // just below 0.1: the exponent form
    9999999.0f, 9999999.5f, 1.0e7f, 12345678.0f, 0.05f, 0.3f, 1.0e-6f, 1.0000001f, 100.0f,
    255.0f, 16777216.0f, 1.0e10f, 1.0e20f, 1.0e38f, 1.0e-38f, 3.0e-39f,
    kInfF, -kInfF,
    std::bit_cast<float>(0x7fc00000u),  // quiet not-a-number
    std::bit_cast<float>(0xffc00000u),  // with the sign bit
    std::bit_cast<float>(0x7f800001u),  // signalling
    std::bit_cast<float>(0x7fc12345u),  // with a payload
    std::bit_cast<float>(0xff800123u),
    std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
    std::bit_cast<float>(0x007fffffu),  // largest subnormal
    std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
    -std::numeric_limits<float>::max(), std::nextafter(std::numeric_limits<float>::max(), 0.0f),
};

const double kSpecialDoubles[] = {
    0.0, -0.0, 1.0, -1.0, 0.1, -0.1, 0.5, 9999999.5, 1.0e7, 1.0e16, 123456789.123, 1.0e-6,
    kInf, -kInf,
    std::bit_cast<double>(0x7ff8000000000000ull),
    std::bit_cast<double>(0xfff8000000000000ull),
    std::bit_cast<double>(0x7ff0000000000001ull),  // signalling
    std::bit_cast<double>(0x7ff8000000012345ull),  // with a payload
    std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(), 1.0e300, -1.0e300, 1.0e-300,
    // Around the single-precision range: the largest float, the point from
    // which rounding gives infinity, just below it, values that round to the
    // smallest subnormal or to zero.
    3.4028234663852886e38, 0x1.ffffffp127, std::nextafter(0x1.ffffffp127, 0.0), -0x1.ffffffp127,
    1.0e-45, 7.0e-46, 1.0e-46, -1.0e-46, 3.4028235e38,
};

// A decimal of up to `max_digits` digits and any exponent, read as T.
template <class T>
T short_decimal(FuzzedDataProvider& in, int max_digits, int min_exp, int max_exp) {
  long long limit = 1;
  for (int i = 0; i < max_digits; ++i) limit *= 10;
  const long long mantissa = in.ConsumeIntegralInRange<long long>(-(limit - 1), limit - 1);
  const int exponent = in.ConsumeIntegralInRange<int>(min_exp, max_exp);
  char text[64];
  std::snprintf(text, sizeof text, "%llde%d", mantissa, exponent);
  if constexpr (sizeof(T) == sizeof(float))
    return std::strtof(text, nullptr);
  else
    return std::strtod(text, nullptr);
}

bool is_blank(char c) { return c == ' '; }

}  // namespace

bool verbose() {
  static const bool on = std::getenv("MAPPLOT_FUZZ_VERBOSE") != nullptr;
  return on;
}

void print_call(const std::string& call) {
  if (!verbose()) return;
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", call.c_str());
  std::fflush(stderr);
}

void setup() {
  if (!verbose() && std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
  rtl::change_hooks([&](rtl::Hooks& h) { h.fatal_exit = [](int) {
    std::fprintf(stderr, "fuzz: fatal error report with valid arguments\n");
    std::abort();
  }; });
}

void check_failed(const char* condition, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "\nfuzz: check failed at %s:%d: %s\n%s\n", file, line, condition, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string show(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g (0x%08x)", static_cast<double>(v), std::bit_cast<std::uint32_t>(v));
  return text;
}

std::string show(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (0x%016llx)", v,
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return text;
}

std::string show_text(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      out += esc;
    }
  }
  return out + "\" (" + std::to_string(text.size()) + " bytes)";
}

float any_float(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
    case 1:
      return kSpecialFloats[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecialFloats) - 1)];
    case 2:
      return std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>());
    case 3:
      return short_decimal<float>(in, 9, -50, 40);
    case 4: {  // next to a short decimal: where rounding is closest to a tie
      const float v = short_decimal<float>(in, 7, -45, 38);
      return std::nextafter(v, in.ConsumeBool() ? kInfF : -kInfF);
    }
    case 5:
      return static_cast<float>(in.ConsumeIntegralInRange<int>(-300, 300));
    default:
      return in.ConsumeFloatingPointInRange<float>(-1000.0f, 1000.0f);
  }
}

double any_double(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
    case 1:
      return kSpecialDoubles[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecialDoubles) - 1)];
    case 2:
      return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
    case 3:
      return short_decimal<double>(in, 17, -330, 310);
    case 4:
      return static_cast<double>(any_float(in));
    case 5:
      return static_cast<double>(in.ConsumeIntegralInRange<int>(-300, 300));
    default:
      return in.ConsumeFloatingPointInRange<double>(-1000.0, 1000.0);
  }
}

float to_single(double v) {
  if (std::isfinite(v) && std::fabs(v) >= 0x1.ffffffp127) return v > 0 ? kInfF : -kInfF;
  return static_cast<float>(v);
}

float nearest_decimal(float v, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, static_cast<double>(v));
  return std::strtof(text, nullptr);
}

// --- Views ---

namespace {

// Between the elements: a not-a-number with a payload of its own.
template <class T>
T gap_value() {
  if constexpr (sizeof(T) == sizeof(float))
    return std::bit_cast<float>(0x7fc0deadu);
  else
    return std::bit_cast<double>(0x7ff800000000deadull);
}

Index any_stride(FuzzedDataProvider& in) {
  static const Index strides[] = {1, 1, 1, 2, 3, -1, -2, 0};
  return strides[in.ConsumeIntegralInRange<int>(0, 7)];
}

Index any_lower(FuzzedDataProvider& in) {
  if (!in.ConsumeBool()) return 1;
  constexpr Index kFar = Index{1} << 40;
  return in.ConsumeIntegralInRange<Index>(-kFar, kFar);
}

// Values printed of a vector or matrix.
constexpr std::size_t kShown = 40;

template <class T>
std::vector<unsigned char> bytes_of(const std::vector<T>& v) {
  std::vector<unsigned char> b(v.size() * sizeof(T));
  if (!v.empty()) std::memcpy(b.data(), v.data(), b.size());
  return b;
}

template <class T>
bool same_bytes(const std::vector<T>& v, const std::vector<unsigned char>& b) {
  return v.size() * sizeof(T) == b.size() && (b.empty() || std::memcmp(v.data(), b.data(), b.size()) == 0);
}

}  // namespace

template <class T>
FuzzVec<T>::FuzzVec(FuzzedDataProvider& in, Index max_size) {
  const Index n = in.ConsumeIntegralInRange<Index>(0, max_size);
  const Index stride = any_stride(in);
  const Index lower = any_lower(in);
  const Index step = stride < 0 ? -stride : stride;
  const Index length = n == 0 ? 0 : (n - 1) * step + 1;
  storage_.assign(static_cast<std::size_t>(length), gap_value<T>());
  const Index first = stride < 0 && length > 0 ? length - 1 : 0;
  for (Index k = 0; k < n; ++k) storage_[static_cast<std::size_t>(first + k * stride)] = any_value<T>(in);
  original_ = bytes_of(storage_);
  stride_ = stride;
  view_ = maparg::VecView<T>(storage_.data() + first, n, stride, lower);
}

template <class T>
FuzzVec<T>::FuzzVec(std::vector<T> values) : storage_(std::move(values)) {
  original_ = bytes_of(storage_);
  view_ = maparg::VecView<T>(storage_);
}

template <class T>
std::vector<T> FuzzVec<T>::values() const {
  std::vector<T> out;
  for (Index k = 0; k < view_.size(); ++k) out.push_back(view_.element(k));
  return out;
}

template <class T>
bool FuzzVec<T>::unchanged() const {
  return same_bytes(storage_, original_);
}

template <class T>
std::string FuzzVec<T>::describe() const {
  std::string out = "vector of " + std::to_string(view_.size()) + ", stride " + std::to_string(stride_) +
                    ", lower bound " + std::to_string(view_.lower()) + " {";
  const auto shown = static_cast<Index>(kShown);
  for (Index k = 0; k < view_.size() && k < shown; ++k) out += (k ? ", " : "") + show(view_.element(k));
  if (view_.size() > shown) out += ", ... " + std::to_string(view_.size() - shown) + " more";
  return out + "}";
}

template <class T>
FuzzMat<T>::FuzzMat(FuzzedDataProvider& in, Index max_extent1, Index max_extent2) {
  const Index e1 = in.ConsumeIntegralInRange<Index>(0, max_extent1);
  const Index e2 = in.ConsumeIntegralInRange<Index>(0, max_extent2);
  Index s1 = 1;
  Index s2 = e1;
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 4:  // the second index fastest
      s1 = e2;
      s2 = 1;
      break;
    case 5:  // gaps between the elements and between the columns
      s1 = 2;
      s2 = 2 * e1 + 1;
      break;
    case 6:  // both backwards
      s1 = -1;
      s2 = -e1;
      break;
    case 7:  // anything, overlapping elements included
      s1 = in.ConsumeIntegralInRange<Index>(-3, 3);
      s2 = in.ConsumeIntegralInRange<Index>(-(3 * e1 + 3), 3 * e1 + 3);
      break;
    default:  // packed
      break;
  }
  const Index lower1 = any_lower(in);
  const Index lower2 = any_lower(in);
  Index base = 0;
  if (e1 > 0 && e2 > 0) {
    const Index a = (e1 - 1) * s1;
    const Index b = (e2 - 1) * s2;
    const Index lo = std::min<Index>(0, a) + std::min<Index>(0, b);
    const Index hi = std::max<Index>(0, a) + std::max<Index>(0, b);
    storage_.assign(static_cast<std::size_t>(hi - lo + 1), gap_value<T>());
    base = -lo;
    for (Index j = 0; j < e2; ++j)
      for (Index i = 0; i < e1; ++i)
        storage_[static_cast<std::size_t>(base + i * s1 + j * s2)] = any_value<T>(in);
  }
  original_ = bytes_of(storage_);
  stride1_ = s1;
  stride2_ = s2;
  view_ = maparg::MatView<T>(storage_.data() + base, e1, e2, s1, s2, lower1, lower2);
}

template <class T>
std::vector<T> FuzzMat<T>::values() const {
  std::vector<T> out;
  for (Index j = 0; j < view_.extent2(); ++j)
    for (Index i = 0; i < view_.extent1(); ++i) out.push_back(view_.element(i, j));
  return out;
}

template <class T>
bool FuzzMat<T>::unchanged() const {
  return same_bytes(storage_, original_);
}

template <class T>
std::string FuzzMat<T>::describe() const {
  std::string out = "matrix of " + std::to_string(view_.extent1()) + " x " + std::to_string(view_.extent2()) +
                    ", strides " + std::to_string(stride1_) + ", " + std::to_string(stride2_) +
                    ", lower bounds " + std::to_string(view_.lower1()) + ", " + std::to_string(view_.lower2()) +
                    " {";
  const std::vector<T> v = values();
  for (std::size_t k = 0; k < v.size() && k < kShown; ++k) out += (k ? ", " : "") + show(v[k]);
  if (v.size() > kShown) out += ", ... " + std::to_string(v.size() - kShown) + " more";
  return out + "}";
}

FormArrays::FormArrays(FuzzedDataProvider& in, bool wide, bool matrix, Index max_size, Index max_values) {
  if (wide) {
    xd.emplace(in, max_size);
    yd.emplace(in, max_size);
    if (matrix)
      md.emplace(in, max_size, max_size);
    else
      zd.emplace(in, max_values);
  } else {
    xf.emplace(in, max_size);
    yf.emplace(in, max_size);
    if (matrix)
      mf.emplace(in, max_size, max_size);
    else
      zf.emplace(in, max_values);
  }
}

namespace {

template <class To, class From>
std::vector<To> converted(const std::vector<From>& v) {
  if constexpr (std::is_same_v<To, From>) {
    return v;
  } else {
    // Narrowed as the routines narrow: rounded to nearest, beyond the range infinite.
    std::vector<To> out;
    for (From x : v) {
      if constexpr (std::is_same_v<To, float>)
        out.push_back(to_single(x));
      else
        out.push_back(static_cast<To>(x));
    }
    return out;
  }
}

// The values of whichever of a single- and a double-precision array was built.
template <class To, class Single, class Double>
std::vector<To> values_of(const std::optional<Single>& single, const std::optional<Double>& wide) {
  return single ? converted<To>(single->values()) : converted<To>(wide->values());
}

}  // namespace

std::size_t FormArrays::nx() const { return static_cast<std::size_t>(xf ? xf->size() : xd->size()); }
std::size_t FormArrays::ny() const { return static_cast<std::size_t>(yf ? yf->size() : yd->size()); }

std::vector<float> FormArrays::x_single() const { return values_of<float>(xf, xd); }
std::vector<float> FormArrays::y_single() const { return values_of<float>(yf, yd); }
std::vector<float> FormArrays::z_single() const {
  return mf || md ? values_of<float>(mf, md) : values_of<float>(zf, zd);
}
std::vector<double> FormArrays::x_wide() const { return values_of<double>(xf, xd); }
std::vector<double> FormArrays::y_wide() const { return values_of<double>(yf, yd); }
std::vector<double> FormArrays::z_wide() const {
  return mf || md ? values_of<double>(mf, md) : values_of<double>(zf, zd);
}

std::string FormArrays::describe_xy() const {
  return "\n  x = " + (xf ? xf->describe() : xd->describe()) + ",\n  y = " + (yf ? yf->describe() : yd->describe());
}

std::string FormArrays::describe() const {
  const std::string z = mf ? mf->describe() : md ? md->describe() : zf ? zf->describe() : zd->describe();
  return describe_xy() + ",\n  z = " + z;
}

bool FormArrays::xy_unchanged() const {
  return xf ? xf->unchanged() && yf->unchanged() : xd->unchanged() && yd->unchanged();
}

bool FormArrays::z_unchanged() const {
  return mf ? mf->unchanged() : md ? md->unchanged() : zf ? zf->unchanged() : zd->unchanged();
}

template class FuzzVec<float>;
template class FuzzVec<double>;
template class FuzzMat<float>;
template class FuzzMat<double>;

// --- Optional arguments ---

std::optional<std::string> any_text(FuzzedDataProvider& in) {
  if (!in.ConsumeBool()) return std::nullopt;
  const auto length = in.ConsumeIntegralInRange<std::size_t>(0, 100);
  std::string text = in.ConsumeBytesAsString(length);
  const auto blanks = in.ConsumeIntegral<std::uint8_t>();
  if (blanks & 0x40) text.insert(0, blanks & 7u, ' ');
  if (blanks & 0x80) text.append((blanks >> 3) & 7u, ' ');
  return text;
}

std::optional<int> any_int(FuzzedDataProvider& in) {
  if (!in.ConsumeBool()) return std::nullopt;
  return in.ConsumeIntegral<int>();
}

std::string describe(const std::optional<std::string>& text) {
  return text ? show_text(*text) : "absent";
}

std::string describe(const std::optional<int>& value) {
  return value ? std::to_string(*value) : "absent";
}

std::optional<int> any_log_option(FuzzedDataProvider& in, bool allowed) {
  std::optional<int> option = any_int(in);
  if (option && !allowed) *option &= ~1;
  return option;
}

bool log_on(const std::optional<int>& option) { return option && (*option & 1) != 0; }

// --- Colours ---

AnyColours::AnyColours(FuzzedDataProvider& in, bool log) {
  static const char* const names[] = {"grey", "HEAT", "rainbow_r", "Viridis", " magma ",
                                      "cividis_R", "sepia", "_r", ""};
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 1:
      name_ = names[in.ConsumeIntegralInRange<int>(0, 8)];
      break;
    case 2:
      name_ = in.ConsumeRandomLengthString(20);
      break;
    case 3: {
      points_.emplace(in.ConsumeIntegralInRange<std::size_t>(0, 6));
      for (maparg::PalettePoint& p : *points_) {
        float* parts[] = {&p.level, &p.red, &p.green, &p.blue};
        for (float* part : parts)  // mostly within 0 .. 1, now and then anything
          *part = in.ConsumeBool() ? in.ConsumeFloatingPointInRange<float>(0, 1)
                                   : in.ConsumeFloatingPoint<float>();
      }
      break;
    }
    case 4: {
      // Levels evenly spaced from 0 to 1, intensities of a pseudo-random walk.
      const auto n = in.ConsumeIntegralInRange<std::size_t>(2, 5000);
      generated_ = true;
      seed_ = in.ConsumeIntegral<unsigned>();
      unsigned state = seed_;
      const auto intensity = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
      };
      points_.emplace(n);
      for (std::size_t k = 0; k < n; ++k)
        (*points_)[k] = {static_cast<float>(k) / static_cast<float>(n - 1), intensity(),
                         intensity(), intensity()};
      points_->back().level = 1.0f;
      break;
    }
    default:
      break;
  }
  const auto any_limit = [&]() -> maparg::OptReal {
    if (!in.ConsumeBool()) return std::nullopt;
    const double v = in.ConsumeBool() ? in.ConsumeFloatingPointInRange<double>(-10, 10)
                                      : in.ConsumeFloatingPoint<double>();
    if (!log) return v;
    const float single = static_cast<float>(v);
    return single > 0 ? v : 1.0;
  };
  zmin_ = any_limit();
  zmax_ = any_limit();
  const auto any_colour = [&]() -> maparg::OptColour {
    if (!in.ConsumeBool()) return std::nullopt;
    const bool usable = in.ConsumeBool();
    maparg::Colour c;
    for (double& v : c)
      v = usable ? in.ConsumeProbability<double>() : in.ConsumeFloatingPoint<double>();
    return c;
  };
  nan_colour_ = any_colour();
  under_ = any_colour();
  over_ = any_colour();
  zcentre_ = any_limit();
  if (in.ConsumeBool()) zlabel_ = in.ConsumeRandomLengthString(100);
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 1:
      contour_count_ = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int64_t>(-2, 30)
                                        : in.ConsumeIntegral<std::int64_t>();
      break;
    case 2:
      contour_levels_.emplace(in.ConsumeIntegralInRange<std::size_t>(0, 12));
      for (double& v : *contour_levels_) {
        v = in.ConsumeBool() ? in.ConsumeFloatingPointInRange<double>(-10, 10)
                             : in.ConsumeFloatingPoint<double>();
        if (log && !(v > 0)) v = 1.0;  // a level of zero or below ends the program by design
      }
      break;
    default:
      break;
  }
  contour_colour_ = any_colour();
  if (in.ConsumeBool()) contour_labels_ = in.ConsumeIntegral<int>();
}

std::vector<std::string> AnyColours::colour_warnings() const {
  std::vector<std::string> lines;
  const auto check = [&](const maparg::OptColour& c, const char* name, const char* fallback) {
    if (c && !std::all_of(c->begin(), c->end(), [](double v) { return v >= 0 && v <= 1; }))
      lines.push_back(std::string("  Warning: ") + name +
                      " must be three intensities within 0 .. 1: " + fallback + " used !!!");
  };
  check(nan_colour_, "nan_colour", "black");
  check(under_, "under", "the end colours");
  check(over_, "over", "the end colours");
  return lines;
}

maparg::OptPalette AnyColours::palette() const {
  if (name_) return maparg::Palette(std::string_view(*name_));
  if (points_) return maparg::Palette(std::span<const maparg::PalettePoint>(*points_));
  return std::nullopt;
}

std::string AnyColours::describe() const {
  std::string d = "palette ";
  if (name_) {
    d += show_text(*name_);
  } else if (generated_) {
    d += std::to_string(points_->size()) + " points made from seed " + std::to_string(seed_);
  } else if (points_) {
    d += "points [";
    for (const maparg::PalettePoint& p : *points_)
      d += " (" + std::to_string(p.level) + " " + std::to_string(p.red) + " " +
           std::to_string(p.green) + " " + std::to_string(p.blue) + ")";
    d += " ]";
  } else {
    d += "absent";
  }
  const auto limit = [](const maparg::OptReal& v) { return v ? std::to_string(*v) : "absent"; };
  const auto colour = [](const maparg::OptColour& c) {
    if (!c) return std::string("absent");
    char text[96];
    std::snprintf(text, sizeof text, "(%g %g %g)", (*c)[0], (*c)[1], (*c)[2]);
    return std::string(text);
  };
  std::string contours = "absent";
  if (contour_count_) contours = "count " + std::to_string(*contour_count_);
  if (contour_levels_) {
    contours = "[";
    for (const double v : *contour_levels_) contours += " " + std::to_string(v);
    contours += " ]";
  }
  return d + ", zmin " + limit(zmin_) + ", zmax " + limit(zmax_) + ", nan_colour " +
         colour(nan_colour_) + ", under " + colour(under_) + ", over " + colour(over_) +
         ", zcentre " + limit(zcentre_) + ", zlabel " + (zlabel_ ? show_text(*zlabel_) : "absent") +
         ", contours " + contours + ", contour_colour " + colour(contour_colour_) +
         ", contour_labels " + (contour_labels_ ? std::to_string(*contour_labels_) : "absent");
}

// --- Texts ---

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view strip_blanks(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  return trim_blanks(s);
}

std::string field_text(const std::optional<std::string>& text, std::string_view fallback,
                       bool drop_leading, bool strip) {
  std::string_view s = fallback;
  if (text) {
    s = *text;
    if (strip) s = strip_blanks(s);
    while (drop_leading && !s.empty() && is_blank(s.front())) s.remove_prefix(1);
  }
  return std::string(trim_blanks(s.substr(0, 80)));
}

std::string log_title_text(std::string_view title) {
  const std::string t = "log(" + std::string(strip_blanks(title)) + ")";
  return std::string(trim_blanks(std::string_view(t).substr(0, 80)));
}

// --- Files and console ---

const std::string& scratch_folder() {
  // Never destroyed: the exit handler below runs after the static objects
  // made during it are gone.
  static const std::string& folder = *new std::string([] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/mapplot-fuzz-XXXXXX";
    // The file names given to the routines, this folder's path and a name,
    // must fit an 80-character field with blanks around.
    if (pattern.size() > 48) {
      std::fprintf(stderr, "fuzz: %s is too long a folder for the files; set TMPDIR to a shorter one\n",
                   pattern.c_str());
      std::abort();
    }
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(scratch_folder(), ec);
    });
    return pattern;
  }());
  return folder;
}

std::vector<std::string> scratch_files() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scratch_folder())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void clear_scratch() {
  for (const auto& entry : fs::directory_iterator(scratch_folder())) fs::remove_all(entry.path());
}

ConsoleLines::ConsoleLines() {
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [this](std::string_view record) { lines_.emplace_back(record); }; });
}

ConsoleLines::~ConsoleLines() {
  rtl::change_hooks([](rtl::Hooks& h) { h.console_listener = {}; });
}

bool ConsoleLines::has(std::string_view line) const {
  return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

std::string ConsoleLines::all() const {
  std::string out = "console:";
  for (const auto& line : lines_) out += "\n  " + show_text(line);
  return out;
}

}  // namespace fuzz
