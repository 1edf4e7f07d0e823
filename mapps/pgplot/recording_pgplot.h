#pragma once
// A PGPLOT table for the tests that records every call as one line of text
// instead of drawing: the routine's name and its arguments, reals printed
// with %g, texts between quotes, arrays in brackets (PGIMAG's array as the
// cells it is asked to draw, column index fastest).

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "mapps/pgplot/pgplot.h"

namespace mapps::testing_support {

struct Recording {
  std::vector<std::string> calls;
  int beg_status = 1;  // what pgbeg returns
};

inline Recording& recording() {
  static Recording r;
  return r;
}

inline std::string num(float v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
  return buffer;
}

inline std::string num(int v) { return std::to_string(v); }

inline std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

inline std::string list(const float* values, int n) {
  std::string out = "[";
  for (int k = 0; k < n; ++k) out += (k ? " " : "") + num(values[k]);
  return out + "]";
}

template <class... Parts>
void record(std::string_view name, const Parts&... parts) {
  std::string line(name);
  ((line += " ", line += parts), ...);
  recording().calls.push_back(line);
}

inline const Pgplot& recording_pgplot() {
  static const Pgplot table = {
      [](int unit, std::string_view wanted, int nx, int ny) {
        record("pgbeg", num(unit), quoted(wanted), num(nx), num(ny));
        return recording().beg_status;
      },
      [](int font) { record("pgscf", num(font)); },
      [](int lw) { record("pgslw", num(lw)); },
      [](float a, float b, float c, float d) { record("pgsvp", num(a), num(b), num(c), num(d)); },
      [](float a, float b, float c, float d) { record("pgwnad", num(a), num(b), num(c), num(d)); },
      [] { record("pgbbuf"); },
      [](const float* l, const float* r, const float* g, const float* b, int nc, float contra,
         float bright) {
        record("pgctab", list(l, nc), list(r, nc), list(g, nc), list(b, nc), num(nc),
               num(contra), num(bright));
      },
      [](const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1, float a2,
         const float* tr) {
        std::vector<float> cells;
        for (int j = j1; j <= j2; ++j)
          for (int i = i1; i <= i2; ++i) cells.push_back(a[(j - 1) * idim + (i - 1)]);
        record("pgimag", list(cells.data(), static_cast<int>(cells.size())), num(idim),
               num(jdim), num(i1), num(i2), num(j1), num(j2), num(a1), num(a2), list(tr, 6));
      },
      [] { record("pgebuf"); },
      [](int ci) { record("pgsci", num(ci)); },
      [](int ls) { record("pgsls", num(ls)); },
      [](int n, const float* x, const float* y) { record("pgline", num(n), list(x, n), list(y, n)); },
      [](std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
         int nysub) {
        record("pgbox", quoted(xopt), num(xtick), num(nxsub), quoted(yopt), num(ytick),
               num(nysub));
      },
      [](float size) { record("pgsch", num(size)); },
      [](std::string_view side, float disp, float width, float fg, float bg,
         std::string_view label) {
        record("pgwedg", quoted(side), num(disp), num(width), num(fg), num(bg), quoted(label));
      },
      [](std::string_view x, std::string_view y, std::string_view top) {
        record("pglab", quoted(x), quoted(y), quoted(top));
      },
      [] { record("pgend"); },
      [](std::string_view side, float disp, float width, float fg, float bg,
         std::string_view label, int low_ci, int high_ci) {
        record("pgwedg_ends", quoted(side), num(disp), num(width), num(fg), num(bg),
               quoted(label), num(low_ci), num(high_ci));
      },
      [](int ci, float r, float g, float b) { record("pgscr", num(ci), num(r), num(g), num(b)); },
      [](float x1, float x2, float y1, float y2) {
        record("pgrect", num(x1), num(x2), num(y1), num(y2));
      },
      [](float a, float b, float c, float d) { record("pgswin", num(a), num(b), num(c), num(d)); },
      [](int width, int height) { record("pgpap_pixels", num(width), num(height)); },
      [](float x, float y, float angle, float fjust, std::string_view text) {
        record("pgptxt", num(x), num(y), num(angle), num(fjust), quoted(text));
      },
      [] { record("pgpage"); },
  };
  return table;
}

}  // namespace mapps::testing_support
