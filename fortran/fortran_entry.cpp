// The C entry points behind the Fortran module mapplot (mapplot.f90) beyond
// those of mapplot_files (files_entry.cpp): the screen map, the windowing
// runtime and the console. Each receives what its bind(C) interface passes
// (descriptors of the arrays, pointers to the integers, null for an integer
// left out, each text as its characters and length, the screen map's named
// options as one struct, map_options.h) and calls the C++ routine of the
// same name on views of the caller's own storage (descriptors.h), with the
// caller's stat and errmsg (entry_support.h).
// Nothing here may throw into Fortran.

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fortran/descriptors.h"
#include "fortran/entry_support.h"
#include "fortran/map_options.h"
#include "gfxwin/runtime.h"
#include "mapscreen/screen_map.h"
#include "rtl/console.h"
#include "rtl/fatal.h"

using CFI = CFI_cdesc_t;
using Length = std::ptrdiff_t;
using fortran_binding::InOutVector;
using fortran_binding::MapOptionArguments;
using fortran_binding::MapOptions;
using fortran_binding::MatrixArgument;
using fortran_binding::optional_int;
using fortran_binding::optional_text;
using fortran_binding::run_with_status;
using fortran_binding::VectorArgument;

namespace {

// A text that is always given (the runtime's names, console lines).
std::string_view text(const char* chars, Length length) {
  return optional_text(chars, length).value_or(std::string_view());
}

// A screen map shows its window under the windowing runtime: outside
// run_program there is no window system to draw in, which is a fatal error
// (a status with stat) rather than a call that draws nothing, unless the call
// draws off screen, into a surface of its own (own_window with its lowest
// bit set), as a test or a program that reads the pixels back does.
void require_windows(std::string_view routine, const int* own_window) {
  if (gfxwin::runtime_running() || (own_window && (*own_window & 1))) return;
  rtl::fatal_error(std::string(routine) +
                   " needs the windowing runtime: call it from the routine run_program runs");
}

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

extern "C" {

// --- Screen map ---

// After stat and errmsg, the map's named options as one struct
// (map_options.h: MapOptions<P> reads each option in the kind it came in).

// The base form rescales z in place: a strided z is rescaled in a copy whose
// grey levels then go back into the caller's elements.
void mapplot_scr_map(const CFI* x, const CFI* y, CFI* z, const int* log, const char* xlabel,
                     Length nxlabel, const char* ylabel, Length nylabel, const char* title,
                     Length ntitle, const int* size, const int* own_window,
                     const int* continuation, int* stat, char* errmsg, Length nerrmsg,
                     const MapOptionArguments* options) noexcept {
  run_with_status(stat, errmsg, nerrmsg, [&] {
    require_windows("scr_map", own_window);
    const VectorArgument<double> xs(x), ys(y);
    const InOutVector<double> zs(z);
    const MapOptions<double> named(*options);
    mapscreen::scr_map(xs.view(), ys.view(), zs.span(),
                       named.into(mapscreen::ScreenMapOptions{
                           .log = optional_int(log),
                           .xlabel = optional_text(xlabel, nxlabel),
                           .ylabel = optional_text(ylabel, nylabel),
                           .title = optional_text(title, ntitle),
                           .size = optional_int(size),
                           .own_window = optional_int(own_window),
                           .continuation = optional_int(continuation)}));
    zs.write_back();
  });
}

#define MAPPLOT_SCR_ENTRY(name, P, ZArgument)                                                 \
  void mapplot_##name(const CFI* x, const CFI* y, const CFI* z, const int* log,              \
                      const char* xlabel, Length nxlabel, const char* ylabel, Length nylabel, \
                      const char* title, Length ntitle, const int* size,                      \
                      const int* own_window, const int* continuation, int* stat,              \
                      char* errmsg, Length nerrmsg,                                           \
                      const MapOptionArguments* options) noexcept {                           \
    run_with_status(stat, errmsg, nerrmsg, [&] {                                              \
      require_windows(#name, own_window);                                                     \
      const VectorArgument<P> xs(x), ys(y);                                                   \
      const ZArgument zs(z);                                                                  \
      const MapOptions<P> named(*options);                                                    \
      mapscreen::name(xs.view(), ys.view(), zs.view(),                                        \
                      named.into(mapscreen::ScreenMapOptions{                                 \
                          .log = optional_int(log),                                           \
                          .xlabel = optional_text(xlabel, nxlabel),                           \
                          .ylabel = optional_text(ylabel, nylabel),                           \
                          .title = optional_text(title, ntitle),                              \
                          .size = optional_int(size),                                         \
                          .own_window = optional_int(own_window),                             \
                          .continuation = optional_int(continuation)}));                      \
    });                                                                                       \
  }

MAPPLOT_SCR_ENTRY(scr_map_r4, float, VectorArgument<float>)
MAPPLOT_SCR_ENTRY(scr_map_2d, float, MatrixArgument<float>)
MAPPLOT_SCR_ENTRY(scr_map_2d_r8, double, MatrixArgument<double>)

// --- The windowing runtime and the console ---

void mapplot_add_argument(const char* argument, Length nargument) noexcept {
  run_with_status(nullptr, nullptr, -1,
                  [&] { program_arguments().emplace_back(text(argument, nargument)); });
}

// Runs `routine` under the windowing runtime with the arguments added so
// far, then ends the program with its exit code.
void mapplot_run_program(const char* name, Length nname, int (*routine)()) noexcept {
  run_with_status(nullptr, nullptr, -1, [&] {
    std::vector<std::string>& arguments = program_arguments();
    if (arguments.empty()) arguments.emplace_back(text(name, nname));  // Qt needs argv[0]
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int code = gfxwin::run_program(static_cast<int>(arguments.size()), argv.data(),
                                         text(name, nname), routine);
    std::exit(code);
  });
}

void mapplot_console_line(const char* line, Length nline, int* stat, char* errmsg,
                          Length nerrmsg) noexcept {
  run_with_status(stat, errmsg, nerrmsg, [&] { rtl::console_write_line(text(line, nline)); });
}

}  // extern "C"
