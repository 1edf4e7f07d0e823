// The files of a distributed field against the one-process files, for a
// table of block layouts and argument forms, under whatever number of ranks
// mpirun starts; and errors on one rank raised on every rank, the earlier
// file kept. Exit status 0 when every case passes on every rank.
//
// With the argument "end", the program instead makes one rank's error end
// the program as a fatal error does by default (for a test that counts the
// reports and looks at the status).

#include <mpi.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <cstring>

#include "maparg/request.h"
#include "mapdata/dat_map.h"
#include "mapmpi/mpi_map.h"
#include "rtl/fatal.h"
#include "rtl/hooks.h"

#ifdef MAPPLOT_MPI_NETCDF
#include <netcdf.h>

#include "mapnc/nc_core.h"
#endif

namespace {

using mapmpi::Index;
using mapmpi::Offset;

struct Block {
  Offset offset;
  Index nx = 0, ny = 0;
};

// A layout: rank r's block of an nx x ny grid among `size` ranks.
using Layout = std::function<Block(int r, int size, Index nx, Index ny)>;

Index part(Index n, int k, int parts) { return n * k / parts; }

// Columns split evenly.
Block along_x(int r, int size, Index nx, Index ny) {
  return {{part(nx, r, size), 0}, part(nx, r + 1, size) - part(nx, r, size), ny};
}
// Rows split evenly (every block its rank's share of rows: nothing moves).
Block along_y(int r, int size, Index nx, Index ny) {
  return {{0, part(ny, r, size)}, nx, part(ny, r + 1, size) - part(ny, r, size)};
}
// Rows split in reverse rank order (values move to the rank that formats them).
Block along_y_reversed(int r, int size, Index nx, Index ny) {
  return along_y(size - 1 - r, size, nx, ny);
}
// Both: the upper half of the rows split along x among the first half of
// the ranks (rounded up), the lower half among the others.
Block both(int r, int size, Index nx, Index ny) {
  const int upper = (size + 1) / 2, lower = size - upper;
  const Index split = lower == 0 ? ny : ny / 2;
  if (r < upper) {
    Block b = along_x(r, upper, nx, split);
    return b;
  }
  Block b = along_x(r - upper, lower, nx, ny - split);
  b.offset.j0 = split;
  return b;
}
// Even ranks hold nothing (rank 0 among them), the others split along x;
// a single rank holds everything.
Block even_ranks_empty(int r, int size, Index nx, Index ny) {
  if (size == 1) return {{0, 0}, nx, ny};
  if (r % 2 == 0) return {{99, 99}, 0, 0};
  return along_x(r / 2, size / 2, nx, ny);
}

// The global field: values of many sizes and signs, positive where `positive`.
double value(Index i, Index j, bool positive) {
  const double v = std::pow(10.0, double(i % 7) * 0.7 - double(j % 5) * 1.9) * (1.0 + 0.013 * double(i * j));
  return positive || (i + j) % 3 ? v : -v;
}

enum class Form { flat, flat_r8, matrix, matrix_r8 };

// The data export with `data`'s options, or the PostScript map with `ps`'s,
// or with `nc` the NetCDF map file with `data`'s.
struct Options {
  mapdata::DatMapOptions data = {};
  std::optional<mapps::PsMapOptions> ps = std::nullopt;
  bool nc = false;
};

struct Case {
  const char* name;
  Layout layout;
  Index nx, ny;
  Form form;
  Options options;
  // The error every rank raises, empty for none; `spoil` changes one rank's
  // call to cause it.
  std::string error = {};
  std::function<void(int rank, int size, Block&, std::vector<double>& z)> spoil = {};
  bool even_y = false;  // y evenly spaced, not exp(j)
};

const std::string kLongTitle(80, 't');

std::vector<Case> cases() {
  const auto ps = [](mapps::PsMapOptions o) { return Options{{}, o}; };
  return {
      {"x", along_x, 7, 5, Form::flat, {}},
      {"y", along_y, 7, 5, Form::flat_r8, {{.xlabel = "  east", .title = "t\r\nwo"}}},
      {"y_moved", along_y_reversed, 6, 9, Form::matrix, {{.log = -1, .title = kLongTitle}}},
      {"both", both, 9, 6, Form::matrix_r8, {{.ylabel = "", .file = "  both.dat "}}},
      {"empty_ranks", even_ranks_empty, 8, 3, Form::flat, {{.log = 1}}},
      {"few_rows", along_x, 5, 2, Form::flat_r8, {}},
      {"map_x", along_x, 7, 5, Form::flat, ps({.file = "map_x.ps"})},
      {"map_both_png", both, 40, 30, Form::matrix_r8,
       ps({.log = -1, .title = "png", .device = "png", .palette = "viridis"})},
      // Devices of pixels: rank 0 has only the cells its pixels show.
      {"map_png_fine", both, 900, 700, Form::flat,
       ps({.file = "fine.png", .device = "png", .zmin = -0.5, .zmax = 0.7}), {}, {}, true},
      {"map_tpng_few", even_ranks_empty, 50, 40, Form::matrix,
       ps({.device = "tpng", .zcentre = 0.0, .zlabel = "z", .pixels = {{300, 200}}}), {}, {}, true},
      {"map_empty", even_ranks_empty, 9, 8, Form::matrix, ps({.file = "map_empty.ps", .device = "ps"})},
      {"map_y_pdf", along_y_reversed, 6, 11, Form::flat_r8, ps({.device = "pdf", .zmin = 0.5})},
#ifdef MAPPLOT_MPI_NETCDF
      {"nc_x", along_x, 7, 5, Form::flat, {{.xlabel = " lon"}, {}, true}},
      {"nc_both", both, 9, 6, Form::matrix_r8, {{.log = -1, .file = "both.nc"}, {}, true}},
      {"nc_empty_ranks", even_ranks_empty, 8, 3, Form::flat_r8, {{}, {}, true}},
      {"nc_log_of_zero", along_y_reversed, 6, 4, Form::matrix, {{.log = -1}, {}, true}, "log10: SING error",
       [](int rank, int, Block&, std::vector<double>& z) {
         if (rank == 0 && !z.empty()) z.back() = 0.0;
       }},
#endif
      // Errors on one rank, raised on all.
      {"log_of_zero", both, 6, 4, Form::flat, {{.log = -1}}, "log10: SING error",
       [](int rank, int size, Block&, std::vector<double>& z) {
         if (rank == size - 1 && !z.empty()) z.back() = 0.0;
       }},
      {"map_log_of_zero", both, 6, 4, Form::flat, ps({.log = -1, .file = "zero.ps"}), "log10: SING error",
       [](int rank, int size, Block&, std::vector<double>& z) {
         if (rank == size - 1 && !z.empty()) z.back() = 0.0;
       }},
      {"overlap", along_x, 7, 5, Form::flat, {}, "do not tile the grid",
       [](int rank, int size, Block& b, std::vector<double>&) {
         if (rank == size - 1) b.offset.i0 += 1;
       }},
      {"map_overlap", along_y, 7, 5, Form::matrix, ps({.file = "overlap.ps"}), "do not tile the grid",
       [](int rank, int size, Block& b, std::vector<double>&) {
         if (rank == size - 1) b.offset.j0 += 1;
       }},
      {"short_block", along_y, 7, 5, Form::flat_r8, {}, "values of z for a block of",
       [](int rank, int size, Block&, std::vector<double>& z) {
         if (rank == size / 2 && !z.empty()) z.pop_back();
       }},
      {"folder", along_x, 7, 5, Form::flat, {{.file = "folder.dat"}}, "cannot open: Is a directory"},
  };
}

std::string file_of(const Case& c) {
  const auto& name = c.options.ps ? c.options.ps->file : c.options.data.file;
  if (!name) return c.options.ps ? "Map.ps" : c.options.nc ? "Map.nc" : std::string(mapdata::kDefaultFileName);
  std::string f(*name);
  f.erase(0, f.find_first_not_of(' '));
  f.erase(f.find_last_not_of(' ') + 1);
  return f;
}

// A file's bytes, the creation date of a PostScript or PDF file (the one
// thing that differs between two drawings of one map) left out.
std::string contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return std::regex_replace(bytes, std::regex("CreationDate[^\n]*"), "CreationDate");
}

