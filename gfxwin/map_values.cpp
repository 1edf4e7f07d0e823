#include "gfxwin/map_values.h"

#include <charconv>
#include <cmath>
#include <unordered_map>

namespace gfxwin {

namespace map_values_detail {

std::vector<int> assign_slots(const std::vector<int>& cell, std::vector<int>& slot) {
  std::vector<int> cells;
  std::unordered_map<int, int> slot_of;
  slot.assign(cell.size(), -1);
  for (std::size_t k = 0; k < cell.size(); ++k) {
    if (cell[k] < 0) continue;
    const auto [it, added] = slot_of.emplace(cell[k], static_cast<int>(cells.size()));
    if (added) cells.push_back(cell[k]);
    slot[k] = it->second;
  }
  return cells;
}

}  // namespace map_values_detail

std::string shortest_number(double value, bool single) {
  char buffer[64];
  const auto result = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                             : std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<MapValues::Cell> MapValues::at(int px, int py) const {
  const long c = static_cast<long>(px) - left;
  const long r = static_cast<long>(py) - top;
  if (c < 0 || r < 0 || c >= static_cast<long>(column_slot.size()) ||
      r >= static_cast<long>(row_slot.size()))
    return std::nullopt;
  const int cs = column_slot[static_cast<std::size_t>(c)];
  const int rs = row_slot[static_cast<std::size_t>(r)];
  if (cs < 0 || rs < 0) return std::nullopt;
  const std::size_t k = static_cast<std::size_t>(rs) * x.size() + static_cast<std::size_t>(cs);
  return Cell{column_cell[static_cast<std::size_t>(c)], row_cell[static_cast<std::size_t>(r)],
              x[static_cast<std::size_t>(cs)], y[static_cast<std::size_t>(rs)], z[k]};
}

std::string MapValues::text_at(int px, int py) const {
  const std::optional<Cell> cell = at(px, py);
  if (!cell) return {};
  std::string text = "x = " + shortest_number(cell->x, single_precision) +
                     "  y = " + shortest_number(cell->y, single_precision) +
                     "  z = " + shortest_number(cell->z, single_precision);
  // The map shows log10 of the value as the caller gave it, in double precision.
  if (log) text += "  log10(z) = " + shortest_number(std::log10(cell->z));
  return text;
}

std::string ShownValues::text_at(int px, int py) const {
  if (last) {
    const long r = static_cast<long>(py) - last->top;
    const bool in_rows = r >= 0 && r < static_cast<long>(last->row_cell.size());
    const int row = in_rows ? last->row_cell[static_cast<std::size_t>(r)] : -1;
    if (row >= 0 && static_cast<std::size_t>(row) < rows_painted) return last->text_at(px, py);
  }
  return before ? before->text_at(px, py) : std::string();
}

}  // namespace gfxwin
