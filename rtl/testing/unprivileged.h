#pragma once
// For tests of what an ordinary user may not do: root may write anything, so
// such a test runs as the user "nobody" in a child process when it is root.

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace rtl::testing {

// Drops to "nobody" when the process is root; false when that fails.
inline bool become_unprivileged() {
  if (geteuid() != 0) return true;
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) return false;
  return setgroups(0, nullptr) == 0 && setgid(nobody->pw_gid) == 0 &&
         setuid(nobody->pw_uid) == 0 && geteuid() != 0;
}

// Empty when a child process can run unprivileged, else why it cannot.
inline std::string why_not_unprivileged() {
  const pid_t child = fork();
  if (child < 0) return "fork failed";
  if (child == 0) _exit(become_unprivileged() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return "this process is root and cannot become the user nobody";
}

}  // namespace rtl::testing
