#pragma once
// The PGPLOT calls of the PostScript map, drawn by the giza library.
//
// Each function takes the arguments of the PGPLOT routine of the same name
// (PGBEG -> pgbeg ...) and behaves as PGPLOT documents it, hiding where giza
// differs. What holds for every call:
//   - giza draws on one device at a time for the whole process: pgbeg waits
//     while another thread has a device open, and the device is the opening
//     thread's until pgend (or pgplot_abandon) closes it. Calls other than
//     pgbeg are ignored while the calling thread has no device open.
//   - Texts lose their trailing blanks before they reach giza.
//   - Nothing giza prints on its own reaches standard output: what it writes
//     to standard error is passed on there after each call, and each line it
//     writes to standard output (such as "giza_viewport: xmin -nan ...") as a
//     PGPLOT message on standard error, blank lines left out. Only what
//     giza prints is held back meanwhile (mapps/compat/stdio_catch.h): the
//     process's standard output and standard error are never replaced, so
//     the program's other threads keep them. giza's messages name the file
//     written, not its temporary file.
//
// Callers draw through the table returned by pgplot(), so that a test can
// install a table that records the calls instead of drawing.

#include <string>
#include <string_view>

namespace mapps {

// PGBEG: opens the device of `device_spec`, a file name, "/" and a device
// type; returns 1 on success, anything else on failure: minus the errno
// when the file cannot be opened, 0 or giza's own status otherwise.
//   - Device types, in either case: ps and cps (landscape PostScript), vps
//     and vcps (portrait), eps, pdf, vpdf, png, tpng, svg and null. Any other
//     type, such as gif, makes pgbeg fail with
//     "%PGPLOT, Unrecognized device type: gif" on standard error.
//   - The file written is exactly pgplot_output_file's name (giza would
//     append ".ps", ".png" ... to a name that lacks it), whatever its length
//     (giza itself cuts a name after 256 bytes). The plot goes to a
//     temporary file beside the target that pgend renames over it, so an
//     earlier file of that name survives any failure.
//   - A folder that does not exist or cannot be written makes pgbeg fail
//     with a "%PGPLOT, Cannot open output file ..." message.
int pgbeg(int unit, std::string_view device_spec, int nxsub, int nysub);
void pgscf(int font);
void pgslw(int line_width);
void pgsvp(float xleft, float xright, float ybot, float ytop);
void pgwnad(float x1, float x2, float y1, float y2);
void pgswin(float x1, float x2, float y1, float y2);
// The open device's view surface made `width` x `height` pixels (a PNG
// device's picture), on a new page: giza's own call, as PGPLOT sizes a view
// surface only in inches (PGPAP).
void pgpap_pixels(int width, int height);
void pgbbuf();
// PGCTAB: a table of any number of control points. giza takes at most 256
// and sets the colour indices of PGQCIR's range from the table at evenly
// spaced levels; a longer table reaches giza resampled at exactly those
// levels, so every index gets the colour the whole table gives it.
void pgctab(const float* l, const float* r, const float* g, const float* b, int nc,
            float contra, float bright);
// PGIMAG: the image of a(i1..i2, j1..j2) of an idim x jdim array (first index
// fastest), a1 drawn in the first colour, a2 in the last; cell (i, j) centred
// at (tr[0] + tr[1]*i + tr[2]*j, tr[3] + tr[4]*i + tr[5]*j). Each cell has
// one colour on every device, as PGPLOT draws it, and cells far finer than
// the device's pixels never keep the file from being finished (see
// plot_images.h). With a1 == a2 it warns and draws every cell, whatever its value, in the colour
// of a1.
void pgimag(const float* a, int idim, int jdim, int i1, int i2, int j1, int j2, float a1,
            float a2, const float* tr);
void pgebuf();
void pgsci(int colour_index);
void pgsls(int line_style);
void pgline(int n, const float* xpts, const float* ypts);
// PGBOX: option strings keep printable ASCII only.
void pgbox(std::string_view xopt, float xtick, int nxsub, std::string_view yopt, float ytick,
           int nysub);
void pgsch(float size);
// PGWEDG: the wedge where giza puts it (frame, numbers, label), its 400
// steps drawn as an image like pgimag's. With fg == bg it warns and draws no
// wedge (giza would divide by the zero range). Ranges too short or too long
// for giza's window get their numbers in units of a power of ten, which a
// note by the wedge gives (see plot_images.h). The label is UTF-8, as
// pglab's texts.
void pgwedg(std::string_view side, float disp, float width, float fg, float bg,
            std::string_view label);
// PGWEDG with a triangle at either end, pointing away from the wedge, as high
// as the wedge is wide: at the low end (left or bottom) in colour index
// `low_ci`, at the high end in `high_ci`, each outlined in the current colour
// (the frame's); a negative index draws no triangle at that end. Otherwise
// as pgwedg.
void pgwedg_ends(std::string_view side, float disp, float width, float fg, float bg,
                 std::string_view label, int low_ci, int high_ci);
// PGSCR: colour index ci (0 .. 15 keep the colours of their own; PGCTAB's
// tables use 16 and above) gets red, green and blue, 0 .. 1 each.
void pgscr(int ci, float cr, float cg, float cb);
// PGRECT: the rectangle x1 .. x2, y1 .. y2 in world coordinates, filled in
// the current colour (the fill style is left solid), clipped to the viewport.
void pgrect(float x1, float x2, float y1, float y2);
// PGPTXT: `text` (printable ASCII, such as a number) at world coordinates
// (x, y), at `angle` degrees counter-clockwise from the x axis, `fjust`
// along it (0 left, 0.5 centred, 1 right), in the current colour and size.
void pgptxt(float x, float y, float angle, float fjust, std::string_view text);
// PGPAGE: the next panel of a device opened with several (pgbeg's nxsub x
// nysub), cleared; the first call after pgbeg gives the first panel.
void pgpage();
// PGLAB: the texts are UTF-8 and are drawn in any language (see
// plot_text.h); texts of printable ASCII reach giza as they are, so a
// caller's escapes keep working.
void pglab(std::string_view xlbl, std::string_view ylbl, std::string_view toplbl);
// PGEND: closes the device and puts the finished file in place, only when
// giza wrote all of it (see plot_file.h). A file that could not be written
// completely (a full file system, the process's file size limit) is a fatal
// error through rtl::fatal_error, "File <name>: cannot write: <reason>": the
// earlier file stays and no temporary file is left. The page that cairo's
// PostScript surface keeps aside until the file is closed is held in memory
// (see page_in_memory.h); storage lacking for it is "Out of memory".
// It calls rtl::check_interruption() before giza writes the file and before
// the file replaces an earlier one: a check that throws leaves no device open,
// no drawn file, and the earlier file as it was.
void pgend();

// Closes an open device without putting its file in place: the drawn file is
// removed and an earlier file of the target's name stays. For a plot cut
// short by an error that unwinds instead of ending the program; the page is
// dropped unwritten, so this is quick whatever was drawn. Nothing happens
// while no device is open.
void pgplot_abandon();

// Writes "%PGPLOT, <message>" on standard error, as the calls report what
// they refuse.
void pgplot_message(std::string_view message);

// Why pgbeg refused `device_spec` with `status`: the message it wrote after
// "%PGPLOT, ", and for a file that could not be opened its errno and name.
struct PgplotRefusal {
  std::string message;
  int error = 0;
  std::string file = {};
};
PgplotRefusal pgplot_refusal(std::string_view device_spec, int status);

// The file a device string makes PGPLOT write: the name before the
// last "/" without leading and trailing blanks, or PGPLOT's default for the
// device type when that is blank ("pgplot.ps" for ps, cps, vps and vcps,
// "pgplot.png" ...). Empty when the type writes no file (null) or is unknown.
std::string pgplot_output_file(std::string_view device_spec);

// The kind of file a device string makes PGPLOT write: "PostScript", "PDF",
// "PNG" or "SVG"; empty when it writes none (null) or the type is unknown.
std::string pgplot_file_kind(std::string_view device_spec);

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
  void (*wedg_ends)(std::string_view, float, float, float, float, std::string_view, int, int);
  void (*scr)(int, float, float, float);
  void (*rect)(float, float, float, float);
  void (*swin)(float, float, float, float);
  void (*pap_pixels)(int, int);
  void (*ptxt)(float, float, float, float, std::string_view);
  void (*page)();
};

// The table of the functions above (drawing through giza).
const Pgplot& giza_pgplot();

// The table the PostScript map draws through: giza_pgplot() unless a test has
// installed another one.
const Pgplot& pgplot();

// Installs `table` (which must outlive its use); nullptr restores giza_pgplot().
void set_pgplot(const Pgplot* table);

}  // namespace mapps
