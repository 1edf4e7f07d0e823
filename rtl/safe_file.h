#pragma once
// Files that are either written completely or not at all.
//
// A file is written under a temporary name in the folder of its target and
// renamed over the target only when it is complete, so a failure midway, or a
// fatal error, leaves any earlier file of that name as it was. A file that
// cannot be created or written is a fatal error naming the file and the
// reason.

#include <string>
#include <string_view>

namespace rtl {

// A temporary file reserved beside `target`, for writers that create the file
// themselves (a plotting library); it is removed unless committed.
class PendingFile {
 public:
  // Creates the empty temporary file; fatal when the folder is not writable.
  explicit PendingFile(std::string target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& target() const { return target_; }
  const std::string& temporary() const { return temporary_; }

  // Renames the temporary file over the target; fatal on failure.
  void commit();

 private:
  std::string target_;
  std::string temporary_;
  bool special_ = false;  // target is a device or pipe: copied, not renamed
  bool committed_ = false;
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

// Removes every temporary file not yet committed (used by the fatal error
// report before the program ends).
void remove_pending_files();

}  // namespace rtl
