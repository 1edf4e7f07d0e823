// The C entry points behind the distributed forms of the Fortran module
// mapplot_mpi (mapplot_mpi.f90): the data export, the NetCDF map file (where
// mapplot_mpi has it, MAPPLOT_MPI_NETCDF; elsewhere a fatal error on every
// rank) and the PostScript map of a field
// spread over the ranks of a communicator. Each takes what the one-process
// entry point of its name takes (files_entry.cpp), with the communicator as
// its Fortran handle (MPI_Fint, mpi_f08's comm%MPI_VAL) and the block's
// offset, zero-based, after z, and, last, the refusal of the Fortran layer:
// the message of an argument of a type the routine does not take, a length
// of -1 when there is none.
//
// The ranks agree on the arguments before the routine starts (mapmpi's
// agree): a refusal or an array the descriptors cannot show on one rank is
// then a fatal error on every rank, as the routines' own errors are, and no
// rank is left waiting in a collective call the others never make. With
// stat every rank takes the error back (stat 1, errmsg the message of the
// lowest failing rank); without it rank 0 reports it and every rank ends.
// The PostScript map's named options are read quietly on ranks other than
// 0, whose options do not count: a warning about them comes once.

#include <mpi.h>

#include <cstddef>
#include <optional>
#include <string_view>

#include "fortran/descriptors.h"
#include "fortran/entry_support.h"
#include "fortran/map_options.h"
#include "mapmpi/collective.h"
#include "mapmpi/mpi_map.h"
#include "rtl/fatal.h"
#include "rtl/hooks.h"

using CFI = CFI_cdesc_t;
using Length = std::ptrdiff_t;
using fortran_binding::MapOptionArguments;
using fortran_binding::MapOptions;
using fortran_binding::MatrixArgument;
using fortran_binding::no_file_reason;
using fortran_binding::optional_int;
using fortran_binding::optional_text;
using fortran_binding::run_writing_file;
using fortran_binding::VectorArgument;

namespace {

template <class T>
using Vec = VectorArgument<T>;
template <class T>
using Mat = MatrixArgument<T>;

// A call's arrays and named options on this rank, read once every rank has
// them: take() raises on every rank the first failure of any.
template <class P, class ZArgument>
struct RankArguments {
  std::optional<VectorArgument<P>> x, y;
  std::optional<ZArgument> z;
  std::optional<MapOptions<P>> named;

  void take(MPI_Comm comm, const CFI* xd, const CFI* yd, const CFI* zd,
            const MapOptionArguments* options, const char* refusal, Length nrefusal) {
    mapmpi::detail::agree(comm, [&] {
      if (const maparg::OptText refused = optional_text(refusal, nrefusal))
        rtl::fatal_error(*refused);
      x.emplace(xd);
      y.emplace(yd);
      z.emplace(zd);
      if (options == nullptr) return;
      std::optional<rtl::ScopedHooks> quiet;
      if (mapmpi::detail::rank_of(comm) != 0)
        quiet.emplace(rtl::Hooks{.console_output = [](std::string_view) {}});
      named.emplace(*options);
    });
  }
};

mapmpi::Offset offset_of(const Length* offset) { return {offset[0], offset[1]}; }

}  // namespace

extern "C" {

// --- PostScript map ---

#define MAPPLOT_MPI_PS_ENTRY(name, P, ZArgument)                                               \
  void mapplot_mpi_##name(const CFI* x, const CFI* y, const CFI* z, MPI_Fint comm,             \
                          const Length* offset, const int* log, const char* xlabel,            \
                          Length nxlabel, const char* ylabel, Length nylabel,                  \
                          const char* title, Length ntitle, const char* file, Length nfile,    \
                          const char* device, Length ndevice, int* stat, char* errmsg,         \
                          Length nerrmsg, const MapOptionArguments* options,                   \
                          const char* refusal, Length nrefusal) noexcept {                     \
    run_writing_file(stat, errmsg, nerrmsg, [&] {                                              \
      const MPI_Comm c = MPI_Comm_f2c(comm);                                                   \
      RankArguments<P, ZArgument> a;                                                           \
      a.take(c, x, y, z, options, refusal, nrefusal);                                          \
      return no_file_reason(mapmpi::name(                                                      \
          c, offset_of(offset), a.x->view(), a.y->view(), a.z->view(),                         \
          a.named->into(mapps::PsMapOptions{.log = optional_int(log),                          \
                                            .xlabel = optional_text(xlabel, nxlabel),          \
                                            .ylabel = optional_text(ylabel, nylabel),          \
                                            .title = optional_text(title, ntitle),             \
                                            .file = optional_text(file, nfile),                \
                                            .device = optional_text(device, ndevice)})));      \
    });                                                                                        \
  }

