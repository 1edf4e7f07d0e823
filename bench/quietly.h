#pragma once
// Runs a step of a benchmark's setup with standard output sent to /dev/null,
// so that the console lines of the routines do not mix with the figures.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

template <class F>
void quietly(F f) {
  std::fflush(stdout);
  const int saved = dup(1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  close(null);
  f();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
}
