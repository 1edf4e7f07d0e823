#pragma once
// Holds back what a C library prints on its own through C's stdout and stderr
// streams, so that standard output carries only console records and the
// library's messages can be judged before they are passed on.
//
// While `run` runs, the process's stdout and stderr FILE pointers name two
// unbuffered streams of this module. What the calling thread writes through
// them (fprintf(stderr, ...), printf, puts ...) is kept and returned; what
// any other thread writes through them goes on at once to the stream it would
// have reached, in order with what that thread wrote before, so standard
// output and standard error are never taken away from other threads. The file
// descriptors themselves are never touched: bytes written with write(2)
// go where they always go. The pointers are restored when `run` returns or
// throws. Calls may nest and may come from several threads.

#include <functional>
#include <string>

namespace mapps {

struct CaughtOutput {
  std::string out;  // written through stdout
  std::string err;  // written through stderr
};

CaughtOutput catch_stdio(const std::function<void()>& run);

}  // namespace mapps