MAPPLOT_MPI_PS_ENTRY(ps_map, float, Vec<float>)
MAPPLOT_MPI_PS_ENTRY(ps_map_r8, double, Vec<double>)
MAPPLOT_MPI_PS_ENTRY(ps_map_2d, float, Mat<float>)
MAPPLOT_MPI_PS_ENTRY(ps_map_2d_r8, double, Mat<double>)

// --- Data export and NetCDF map file ---

#define MAPPLOT_MPI_FILE_ENTRY(name, P, ZArgument)                                             \
  void mapplot_mpi_##name(const CFI* x, const CFI* y, const CFI* z, MPI_Fint comm,             \
                          const Length* offset, const int* log, const char* xlabel,            \
                          Length nxlabel, const char* ylabel, Length nylabel,                  \
                          const char* title, Length ntitle, const char* file, Length nfile,    \
                          int* stat, char* errmsg, Length nerrmsg, const char* refusal,        \
                          Length nrefusal) noexcept {                                          \
    run_writing_file(stat, errmsg, nerrmsg, [&] {                                              \
      const MPI_Comm c = MPI_Comm_f2c(comm);                                                   \
      RankArguments<P, ZArgument> a;                                                           \
      a.take(c, x, y, z, nullptr, refusal, nrefusal);                                          \
      mapmpi::name(c, offset_of(offset), a.x->view(), a.y->view(), a.z->view(),                \
                   mapdata::DatMapOptions{.log = optional_int(log),                            \
                                          .xlabel = optional_text(xlabel, nxlabel),            \
                                          .ylabel = optional_text(ylabel, nylabel),            \
                                          .title = optional_text(title, ntitle),               \
                                          .file = optional_text(file, nfile)});                \
    });                                                                                        \
  }

MAPPLOT_MPI_FILE_ENTRY(dat_map, float, Vec<float>)
MAPPLOT_MPI_FILE_ENTRY(dat_map_r8, double, Vec<double>)
MAPPLOT_MPI_FILE_ENTRY(dat_map_2d, float, Mat<float>)
MAPPLOT_MPI_FILE_ENTRY(dat_map_2d_r8, double, Mat<double>)

#ifdef MAPPLOT_MPI_NETCDF
MAPPLOT_MPI_FILE_ENTRY(nc_map, float, Vec<float>)
MAPPLOT_MPI_FILE_ENTRY(nc_map_r8, double, Vec<double>)
MAPPLOT_MPI_FILE_ENTRY(nc_map_2d, float, Mat<float>)
MAPPLOT_MPI_FILE_ENTRY(nc_map_2d_r8, double, Mat<double>)
#else
// Built without the parallel NetCDF library: the fatal error on every rank.
#define MAPPLOT_MPI_NO_NC_ENTRY(name)                                                           \
  void mapplot_mpi_##name(const CFI*, const CFI*, const CFI*, MPI_Fint comm, const Length*,    \
                          const int*, const char*, Length, const char*, Length, const char*,   \
                          Length, const char*, Length, int* stat, char* errmsg, Length nerrmsg, \
                          const char*, Length) noexcept {                                       \
    run_writing_file(stat, errmsg, nerrmsg, [&] {                                               \
      mapmpi::detail::fail_everywhere(                                                          \
          MPI_Comm_f2c(comm), #name ": mapplot_mpi was built without the parallel NetCDF library"); \
    });                                                                                         \
  }
MAPPLOT_MPI_NO_NC_ENTRY(nc_map)
MAPPLOT_MPI_NO_NC_ENTRY(nc_map_r8)
MAPPLOT_MPI_NO_NC_ENTRY(nc_map_2d)
MAPPLOT_MPI_NO_NC_ENTRY(nc_map_2d_r8)
#endif

}  // extern "C"
