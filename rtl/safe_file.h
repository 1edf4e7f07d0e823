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
//     directory"; a device or pipe gets the finished contents copied into it.
//
// Temporary files are removed when the program ends through the fatal error
// report, through exit(), or through SIGINT, SIGTERM, SIGHUP or SIGXFSZ while
// a file is being written; the signal then ends the program with its usual
// status. A program's own handler for one of these signals stays in charge:
// while a file is being written the signal is passed on to it, and the
// temporary file is kept, as the program may go on writing. A signal that is
// ignored stays ignored. The handlers are in place only while a file is being
// written.

#include <cstddef>
#include <string>
#include <string_view>

namespace rtl {

struct PendingSlot;

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
  // writers that insist on a file name ending); fatal when the target cannot
  // be opened for writing or the folder is not writable.
  explicit PendingFile(std::string target, std::string_view suffix = {});
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& target() const { return target_; }
  const std::string& temporary() const { return temporary_; }

  // Gives the temporary file the earlier file's rights and renames it over
  // the target; fatal on failure.
  void commit();

 private:
  std::string target_;
  std::string final_;  // the file to replace: the target, its links followed
  std::string temporary_;
  bool special_ = false;  // target is a device or pipe: copied, not renamed
  bool committed_ = false;
  PendingSlot* slot_ = nullptr;  // where the temporary file is registered for removal
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

  PendingFile pending_;
  int fd_ = -1;
  std::string buffer_;
};

// Why replacing `target` must fail before anything is written, as an open
// for writing would: 0, or ELOOP (a loop of links), EISDIR (a folder), or
// the error of opening the existing file for writing (EACCES, EROFS ...).
// Sets `file` to the file behind the links: each link followed (a relative
// one from its own folder), a dangling link naming the file to be created. Whether its folder may be
// written is not checked.
int open_error(const std::string& target, std::string& file);

// Removes every temporary file not yet committed (used by the fatal error
// report before the program ends).
void remove_pending_files();

}  // namespace rtl
