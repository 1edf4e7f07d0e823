#pragma once
// cairo's PostScript surface (cairo 1.16, under giza's PostScript devices)
// keeps each page in a temporary file of its own, made by tmpfile() in /tmp,
// and copies it into the output file when the device is closed. When that
// file cannot be written (a full /tmp, or the file size limit with SIGXFSZ
// ignored), cairo's image writer destroys its compression stream twice and
// the program aborts inside cairo, with no message and the output file half
// made. Nothing outside cairo can make that error path safe, so the page is
// kept where no write can fail for want of room: in memory. A cairo that
// reports a failed write of its page file instead of aborting (or writes the
// page into the output stream itself) would let this go.

namespace mapps {

// Makes libcairo's tmpfile() calls give a stream held in memory. Done once;
// later calls do nothing. Returns whether libcairo's calls now go there
// (false where its import of tmpfile() cannot be found, on a platform this
// does not know, or without libcairo in the process).
bool keep_cairo_pages_in_memory();

// Whether a page stream held in memory has lost bytes since the last call
// (storage for it could not be had): the file drawn from it is then wrong.
bool cairo_page_lost_bytes();

}  // namespace mapps
