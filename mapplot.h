#pragma once
// mapplot: z = z(x, y) shown three ways.
//
//   mapscreen::scr_map…  a grey-level map in a graphics window
//   mapps::ps_map…       a PostScript (or PNG, PDF, SVG) map drawn through PGPLOT
//   mapdata::dat_map…    a plain text data file, and mapdata::read_map_file to read it
//   mapnc::nc_map…       an exact NetCDF file, and mapnc::read_map to read either file
//
// Each rendering takes x, y and z in single or double precision, z as a flat
// vector (x index fastest) or as a matrix, and optional trailing arguments
// that default when omitted (std::nullopt).

#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "mapnc/nc_map.h"
#include "mapps/ps_map.h"
#include "mapscreen/screen_map.h"
