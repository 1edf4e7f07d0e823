#pragma once
// The file a PostScript map device writes: the checks of the finished file
// before it is put in place.

#include <string>
#include <string_view>


namespace mapps {

// The folder of `path`: "." for a bare name, "/" for a file in the root.
std::string folder_of(const std::string& path);

// Whether `file` is a whole file of its kind: every file giza finishes ends
// in the same bytes (`ending`: the end-of-file comment of PostScript and PDF,
// PNG's end chunk, SVG's closing tag); one that a failed write cut short
// does not.
bool is_complete(const std::string& file, std::string_view ending);

// Whether a write of the drawn file failed, and why as far as it shows
// afterwards (an errno value): the file system is full, or the process's file
// size limit was reached; -1 when giza's `messages` report a failed write
// without either; 0 when nothing tells of a failed write.
int write_error(const std::string& file, const std::string& messages);

// giza's `messages` about the file it was given as `drawn`, naming `target`
// instead.
std::string about_target(std::string messages, const std::string& drawn,
                         const std::string& target);

}  // namespace mapps