// The call of the case's form on the block (a distributed call) or on the
// whole grid (`comm` absent: the one-process call); the file it wrote.
std::string call(const Case& c, std::optional<MPI_Comm> comm, Block b, const std::vector<double>& x,
                 const std::vector<double>& y, const std::vector<double>& z) {
  std::vector<float> xf(x.begin(), x.end()), yf(y.begin(), y.end()), zf(z.size());
  for (std::size_t k = 0; k < z.size(); ++k) zf[k] = static_cast<float>(z[k]);
  const maparg::VecView<float> zv(zf);
  const maparg::VecView<double> zdv(z);
  const maparg::MatView<float> zm(zf.data(), b.nx, b.ny);
  const maparg::MatView<double> zdm(z.data(), b.nx, b.ny);
  // Every form of either map, distributed or not.
  const auto each = [&](auto&& map, const auto& o) {
    switch (c.form) {
      case Form::flat: return map(xf, yf, zv, o);
      case Form::flat_r8: return map(x, y, zdv, o);
      case Form::matrix: return map(xf, yf, zm, o);
      case Form::matrix_r8: return map(x, y, zdm, o);
    }
    return map(xf, yf, zv, o);
  };
  if (c.options.ps) {
    const mapps::PsMapResult r =
        comm ? each([&](auto&&... a) { return mapmpi::postscript_map(*comm, b.offset, a...); }, *c.options.ps)
             : each([](auto&&... a) { return mapps::postscript_map(a...); }, *c.options.ps);
    if (!r.written()) return "not written: " + r.message;
    return r.file;
  }
#ifdef MAPPLOT_MPI_NETCDF
  if (c.options.nc) {
    each([&](auto&&... a) {
      mapmpi::netcdf_export(*comm, b.offset, a...);
      return 0;
    }, c.options.data);
    return file_of(c);
  }
#endif
  each([&](auto&&... a) {
    if (comm)
      mapmpi::data_export(*comm, b.offset, a...);
    else
      mapdata::data_export(a...);
    return 0;
  }, c.options.data);
  return file_of(c);
}

