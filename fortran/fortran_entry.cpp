// The C entry points behind the Fortran module mapplot (mapplot.f90). Each
// receives what its bind(C) interface passes (descriptors of the arrays,
// pointers to the integers, null for an integer left out, each text as its
// characters and length) and calls the C++ routine of the same name on views
// of the caller's own storage (descriptors.h). Nothing here may throw into
// Fortran: storage that cannot be obtained is the fatal "Out of memory", as
// in the routines themselves.

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "fortran/descriptors.h"
#include "gfxwin/runtime.h"
#include "mapdata/dat_map.h"
#include "mapps/ps_map.h"
#include "mapscreen/screen_map.h"
#include "rtl/console.h"
#include "rtl/fatal.h"

using CFI = CFI_cdesc_t;
using Length = std::ptrdiff_t;
using fortran_binding::InOutVector;
using fortran_binding::MatrixArgument;
using fortran_binding::optional_int;
using fortran_binding::optional_text;
using fortran_binding::VectorArgument;

namespace {

template <class T>
using Vec = VectorArgument<T>;
template <class T>
using Mat = MatrixArgument<T>;

// Calls `form` with views of x and y (of P) and of z (through ZArgument),
// then the optional arguments as given.
template <class P, class ZArgument, class Form, class... Optional>
void call_form(Form form, const CFI* x, const CFI* y, const CFI* z,
               Optional... optional) noexcept try {
  const VectorArgument<P> xs(x), ys(y);
  const ZArgument zs(z);
  form(xs.view(), ys.view(), zs.view(), optional...);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

// A text that is always given (the runtime's names, console lines).
std::string_view text(const char* chars, Length length) {
  return optional_text(chars, length).value_or(std::string_view());
}

// The Fortran run-time buffers what the program writes to its units
// (flush_units.f90): written out before each console record and before the
// program ends, so that the program's lines keep their order and its files
// their contents whatever ends it.
extern "C" void mapplot_flush_units(int every_unit);
const bool fortran_units_flushed = [] {
  rtl::set_output_flusher([](rtl::BufferedOutput what) {
    mapplot_flush_units(what == rtl::BufferedOutput::kEverything ? 1 : 0);
  });
  return true;
}();

// The command line run_program hands to the windowing runtime.
std::vector<std::string>& program_arguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

}  // namespace

// exit() for the whole program, the C library's own behind it. A Fortran
// STOP or ERROR STOP in the routine under run_program calls exit() on the
// routine's thread while the windows' thread draws: the process must end
// before any function registered with atexit runs (Qt's statics destroyed
// under the drawing thread crash it). Any other exit() goes on as usual.
extern "C" void exit(int status) noexcept {  // noreturn, as the C library declares it
  gfxwin::end_process_if_exit_off_gui_thread(status);
  using Exit = void (*)(int);
  static const auto c_library_exit = reinterpret_cast<Exit>(dlsym(RTLD_NEXT, "exit"));
  c_library_exit(status);
  std::_Exit(status);  // only if the C library's exit could not be found
}

// The positional overload of a routine, the one that takes every optional argument.
#define MAPPLOT_FORM(routine) [](auto... a) { routine(a...); }

extern "C" {

// --- Screen map ---

// The base form rescales z in place: a strided z is rescaled in a copy whose
// grey levels then go back into the caller's elements.
void mapplot_scr_map(const CFI* x, const CFI* y, CFI* z, const int* log, const char* xlabel,
                     Length nxlabel, const char* ylabel, Length nylabel, const char* title,
                     Length ntitle, const int* size, const int* own_window,
                     const int* continuation) noexcept try {
  const VectorArgument<double> xs(x), ys(y);
  const InOutVector<double> zs(z);
  mapscreen::scr_map(xs.view(), ys.view(), zs.span(), optional_int(log),
                     optional_text(xlabel, nxlabel), optional_text(ylabel, nylabel),
                     optional_text(title, ntitle), optional_int(size), optional_int(own_window),
                     optional_int(continuation));
  zs.write_back();
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

#define MAPPLOT_SCR_ENTRY(name, P, ZArgument)                                                 \
  void mapplot_##name(const CFI* x, const CFI* y, const CFI* z, const int* log,              \
                      const char* xlabel, Length nxlabel, const char* ylabel, Length nylabel, \
                      const char* title, Length ntitle, const int* size,                      \
                      const int* own_window, const int* continuation) noexcept {              \
    call_form<P, ZArgument>(MAPPLOT_FORM(mapscreen::name), x, y, z, optional_int(log),        \
                            optional_text(xlabel, nxlabel), optional_text(ylabel, nylabel),   \
                            optional_text(title, ntitle), optional_int(size),                 \
                            optional_int(own_window), optional_int(continuation));            \
  }

MAPPLOT_SCR_ENTRY(scr_map_r4, float, Vec<float>)
MAPPLOT_SCR_ENTRY(scr_map_2d, float, Mat<float>)
MAPPLOT_SCR_ENTRY(scr_map_2d_r8, double, Mat<double>)

// --- PostScript map ---

#define MAPPLOT_PS_ENTRY(name, P, ZArgument)                                                   \
  void mapplot_##name(const CFI* x, const CFI* y, const CFI* z, const int* log,              \
                      const char* xlabel, Length nxlabel, const char* ylabel, Length nylabel, \
                      const char* title, Length ntitle, const char* file, Length nfile,       \
                      const char* device, Length ndevice) noexcept {                          \
    call_form<P, ZArgument>(MAPPLOT_FORM(mapps::name), x, y, z, optional_int(log),            \
                            optional_text(xlabel, nxlabel), optional_text(ylabel, nylabel),   \
                            optional_text(title, ntitle), optional_text(file, nfile),         \
                            optional_text(device, ndevice));                                  \
  }

MAPPLOT_PS_ENTRY(ps_map, float, Vec<float>)
MAPPLOT_PS_ENTRY(ps_map_r8, double, Vec<double>)
MAPPLOT_PS_ENTRY(ps_map_2d, float, Mat<float>)
MAPPLOT_PS_ENTRY(ps_map_2d_r8, double, Mat<double>)

// --- Data export ---

#define MAPPLOT_DAT_ENTRY(name, P, ZArgument)                                                  \
  void mapplot_##name(const CFI* x, const CFI* y, const CFI* z, const int* log,              \
                      const char* xlabel, Length nxlabel, const char* ylabel, Length nylabel, \
                      const char* title, Length ntitle, const char* file,                     \
                      Length nfile) noexcept {                                                \
    call_form<P, ZArgument>(MAPPLOT_FORM(mapdata::name), x, y, z, optional_int(log),          \
                            optional_text(xlabel, nxlabel), optional_text(ylabel, nylabel),   \
                            optional_text(title, ntitle), optional_text(file, nfile));        \
  }

MAPPLOT_DAT_ENTRY(dat_map, float, Vec<float>)
MAPPLOT_DAT_ENTRY(dat_map_r8, double, Vec<double>)
MAPPLOT_DAT_ENTRY(dat_map_2d, float, Mat<float>)
MAPPLOT_DAT_ENTRY(dat_map_2d_r8, double, Mat<double>)

// --- The windowing runtime and the console ---

void mapplot_add_argument(const char* argument, Length nargument) noexcept try {
  program_arguments().emplace_back(text(argument, nargument));
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

// Runs `routine` under the windowing runtime with the arguments added so
// far, then ends the program with its exit code.
void mapplot_run_program(const char* name, Length nname, int (*routine)()) noexcept try {
  std::vector<std::string>& arguments = program_arguments();
  if (arguments.empty()) arguments.emplace_back(text(name, nname));  // Qt needs argv[0]
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int code = gfxwin::run_program(static_cast<int>(arguments.size()), argv.data(),
                                       text(name, nname), routine);
  std::exit(code);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void mapplot_console_line(const char* line, Length nline) noexcept try {
  rtl::console_write_line(text(line, nline));
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // extern "C"
