#pragma once
// The PGPLOT calls of the PostScript map, drawn by the giza library.
//
// Each function takes the arguments of the PGPLOT routine of the same name
// (PGBEG -> pgbeg ...) and behaves as PGPLOT documents it, hiding where giza
// differs:
//   - The device string is a file name, "/" and a device type; the
//     name is everything before the LAST "/", without leading and trailing
//     blanks. The file written is exactly that name (giza would append ".ps",
//     ".png" ... to a name that lacks it): the plot goes to a temporary file
//     beside the target and is renamed over it when pgend completes, so an
//     earlier file of that name survives any failure. The name is used
//     whole, whatever its length (giza itself cuts a name after 256 bytes:
//     a longer one reaches it through its folder). A blank name gives
//     PGPLOT's default, pgplot.ps (pgplot.png ...), see pgplot_output_file.
//   - Device types, in either case: ps and cps (landscape PostScript), vps
//     and vcps (portrait), eps, pdf, vpdf, png, tpng, svg and null. Any other
//     type, such as gif, makes pgbeg fail with
//     "%PGPLOT, Unrecognized device type: gif" on standard error.
//   - A folder that does not exist or cannot be written makes pgbeg fail
//     with a "%PGPLOT, Cannot open output file ..." message.
//   - Texts lose their trailing blanks before they reach giza (PGPLOT ignores
//     them, giza would centre a label on its blanks too).
//   - Texts (pglab's, pgwedg's label) are UTF-8, and no byte beyond ASCII
//     reaches giza: giza 1.3.2 hands each byte of such a character to cairo
//     alone, and cairo then draws no more text on the page. A character goes
//     through giza's escapes where one draws it (\g Greek letters, \u...\d
//     raised and \d...\u lowered characters, \(nnnn) symbols) and giza's
//     font has it; else it is filled as a polygon from its outline in giza's
//     font or the first font fontconfig offers for it, at giza's size and
//     place for the text; else it is drawn as "?". Control characters are
//     blanks, bytes that are no UTF-8 are U+FFFD. Texts of printable ASCII
//     reach giza as they are, so a caller's escapes keep working; option
//     strings keep printable ASCII only.
//   - pgimag gives each cell of the array one colour, as PGPLOT does; giza
//     would have the image smoothed between cell centres. PostScript and PDF
//     files only ask their viewers to smooth it (an image's /Interpolate
//     mark): pgend clears that mark in the finished file, in place. PNG
//     (smoothed by cairo as it draws) and SVG (smoothed by its viewers) get
//     each cell as a block of equal cells, at least 2 to a device unit, so
//     that the smoothing stays within a sliver at each cell's edge, narrower
//     than a pixel at the file's own size; a map whose cells are already that
//     small is drawn as it is.
//   - pgwedg draws the wedge where giza puts it (frame, numbers, label), its
//     400 steps as an image drawn like pgimag's. giza's own wedge image comes
//     out padded or not in a PostScript file depending on the process's
//     memory layout, so the same plot would not always give the same bytes.
//   - pgimag with a1 == a2 warns and draws every cell, whatever its value,
//     in the colour of a1; pgwedg with fg == bg warns and draws no wedge
//     (giza would divide by the zero range).
//   - pgend puts the file in place only when giza wrote all of it: each file
//     giza finishes ends in the same bytes for its kind (the "%%EOF" comment of
//     PostScript and PDF, PNG's end chunk, SVG's "</svg>"), one cut short does
//     not. A file that could not be written completely (a full file system,
//     the process's file size limit) is a fatal error through
//     rtl::fatal_error, "File <name>: cannot write: <reason>": the earlier file
//     stays and no temporary file is left. The page that cairo's PostScript
//     surface keeps aside until the file is closed is held in memory, not in
//     a temporary file of cairo's own in /tmp (see page_in_memory.h), so a
//     full /tmp costs nothing; storage lacking for it is "Out of memory".
//   - A plot that giza cannot finish for a reason of its own is drawn, not
//     refused. cairo takes no image with more than 2^15 cells to a device unit
//     along an axis: the 400-step wedge beside a map some 10^4 to 10^5
//     times wider than high, or on PNG an image of many cells squeezed into
//     so thin a band, exceeds it, and giza leaves an empty or cut file. pgend
//     then draws the plot once more from the calls since pgbeg, with such
//     images in merged cells, a few thousand to a pixel (a pixel shows no
//     difference), and passes on only what giza reports about that drawing.
//     Plots that giza finishes at once are drawn as described above.
//   - giza's messages name the file written, not its temporary file.
//   - Nothing giza prints on its own reaches standard output: what it writes
//     to standard error is passed on there after each call, and each line it
//     writes to standard output (such as "giza_viewport: xmin -nan ...") as a
//     PGPLOT message on standard error, blank lines left out. Only the
//     drawing thread's output is held back meanwhile (mapps/stdio_catch.h):
//     other threads keep standard output and standard error.
// Calls other than pgbeg are ignored while no device is open.
//
// Callers draw through the table returned by pgplot(), so that a test can
// install a table that records the calls instead of drawing.

