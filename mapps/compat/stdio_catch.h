#pragma once
// Holds back what libgiza prints on its own, so that standard output carries
// only console records and giza's messages can be judged before they are
// passed on. giza 1.3.2 prints its notes and warnings itself, to the C
// library's stdout and stderr, and has no setting to quiet them; a giza that
// hands its messages to a callback of the program would let this go.
//
// libgiza's imports of stdout and stderr are pointed at two variables of this
// module, and its imports of the calls that print to standard output without
// naming a stream (printf, puts ...) at calls that print to the first of them
// (library_imports.h). The variables hold two unbuffered streams of this
// module. What giza writes through them on the thread that runs `run`, while
// it runs, is kept and returned; what it writes at any other time, or on
// another thread, goes on to the process's stdout or stderr as it would have,
// in order with what was written there before. Nothing else changes: the
// process's stdout and stderr are never replaced, so what the program, other
// libraries and other threads write through them (and their fileno) stays as
// it was, and the file descriptors are never touched.
//
// Calls may nest on one thread (each keeps what giza wrote while it was the
// innermost) and may come from several threads. Where libgiza's imports
// cannot be rewritten (no libgiza in the process, a platform this does not
// know), giza prints straight to the standard streams and nothing is kept.

#include <functional>
#include <string>

namespace mapps {

struct CaughtOutput {
  std::string out;  // written by giza to stdout
  std::string err;  // written by giza to stderr
};

CaughtOutput catch_stdio(const std::function<void()>& run);

}  // namespace mapps
