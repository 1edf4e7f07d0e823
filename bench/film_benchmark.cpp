// What recording the zoom costs: the whole mandel_zoom program without a
// display, run as a user runs it, with and without MAPPLOT_RECORD (an MP4,
// then a GIF), in wall-clock time (the film's encoder may use the second
// core, and the user waits for the whole run).
//
// The runs alternate (plain, MP4, GIF, plain, ...) so that a change of speed
// of a shared machine slows each alike; each kind's time is its median run.
// The last line gives what recording adds to the plain run.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Seconds one run of the zoom takes, its output thrown away; negative when it fails.
double run_zoom(const std::string& film) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    if (film.empty())
      unsetenv("MAPPLOT_RECORD");
    else
      setenv("MAPPLOT_RECORD", film.c_str(), 1);
    if (!freopen("/dev/null", "w", stdout)) _exit(99);
    execl(MANDEL_ZOOM_PATH, MANDEL_ZOOM_PATH, static_cast<char*>(nullptr));
    _exit(98);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string folder = "/tmp/film_benchmark_" + std::to_string(getpid());
  const std::string mp4 = folder + ".mp4";
  const std::string gif = folder + ".gif";
  std::vector<double> plain, with_mp4, with_gif;
  for (int k = 0; k < runs; ++k) {
    plain.push_back(run_zoom(""));
    with_mp4.push_back(run_zoom(mp4));
    with_gif.push_back(run_zoom(gif));
  }
  std::remove(mp4.c_str());
  std::remove(gif.c_str());
  for (const auto* v : {&plain, &with_mp4, &with_gif})
    if (std::any_of(v->begin(), v->end(), [](double s) { return s < 0; })) {
      std::fprintf(stderr, "a run of the zoom failed\n");
      return 1;
    }
  const double p = median(plain), m = median(with_mp4), g = median(with_gif);
  std::printf("zoom without a display, median of %d runs: %.2f s; recording an MP4 %.2f s, a GIF %.2f s\n",
              runs, p, m, g);
  std::printf("recording adds: MP4 %.2f s, GIF %.2f s (at most 3 s wanted)\n", m - p, g - p);
  return m - p <= 3 && g - p <= 3 ? 0 : 1;
}
