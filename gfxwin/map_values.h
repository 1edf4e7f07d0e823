#pragma once
// MapValues: what a map's window needs to tell the values of the cell under
// the cursor, handed over with the picture by the renderer that drew it.
//
// For each pixel column (row) of the drawing area it holds the cell painted
// there last, and for the cells that are painted last somewhere it holds x,
// y and z as the caller gave them. So the values read are those of the
// picture, at a cost that depends on the window's size, not on the map's.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gfxwin {

struct MapValues {
  // Surface pixel of column_cell[0] and row_cell[0].
  int left = 0;
  int top = 0;
  // For each pixel column from `left` (row from `top`): the index into
  // x (y) of the cell painted there last, or -1.
  std::vector<int> column_cell;
  std::vector<int> row_cell;
  // x(i) and y(j) of the columns and rows painted somewhere, by slot.
  std::vector<double> x;
  std::vector<double> y;
  // For each pixel column (row): the slot of its cell in x (y), or -1.
  std::vector<int> column_slot;
  std::vector<int> row_slot;
  // z of the cells painted somewhere, z[row slot * x.size() + column slot].
  std::vector<double> z;
  // The number of rows of cells (painted one fill_cell_row_w each).
  std::size_t rows = 0;
  // The caller's numbers were single precision: written as such.
  bool single_precision = false;
  // The map shows log10 of z: the readout gives that as well.
  bool log = false;

  struct Cell {
    int i;  // index along x, from 0
    int j;  // index along y, from 0
    double x;
    double y;
    double z;
  };
  // The cell shown at surface pixel (px, py); none outside the map.
  std::optional<Cell> at(int px, int py) const;
  // "x = -0.0428816  y = 0.989797  z = 245" (with the log option also
  // "  log10(z) = 2.389166") for the cell at (px, py); "" outside the map.
  std::string text_at(int px, int py) const;
};

// What a window reads while a map may be half painted: the values handed
// last, the ones before them, and how many rows of cells of the last have
// been painted since (a program paused in the middle of a frame shows the
// new frame's rows painted so far over the one before). A pixel whose cell
// row of the last values is painted reads those; any other pixel reads the
// values before.
struct ShownValues {
  std::shared_ptr<const MapValues> last;
  std::shared_ptr<const MapValues> before;
  std::size_t rows_painted = 0;
  std::string text_at(int px, int py) const;
};

// The shortest text that reads back as the same value: 0.1 -> "0.1",
// 1e+300 -> "1e+300"; with `single`, of the value as a float (0.1f widened
// gives "0.1", not "0.10000000149011612").
std::string shortest_number(double value, bool single = false);

// Fills the slots of `values` from its column_cell and row_cell, taking x(i),
// y(j) and z(i, j) (each a callable of the index) for the cells painted
// somewhere. z is read at most once per cell painted somewhere.
template <class X, class Y, class Z>
void take_painted_cells(MapValues& values, X x, Y y, Z z);

// --- Template implementation ---

namespace map_values_detail {
// Slots for the distinct cells of `cell` (-1 kept), in order of first
// appearance; returns the cell of each slot.
std::vector<int> assign_slots(const std::vector<int>& cell, std::vector<int>& slot);
}  // namespace map_values_detail

template <class X, class Y, class Z>
void take_painted_cells(MapValues& values, X x, Y y, Z z) {
  const std::vector<int> cols = map_values_detail::assign_slots(values.column_cell, values.column_slot);
  const std::vector<int> rows = map_values_detail::assign_slots(values.row_cell, values.row_slot);
  values.x.resize(cols.size());
  values.y.resize(rows.size());
  for (std::size_t s = 0; s < cols.size(); ++s) values.x[s] = x(cols[s]);
  for (std::size_t s = 0; s < rows.size(); ++s) values.y[s] = y(rows[s]);
  values.z.resize(cols.size() * rows.size());
  std::size_t k = 0;
  for (int j : rows)
    for (int i : cols) values.z[k++] = z(i, j);
}

}  // namespace gfxwin
