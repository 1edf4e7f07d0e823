#pragma once
// The routines of a field spread over MPI ranks, as the extension module
// _mapplot_mpi (built only where MPI is found, linking mapplot_mpi) hands
// them to mapplot in a capsule: mapplot itself links no MPI and loads that
// module only when a call is given comm=. mapplot parses the call as for the
// one-process routine; the routine here runs under mapplot's hooks of the
// call (console records, fatal errors as exceptions, interruption), which it
// installs in the copy of the runtime linked with it.

#include <array>
#include <cstdint>

#include "mapdata/dat_map.h"
#include "mapps/ps_map.h"
#include "rtl/hooks.h"

namespace pymapplot {

// The communicator (the address of an MPI_Comm, mpi4py's MPI._addressof),
// the block's offset in the global grid (from 0) and the hooks of the call.
struct MpiCall {
  std::uintptr_t comm = 0;
  std::array<maparg::Index, 2> offset = {0, 0};
  const rtl::Hooks* hooks = nullptr;
};

template <class T>
using Vec = maparg::VecView<T>;
template <class T>
using Mat = maparg::MatView<T>;

struct MpiRoutines {
  void (*dat_map)(const MpiCall&, Vec<float>, Vec<float>, Vec<float>, const mapdata::DatMapOptions&);
  void (*dat_map_r8)(const MpiCall&, Vec<double>, Vec<double>, Vec<double>, const mapdata::DatMapOptions&);
  void (*dat_map_2d)(const MpiCall&, Vec<float>, Vec<float>, Mat<float>, const mapdata::DatMapOptions&);
  void (*dat_map_2d_r8)(const MpiCall&, Vec<double>, Vec<double>, Mat<double>, const mapdata::DatMapOptions&);
  // The NetCDF map file, its options those of the data file; null where the
  // parallel NetCDF library was not found.
  void (*nc_map)(const MpiCall&, Vec<float>, Vec<float>, Vec<float>, const mapdata::DatMapOptions&);
  void (*nc_map_r8)(const MpiCall&, Vec<double>, Vec<double>, Vec<double>, const mapdata::DatMapOptions&);
  void (*nc_map_2d)(const MpiCall&, Vec<float>, Vec<float>, Mat<float>, const mapdata::DatMapOptions&);
  void (*nc_map_2d_r8)(const MpiCall&, Vec<double>, Vec<double>, Mat<double>, const mapdata::DatMapOptions&);
  mapps::PsMapResult (*ps_map)(const MpiCall&, Vec<float>, Vec<float>, Vec<float>, const mapps::PsMapOptions&);
  mapps::PsMapResult (*ps_map_r8)(const MpiCall&, Vec<double>, Vec<double>, Vec<double>, const mapps::PsMapOptions&);
  mapps::PsMapResult (*ps_map_2d)(const MpiCall&, Vec<float>, Vec<float>, Mat<float>, const mapps::PsMapOptions&);
  mapps::PsMapResult (*ps_map_2d_r8)(const MpiCall&, Vec<double>, Vec<double>, Mat<double>, const mapps::PsMapOptions&);
};

// The capsule's name, and the module attribute that holds it.
inline constexpr const char* kMpiRoutinesCapsule = "_mapplot_mpi.routines";

}  // namespace pymapplot
