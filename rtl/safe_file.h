#pragma once
// Files that are either written completely or not at all.
//
// A file is written under a temporary name in the folder of its target and
// renamed over the target only when it is complete, so a failure midway, or a
// fatal error, leaves any earlier file of that name as it was. A file that
// cannot be created or written is a fatal error naming the file and the
// reason ("File Map.dat: cannot open: Permission denied").
//
// What is replaced is the contents, not the file's rights:
//   - an earlier file that an open for writing would refuse (write-protected,
//     on a read-only file system) is the fatal error "cannot open", and it
//     stays as it was;
//   - the new file takes the earlier file's permission bits, and its owner
//     and group where the process may set them; a new file gets the mode an
//     ordinary create gives (0666 less the umask). While it is being written
//     the temporary file is private (0600);
//   - a symbolic link is followed to the file it names, which is created
//     when it does not exist yet; the link stays. A loop of links is the
//     fatal error "cannot open: Too many levels of symbolic links";
//   - a target that is a folder is the fatal error "cannot open: Is a
//     directory"; a character device (/dev/null, a terminal, /dev/stdout)
//     gets the finished contents copied into it;
//   - a named pipe (FIFO) is opened as the file is reserved, without
//     waiting: with no process reading it, that is at once the fatal error
//     "cannot open: no process reads the pipe" (errno ENXIO), never a wait
//     without end; with one, the finished contents are written into it;
//   - any other kind of file (a socket, a block device) is the fatal error
//     "cannot open: not a regular file" (errno ENXIO), and is left alone.
//
// The temporary file is created, given its rights and renamed relative to
// an open descriptor of its folder, so a target whose path the system takes
// is written even where the temporary's longer path would pass PATH_MAX.
//
// Temporary files are removed when the program ends before they are
// committed (rtl/pending_files.h).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "rtl/pending_files.h"

namespace rtl {

class PendingFile;

// A reservation: the temporary file, or why there is none.
struct Reservation {
  std::unique_ptr<PendingFile> file;  // null when the reservation failed
  const char* failed = nullptr;       // "cannot open" (the target) or "cannot create" (the temporary)
  int error = 0;                      // errno of that step
  const char* reason = nullptr;       // when set, the reason to report in place of the errno's text
};

// A temporary file's name in its folder keeps at most this many bytes of the
// target's name: it then fits wherever the target's name fits (a folder
// entry holds 255 bytes), and stays short for writers that take only short
// names.
inline constexpr std::size_t kTemporaryNameKeeps = 160;

// A temporary file reserved beside `target`, for writers that create the file
// themselves (a plotting library); it is removed unless committed.
class PendingFile {
 public:
  // Creates the empty temporary file, its name ending in `suffix` (for
  // writers that insist on a file name ending). Fails when the target cannot
  // be opened for writing (a loop of links, a folder, a protected file: as an
  // open for writing would) or the temporary cannot be created in its folder.
  // A blank name or one holding a NUL byte is a fatal error.
  static Reservation reserve(std::string target, std::string_view suffix = {});

  // As reserve, a failure the fatal error "File <target>: <step>: <reason>".
  explicit PendingFile(std::string target, std::string_view suffix = {});
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& target() const { return target_; }
  // The temporary file's path (which may be longer than PATH_MAX when the
  // target's is near it: such a path is reached through its folder).
  const std::string& temporary() const { return temporary_; }

  // The temporary file, open for writing at its start, handed to a writer
  // that then closes it; -1 once taken. Closed on commit when not taken.
  int take_descriptor();

  // Gives the temporary file the earlier file's rights and renames it over
  // the target; fatal on failure.
  void commit();

 private:
  struct Unchecked {};
  PendingFile(Unchecked, std::string target);
  // Creates the temporary file: 0, or the failed step's errno and name.
  int create(std::string_view suffix, const char*& failed);

  std::string target_;
  std::string final_;  // the file to replace: the target, its links followed
  std::string temporary_;  // its path: the folder as the target names it, then name_
  std::string name_;       // the temporary file's name in its folder
  int folder_ = -1;        // the temporary file's folder, open: reached whatever its path's length
  bool special_ = false;  // target is a device or pipe: copied, not renamed
  int pipe_fd_ = -1;      // a named pipe's writing end, open from the reservation on
  const char* reason_ = nullptr;  // a failure's reason, when the errno's text would not say it
  bool committed_ = false;
  int fd_ = -1;  // the temporary file, until a writer takes it
  PendingRegistration registration_;  // removes the temporary file if the program ends
};

// A sequential output file written through a buffer.
class SafeFile {
 public:
  explicit SafeFile(std::string target);
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Appends bytes; fatal when they cannot be written.
  void write(std::string_view bytes);

  // Writes what is buffered, closes the file and renames it over the target;
  // fatal on failure (the target is then unchanged).
  void commit();

 private:
  void flush();
  void write_through(std::string_view bytes);

  PendingFile pending_;
  int fd_ = -1;
  std::string buffer_;
};

}  // namespace rtl
