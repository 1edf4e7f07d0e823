// mandel_zoom: the zoom into the Mandelbrot set, 350 frames.

#include "driver/zoom_main.h"

int main() { return driver::run_zoom(); }
