// mandel_zoom end to end without a display: the program's standard output
// and standard error.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

}  // namespace
