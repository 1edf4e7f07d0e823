// mandel_zoom: the zoom into the Mandelbrot set, 350 frames, run by the
// windowing runtime on a worker thread of its own.

#include "driver/zoom_main.h"
#include "gfxwin/runtime.h"

int main(int argc, char** argv) {
  return gfxwin::run_program(argc, argv, "mandel_zoom", driver::run_zoom);
}
