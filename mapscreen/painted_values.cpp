#include "mapscreen/painted_values.h"

#include "gfxwin/graphics.h"

namespace mapscreen {
namespace {

// The bounds of the cells along one axis: the first coordinate, then the edges.
std::vector<double> bounds(double first, const std::vector<double>& edges) {
  std::vector<double> all;
  all.reserve(edges.size() + 1);
  all.push_back(first);
  all.insert(all.end(), edges.begin(), edges.end());
  return all;
}

}  // namespace

std::shared_ptr<gfxwin::MapValues> painted_values(const maparg::VecView<double>& x,
                                                  const maparg::VecView<double>& y,
                                                  std::span<const double> z,
                                                  const std::vector<double>& a,
                                                  const std::vector<double>& b, bool log,
                                                  bool single_precision) {
  auto values = std::make_shared<gfxwin::MapValues>();
  const std::vector<double> across = bounds(x.element(0), a);
  const std::vector<double> up = bounds(y.element(0), b);
  values->column_cell = gfxwin::last_cells(true, across.data(), a.size(), values->left);
  values->row_cell = gfxwin::last_cells(false, up.data(), b.size(), values->top);
  const std::size_t nx = a.size();
  gfxwin::take_painted_cells(
      *values, [&](int i) { return x.element(i); }, [&](int j) { return y.element(j); },
      [&](int i, int j) { return z[static_cast<std::size_t>(j) * nx + static_cast<std::size_t>(i)]; });
  values->rows = b.size();
  values->single_precision = single_precision;
  values->log = log;
  return values;
}

}  // namespace mapscreen
