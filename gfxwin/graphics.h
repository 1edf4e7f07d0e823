#pragma once
// Graphics window operations on the active child window.
//
// Every window belongs to a numbered output unit; unit 0 is the console
// window, which also has a drawing surface. The operations act on the active
// window (the console window until a unit is activated). Operations on a
// window that does not exist, or with arguments out of range, change nothing;
// none of them stops the program. Integer coordinates and indices are 16-bit,
// real coordinates double precision.
//
// These calls work with or without the windowing runtime running: without it
// the windows are drawing surfaces only (as in tests); with it each surface
// is also shown in a child window of the frame window, and a call may wait
// for the user's Continue, or (activate_unit, on a display) for the unit's
// last picture to reach the screen (runtime.h).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gfxwin {

inline constexpr int kConsoleUnit = 0;

// Control codes of the rectangle operations.
inline constexpr std::int16_t kBorder = 2;     // outline, 1 pixel wide
inline constexpr std::int16_t kFillInterior = 3;

// Text-mode video mode (the platform's default).
inline constexpr std::int16_t kDefaultMode = -1;

struct WindowPoint {
  double x = 0;
  double y = 0;
};

// Opens a new graphics child window for `unit` (file "USER", status
// "UNKNOWN"), captioned `title`. A unit that cannot be opened (a negative
// number, a file other than "USER", a unit already open) is a fatal error.
void open_unit(int unit, std::string_view file, std::string_view title, std::string_view status);

// Makes the unit's window the target of the following operations and brings
// it to the front; returns 0, or -1 (and changes nothing) for a unit without
// a window.
int activate_unit(int unit);

// area 0: paints the whole surface with the background colour and puts the
// text cursor at row 1, column 1.
void clear_window(std::int16_t area);

// Current graphics colour = palette entry (clamped to 0 .. last); returns the
// previous index.
std::int16_t set_color_index(std::int16_t index);

// Rectangle in viewport pixels, both corners included; returns 1 if drawn.
std::int16_t rectangle(std::int16_t control, std::int16_t x1, std::int16_t y1, std::int16_t x2,
                       std::int16_t y2);

// Viewport origin and clip rectangle in surface pixels.
void set_viewport(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);

// Window coordinates over the clip rectangle; returns 0 (unchanged) when
// wx1 == wx2 or wy1 == wy2, else 1.
std::int16_t set_window_coords(bool upward, double wx1, double wy1, double wx2, double wy2);

// Current graphics colour = RGB value (red in the lowest byte); returns the
// previous colour as RGB.
std::int32_t set_rgb_color(std::int32_t rgb);

// Rectangle in window coordinates, corners mapped to pixels and included.
std::int16_t rectangle_w(std::int16_t control, double wx1, double wy1, double wx2, double wy2);

// A row of filled cells in window coordinates in one call: for i = 0 .. n-1
// in order, exactly set_rgb_color(rgb[i]) then
// rectangle_w(kFillInterior, edges[i], lower, edges[i + 1], upper), so the
// pixels are the same and the last colour stays current. `edges` holds n + 1
// values. One call per row instead of two per cell keeps large maps fast.
void fill_cell_row_w(const std::int32_t* rgb, const double* edges, std::size_t n, double lower,
                     double upper);

// Straight lines in window coordinates in the current colour, n of them in
// one call: line k from (xy[4k], xy[4k + 1]) to (xy[4k + 2], xy[4k + 3]),
// ends included, one pixel wide, clipped to the clip rectangle.
void lines_w(const double* xy, std::size_t n);

// Builds the font list; returns the number of fonts.
std::int16_t init_fonts();

// Selects a font from an option text such as "t'modern'h14w9"; returns its
// list index or -1.
std::int16_t select_font(std::string_view options);

// Current position = mapped point; returns the previous one.
WindowPoint move_to_w(double wx, double wy);

// Draws the text at the current position (its top-left corner) in the current
// colour over a transparent background, then moves the position right by
// the text's width.
void draw_text(std::string_view text);

// Mode -1: the window becomes a text window again (80 columns, 30 rows).
std::int16_t set_video_mode(std::int16_t mode);

// Palette index of later console text (0 .. 255); returns the previous one.
std::int16_t set_text_color(std::int16_t index);

// Reads one line from the console; returns when the user presses Enter in the
// console window or a line comes on standard input. Without the windowing
// runtime, or without a display, only standard input can give the line, and
// its end counts as Enter, so the call never waits for nobody.
void read_console_line();

// Every line of the console window so far, each ending in a line feed; an
// unfinished line (being typed) comes last without one.
std::string console_text();

// --- The values under the cursor (gfxwin/map_values.h) ---

struct MapValues;

// The cell painted last on each pixel column (`columns`) or row of the
// active unit's clip rectangle by n cells bounded by bounds[0 .. n], as
// fill_cell_row_w paints them (-1 where none is); `first` receives the
// surface pixel of the first entry. Empty when there is no active window.
std::vector<int> last_cells(bool columns, const double* bounds, std::size_t n, int& first);

// Hands the active unit's window the values of the map about to be drawn on
// it, to show the values under the cursor: each following fill_cell_row_w
// paints the next row of its cells (ShownValues in map_values.h). They stay
// with the surface until it is cleared (clear_window, set_video_mode) or
// other values come.
void show_map_values(std::shared_ptr<const MapValues> values);

// The values the unit's surface was last handed (none: nothing to read).
std::shared_ptr<const MapValues> map_values(int unit);

// What the unit's window reads at surface pixel (px, py) ("" for nothing).
std::string readout_text(int unit, int px, int py);

// --- Inspection, for tests and for saving pictures ---

// The pixels of a unit's surface as 0xRRGGBB values, row by row.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// false when the unit has no window.
bool snapshot(int unit, Picture& out);

// The caption of the unit's window ("" when there is none).
std::string window_title(int unit);

// The number of the unit whose window is active.
int active_unit();

// --- Films of a window (mapfilm/film.h) ---

// Starts a film of the unit's surface at its own size (the picture Save
// Picture gives), `fps` frames a second, ending the unit's film before; a
// film's kind is its name's ending (.mp4, .gif, .webm). Nothing for a unit
// without a window. A film that cannot be opened is a fatal error.
void start_film(int unit, const std::string& path, double fps);

// Adds the unit's surface as the next frame of its film; nothing when it has
// none. Called when a picture is complete (the screen map, after each call).
void add_film_frame(int unit);

// Closes the unit's film and returns its path ("" when it had none); a film
// that cannot be finished is a fatal error and leaves no file. clear_window
// of a whole window (area 0) ends that window's film too. The program's end
// (exit, a fatal error) closes every film still open.
std::string end_film(int unit);

// The path of the unit's film being recorded ("" when none).
std::string film_path(int unit);

// --- Pictures drawn off screen ---

// While an OffscreenDrawing lives, the units opened get a surface but no
// window: the runtime is told neither of them nor of their activation. When
// it ends, those units are closed and the unit active before is active again.
// So a picture can be drawn for a caller that takes it as pixels (a notebook)
// without a window and without disturbing the windows shown.
// Requires: one at a time, on the thread that draws.
class OffscreenDrawing {
 public:
  OffscreenDrawing();
  ~OffscreenDrawing();
  OffscreenDrawing(const OffscreenDrawing&) = delete;
  OffscreenDrawing& operator=(const OffscreenDrawing&) = delete;

 private:
  int active_before_;
};

}  // namespace gfxwin