#ifdef MAPPLOT_MPI_NETCDF
// The NetCDF file against what the one-process file holds for the grid:
// dimensions, the variables' type, every value bit for bit (log10 taken
// under the log option) and the texts. "" when all agree.
template <class T>
std::string nc_differences(const std::string& file, const mapnc::MapHeader& want,
                           const std::vector<T>& x, const std::vector<T>& y, const std::vector<T>& z) {
  int id = -1;
  if (nc_open(file.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "cannot open";
  std::string why;
  const auto text = [&](int var, const char* name) {
    std::size_t n = 0;
    if (nc_inq_attlen(id, var, name, &n) != NC_NOERR) return std::string("(none)");
    std::string t(n, '\0');
    nc_get_att_text(id, var, name, t.data());
    return t;
  };
  const auto values = [&](const char* name, const std::vector<T>& expected) {
    int var = -1;
    nc_type type = NC_NAT;
    if (nc_inq_varid(id, name, &var) != NC_NOERR || nc_inq_vartype(id, var, &type) != NC_NOERR)
      return why += std::string(" no ") + name, var;
    if (type != want.type) why += std::string(" type of ") + name;
    std::vector<T> got(expected.size());
    if (nc_get_var(id, var, got.data()) != NC_NOERR ||
        std::memcmp(got.data(), expected.data(), got.size() * sizeof(T)) != 0)
      why += std::string(" values of ") + name;
    return var;
  };
  std::size_t nx = 0, ny = 0;
  int dx = -1, dy = -1;
  nc_inq_dimid(id, "x", &dx);
  nc_inq_dimid(id, "y", &dy);
  nc_inq_dimlen(id, dx, &nx);
  nc_inq_dimlen(id, dy, &ny);
  if (nx != x.size() || ny != y.size()) why += " dimensions";
  const int vx = values("x", x), vy = values("y", y), vz = values("z", z);
  if (text(vx, "long_name") != want.xlabel || text(vy, "long_name") != want.ylabel ||
      text(vz, "long_name") != want.title || text(NC_GLOBAL, "title") != want.title ||
      text(NC_GLOBAL, "history") != mapnc::history_text() || text(NC_GLOBAL, "Conventions") != "CF-1.8")
    why += " texts";
  nc_close(id);
  return why;
}

std::string nc_check(const Case& c, const std::string& file, const std::vector<double>& x,
                     const std::vector<double>& y, const std::vector<double>& z) {
  const auto& o = c.options.data;
  const bool r8 = c.form == Form::flat_r8 || c.form == Form::matrix_r8;
  const maparg::OptText title = o.title ? o.title : c.form == Form::flat_r8 ? maparg::OptText(mapdata::kDefaultTitleR8) : std::nullopt;
  const mapnc::MapHeader want = mapnc::map_header(r8 ? NC_DOUBLE : NC_FLOAT, o.log, o.xlabel, o.ylabel, title);
  const auto expected = [&](auto zero) {
    using T = decltype(zero);
    std::vector<T> zs(z.begin(), z.end());
    if (maparg::truth(o.log)) zs = maparg::checked_logs(maparg::VecView<T>(zs));
    return nc_differences<T>(file, want, std::vector<T>(x.begin(), x.end()), std::vector<T>(y.begin(), y.end()), zs);
  };
  return r8 ? expected(0.0) : expected(0.0f);
}
#endif

struct Grid {
  std::vector<double> x, y, z;  // this rank's parts
};

Grid grid_part(const Case& c, Block b) {
  Grid g;
  const auto& log = c.options.ps ? c.options.ps->log : c.options.data.log;
  const bool positive = log.has_value() && (*log & 1);
  for (Index i = 0; i < b.nx; ++i) g.x.push_back(0.5 * double(b.offset.i0 + i) - 1.0);
  for (Index j = 0; j < b.ny; ++j)
    g.y.push_back(c.even_y ? 3.0 - 0.25 * double(b.offset.j0 + j) : std::exp(double(b.offset.j0 + j)));
  for (Index j = 0; j < b.ny; ++j)
    for (Index i = 0; i < b.nx; ++i) g.z.push_back(value(b.offset.i0 + i, b.offset.j0 + j, positive));
  // A double beyond single precision: "Infinity" in the file.
  if (!g.z.empty() && b.offset.i0 == 0 && b.offset.j0 == 0) g.z.front() = 1e300;
  if (b.nx == 0 || b.ny == 0) g = {};
  return g;
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const bool end = argc > 1 && std::string(argv[1]) == "end";
  // A folder of its own for each run that ctest may start at the same time.
  const std::string folder = (end ? "end_" : "ranks_") + std::to_string(size);
  if (rank == 0) std::filesystem::create_directories(folder + "/folder.dat");
  MPI_Barrier(MPI_COMM_WORLD);
  std::filesystem::current_path(folder);

  if (end) {
    // One rank's value without a logarithm ends every rank.
    const Block b = along_x(rank, size, 6, 4);
    Grid g = grid_part({"end", along_x, 6, 4, Form::flat_r8, {{.log = -1}}}, b);
    if (rank == size - 1) g.z.back() = -1.0;
    mapmpi::dat_map_r8(MPI_COMM_WORLD, b.offset, g.x, g.y, g.z, {.log = -1});
    MPI_Finalize();
    return 0;  // never reached
  }

  int failures = 0;
  const auto fail = [&](const Case& c, const std::string& why) {
    ++failures;
    std::cerr << "rank " << rank << " of " << size << ", case " << c.name << ": " << why << "\n";
  };
  for (const Case& c : cases()) {
    Block b = c.layout(rank, size, c.nx, c.ny);
    Grid g = grid_part(c, b);
    std::string file = file_of(c);
    if (rank == 0 && c.error.empty() && !c.options.nc) {
      const Grid whole = grid_part(c, {{0, 0}, c.nx, c.ny});
      file = call(c, std::nullopt, {{0, 0}, c.nx, c.ny}, whole.x, whole.y, whole.z);
      std::filesystem::rename(file, file + ".one");
    }
    if (rank == 0 && file != "folder.dat") std::ofstream(file, std::ios::binary) << "earlier\n";
    MPI_Barrier(MPI_COMM_WORLD);
    if (c.spoil) c.spoil(rank, size, b, g.z);

    std::string raised, written;
    try {
      rtl::ScopedHooks back({.fatal_errors = rtl::FatalErrors::kToCaller});
      written = call(c, MPI_COMM_WORLD, b, g.x, g.y, g.z);
    } catch (const rtl::FatalError& e) {
      raised = e.what();
    }
    if (raised.empty() && written != file && rank == 0) fail(c, "wrote " + written + ", not " + file);
    if (c.error.empty() && !raised.empty()) fail(c, "raised " + raised);
    if (!c.error.empty() && raised.find(c.error) == std::string::npos)
      fail(c, "raised \"" + raised + "\", not \"" + c.error + "\"");
    MPI_Barrier(MPI_COMM_WORLD);
    if (rank == 0) {
#ifdef MAPPLOT_MPI_NETCDF
      if (c.error.empty() && c.options.nc) {
        const Grid whole = grid_part(c, {{0, 0}, c.nx, c.ny});
        if (const std::string why = nc_check(c, file, whole.x, whole.y, whole.z); !why.empty())
          fail(c, "differs from the one-process file in" + why);
      } else
#endif
      if (c.error.empty() && contents(file) != contents(file + ".one"))
        fail(c, "differs from the one-process file");
      if (!c.error.empty() && file != "folder.dat" && contents(file) != "earlier\n")
        fail(c, "the earlier file changed");
    }
  }
  // Nothing left behind but the files themselves.
  if (rank == 0)
    for (const auto& entry : std::filesystem::directory_iterator("."))
      if (entry.path().filename().string().find(".tmp") != std::string::npos ||
          entry.path().filename().string().rfind(".", 0) == 0)
        ++failures, std::cerr << "left behind: " << entry.path() << "\n";

  MPI_Allreduce(MPI_IN_PLACE, &failures, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
  if (rank == 0) std::cout << (failures ? "FAILED" : "passed") << " under " << size << " ranks\n";
  MPI_Finalize();
  return failures ? 1 : 0;
}
