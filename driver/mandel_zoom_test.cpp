// mandel_zoom end to end: the program's standard output.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

TEST(MandelZoom, ProgressLines) {
  FILE* pipe = popen(MANDEL_ZOOM_PATH, "r");
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
