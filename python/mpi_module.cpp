// The extension module _mapplot_mpi: mapmpi's routines behind the capsule
// python/mpi_routines.h describes, each run under the hooks of mapplot's call.

#include <mpi.h>
#include <pybind11/pybind11.h>

#include "mapmpi/mpi_map.h"
#include "python/mpi_routines.h"

namespace pymapplot {
namespace {

// The routine `routine` of mapmpi with the call's communicator and offset,
// under its hooks.
template <auto routine, class X, class Z, class O>
auto mpi_form(const MpiCall& c, Vec<X> x, Vec<X> y, Z z, const O& o) {
  const rtl::ScopedHooks hooks(*c.hooks);
  const MPI_Comm comm = *reinterpret_cast<const MPI_Comm*>(c.comm);
  return routine(comm, mapmpi::Offset{c.offset[0], c.offset[1]}, x, y, z, o);
}

const MpiRoutines kRoutines = {
    &mpi_form<&mapmpi::dat_map, float, Vec<float>, mapdata::DatMapOptions>,
    &mpi_form<&mapmpi::dat_map_r8, double, Vec<double>, mapdata::DatMapOptions>,
    &mpi_form<&mapmpi::dat_map_2d, float, Mat<float>, mapdata::DatMapOptions>,
    &mpi_form<&mapmpi::dat_map_2d_r8, double, Mat<double>, mapdata::DatMapOptions>,
#ifdef MAPPLOT_MPI_NETCDF
    &mpi_form<&mapmpi::nc_map, float, Vec<float>, mapdata::DatMapOptions>,
    &mpi_form<&mapmpi::nc_map_r8, double, Vec<double>, mapdata::DatMapOptions>,
    &mpi_form<&mapmpi::nc_map_2d, float, Mat<float>, mapdata::DatMapOptions>,
    &mpi_form<&mapmpi::nc_map_2d_r8, double, Mat<double>, mapdata::DatMapOptions>,
#else
    nullptr, nullptr, nullptr, nullptr,
#endif
    &mpi_form<&mapmpi::ps_map, float, Vec<float>, mapps::PsMapOptions>,
    &mpi_form<&mapmpi::ps_map_r8, double, Vec<double>, mapps::PsMapOptions>,
    &mpi_form<&mapmpi::ps_map_2d, float, Mat<float>, mapps::PsMapOptions>,
    &mpi_form<&mapmpi::ps_map_2d_r8, double, Mat<double>, mapps::PsMapOptions>,
};

}  // namespace
}  // namespace pymapplot

PYBIND11_MODULE(_mapplot_mpi, m) {
  m.doc() = "mapplot's routines for a field spread over MPI ranks (loaded by mapplot for comm=)";
  m.attr("routines") = pybind11::capsule(static_cast<const void*>(&pymapplot::kRoutines),
                                         pymapplot::kMpiRoutinesCapsule);
}
