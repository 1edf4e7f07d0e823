#pragma once
// giza 1.3.2 keeps a device's file name in a buffer of 256 bytes and cuts a
// longer one. A giza that takes names of any length would let this go.

#include <string>

namespace mapps {

// The name by which giza reaches a file. giza keeps the file name of a device
// in a buffer of 256 bytes and cuts a longer one (its "device name exceeds
// maximum string length"): a longer path is handed to it through an open
// descriptor of its folder, /proc/self/fd/<n>/<name>, which reaches the same
// file. The descriptor is closed with the object.
class GizaFileName {
 public:
  GizaFileName() = default;
  GizaFileName(const GizaFileName&) = delete;
  GizaFileName& operator=(const GizaFileName&) = delete;
  ~GizaFileName() { close(); }

  // The name for `file` (whose own name within its folder is short); "" with
  // errno set when its folder cannot be opened.
  std::string open(const std::string& file);
  void close();

 private:
  int folder_ = -1;
};

}  // namespace mapps
