#pragma once
// The temporary files being written, removed when the program ends before
// they are finished.
//
// Each temporary file is registered while it exists. The registered files are
// removed when the program ends through the fatal error report, through
// exit(), or through SIGINT, SIGTERM, SIGHUP or SIGXFSZ; the signal then ends
// the program with its usual status. A program's own handler for one of these
// signals stays in charge: the signal is passed on to it, and the temporary
// files are kept, as the program may go on writing. A signal that is ignored
// stays ignored. The handlers are in place only while a file is registered.

#include <functional>

namespace rtl {

struct PendingSlot;

// One temporary file's registration, for as long as the object lives.
class PendingRegistration {
 public:
  PendingRegistration();   // the first registration puts the handlers in place
  ~PendingRegistration();  // after the last one the program's own handlers are back
  PendingRegistration(const PendingRegistration&) = delete;
  PendingRegistration& operator=(const PendingRegistration&) = delete;

  // The file `name` in the folder open as `folder` (a descriptor) to remove
  // when the program ends, or nullptr for none: a path of any length, as
  // the name is removed relative to the folder. `name` and the descriptor
  // must stay valid until they are replaced or the registration ends.
  void set_file(int folder, const char* name);

 private:
  PendingSlot* slot_;
};

// Removes every registered temporary file (used by the fatal error report
// before the program ends), after doing the ending work (below).
void remove_pending_files();

// Work that completes a file being written when the program ends before its
// writer does (a film being recorded is closed, keeping the frames it has),
// for as long as the object lives. It is done once, on the thread that ends
// the program, by remove_pending_files() (the fatal error report, exit())
// and by end_process() (rtl/console.h), before the temporary files are
// removed; never on a signal, where the files are simply removed. A fatal
// error within the work is printed on standard error and ends only that
// work: its file is then removed as unfinished.
class EndingWork {
 public:
  explicit EndingWork(std::function<void()> work);
  ~EndingWork();  // waits while the work is being done
  EndingWork(const EndingWork&) = delete;
  EndingWork& operator=(const EndingWork&) = delete;

 private:
  friend void do_ending_work();
  std::function<void()> work_;
};

// Does every registered ending work not done yet.
void do_ending_work();

}  // namespace rtl
