// mandel_zoom end to end without a display: the program's standard output
// and standard error.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <thread>
#include <vector>

#include "mapfilm/test_support.h"

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MandelZoom, ProgressLinesAndNothingElse) {
  // Without a runtime folder Qt would have something to say about it.
  unsetenv("XDG_RUNTIME_DIR");
  char errors[] = "/tmp/mandel_zoom_test_XXXXXX";
  const int fd = mkstemp(errors);
  ASSERT_GE(fd, 0);
  close(fd);
  FILE* pipe = popen((std::string(MANDEL_ZOOM_PATH) + " 2>" + errors).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<std::string> lines;
  std::string line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(line, "");  // the last line ends too
  // Standard error is for the program's own messages, and it has none.
  EXPECT_EQ(contents(errors), "");
  std::remove(errors);

  ASSERT_EQ(lines.size(), 350u);
  EXPECT_EQ(lines[0], "           1  Ray =    1.900000    ");
  // Frame k's line: k in a 12-column field, then " Ray = " after one blank.
  for (int k = 1; k <= 350; ++k) {
    char head[32];
    std::snprintf(head, sizeof head, "%12d  Ray = ", k);
    EXPECT_EQ(lines[k - 1].substr(0, 20), head) << k;
    EXPECT_EQ(lines[k - 1].size(), 35u) << k;
  }
}

// MAPPLOT_RECORD without a display: every frame of the zoom in the film, the
// window's surface at its own size (an MP4 padded to even sizes), and the
// same standard output and error as without; a zoom stopped by Ctrl+C
// leaves no film, never a broken one.
TEST(MandelZoom, RecordsEveryFrameHeadless) {
  unsetenv("XDG_RUNTIME_DIR");
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("mandel_zoom_film_" + std::to_string(getpid()));
  fs::create_directories(dir);
  struct Case {
    const char* name;
    bool interrupted;
    int frames, width, height;  // frames -1: no file
  } cases[] = {
      {"zoom.mp4", false, 350, 1006, 664},
      {"zoom.gif", false, 350, 1005, 663},
      {"stopped.mp4", true, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string film = (dir / c.name).string();
    const std::string errors = (dir / "errors.txt").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("MAPPLOT_RECORD", film.c_str(), 1);
      if (!freopen("/dev/null", "w", stdout) || !freopen(errors.c_str(), "w", stderr)) _exit(99);
      execl(MANDEL_ZOOM_PATH, MANDEL_ZOOM_PATH, static_cast<char*>(nullptr));
      _exit(98);
    }
    if (c.interrupted) {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      kill(child, SIGINT);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.interrupted) {
      // Stopped while it recorded (or, on a very fast machine, after: then complete).
      if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGINT);
        EXPECT_FALSE(fs::exists(film));
      }
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      EXPECT_EQ(contents(errors), "");
    }
    if (c.frames >= 0) {
      const mapfilm::testing::Decoded d = mapfilm::testing::read_film(film);
      EXPECT_EQ(d.frames.size(), static_cast<std::size_t>(c.frames));
      EXPECT_EQ(d.width, c.width);
      EXPECT_EQ(d.height, c.height);
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "errors.txt" || name == "zoom.mp4" || name == "zoom.gif")
          << "left behind: " << name;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