#include <string>
#include <string_view>

namespace mapps {

// PGBEG: opens the device; returns 1 on success, anything else on failure.
int pgbeg(int unit, std::string_view device_spec, int nxsub, int nysub);
void pgscf(int font);
void pgslw(int line_width);
void pgsvp(float xleft, float xright, float ybot, float ytop);
void pgwnad(float x1, float x2, float y1, float y2);
void pgbbuf();
void pgctab(const float* l, const float* r, const float* g, const float* b, int nc,
            float contra, float bright);
// PGIMAG: the image of a(i1..i2, j1..j2) of an idim x jdim array (first index
// fastest), a1 drawn in the first colour, a2 in the last; cell (i, j) centred
// at (tr[0] + tr[1]*i + tr[2]*j, tr[3] + tr[4]*i + tr[5]*j).
void pgimag(const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
            float a2, const float* tr);
void pgebuf();
void pgsci(int colour_index);
void pgsls(int line_style);
void pgline(int n, const float* xpts, const float* ypts);
void pgbox(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
           int nysub);
void pgsch(float size);
void pgwedg(std::string_view side, float disp, float width, float fg, float bg,
            std::string_view label);
void pglab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl);
// PGEND: closes the device and puts the finished file in place; a file that
// cannot be written completely ends the program (see above). It calls
// rtl::check_interruption() before giza writes the file and before the file
// replaces an earlier one: a check that throws leaves no device open, no
// drawn file, and the earlier file as it was.
void pgend();

// Closes an open device without putting its file in place: the drawn file is
// removed and an earlier file of the target's name stays. For a plot cut
// short by an error that unwinds instead of ending the program; the page is
// dropped unwritten, so this is quick whatever was drawn. Nothing happens
// while no device is open.
void pgplot_abandon();

// The file a device string makes PGPLOT write: the name before the
// last "/" without leading and trailing blanks, or PGPLOT's default for the
// device type when that is blank ("pgplot.ps" for ps, cps, vps and vcps,
// "pgplot.png" ...). Empty when the type writes no file (null) or is unknown.
std::string pgplot_output_file(std::string_view device_spec);

// The calls as a table of plain functions.
struct Pgplot {
  int (*beg)(int, std::string_view, int, int);
  void (*scf)(int);
  void (*slw)(int);
  void (*svp)(float, float, float, float);
  void (*wnad)(float, float, float, float);
  void (*bbuf)();
  void (*ctab)(const float*, const float*, const float*, const float*, int, float, float);
  void (*imag)(const float*, int, int, int, int, int, int, float, float, const float*);
  void (*ebuf)();
  void (*sci)(int);
  void (*sls)(int);
  void (*line)(int, const float*, const float*);
  void (*box)(std::string_view, float, int, std::string_view, float, int);
  void (*sch)(float);
  void (*wedg)(std::string_view, float, float, float, float, std::string_view);
  void (*lab)(std::string_view, std::string_view, std::string_view);
  void (*end)();
};

// The table of the functions above (drawing through giza).
const Pgplot& giza_pgplot();

// The table the PostScript map draws through: giza_pgplot() unless a test has
// installed another one.
const Pgplot& pgplot();

// Installs `table` (which must outlive its use); nullptr restores giza_pgplot().
void set_pgplot(const Pgplot* table);

}  // namespace mapps
