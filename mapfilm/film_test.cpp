#include "mapfilm/film.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rtl/fatal.h"
#include "rtl/hooks.h"
#include "mapfilm/test_support.h"

namespace {

namespace fs = std::filesystem;

using mapfilm::testing::Decoded;
using mapfilm::testing::read_gif;
using mapfilm::testing::read_video;
using mapfilm::testing::Rgb;

// Frame k of a w x h film: a moving ramp in `colours` steps (a map's grey
// levels), with coloured corners.
Rgb picture(int w, int h, int k, int colours) {
  Rgb rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      const int level = ((x + 3 * y + 5 * k) % colours) * 255 / std::max(colours - 1, 1);
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(level);
      if (x < 2 && y < 2) p[0] = 255, p[1] = static_cast<std::uint8_t>(40 * k), p[2] = 0;
      if (colours > 256) p[1] = static_cast<std::uint8_t>(x * 7 + y), p[2] = static_cast<std::uint8_t>(y * 5);
    }
  return rgb;
}

// Mean absolute difference of the w x h picture and the top-left w x h of
// the decoded one (of width dw), over every channel.
double mean_difference(const Rgb& want, int w, int h, const Rgb& got, int dw) {
  double sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x)
      sum += std::abs(int{want[static_cast<std::size_t>(y) * w * 3 + x]} -
                      int{got[static_cast<std::size_t>(y) * dw * 3 + x]});
  return sum / (3.0 * w * h);
}

class FilmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mapfilm_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

// Films written and read back: a GIF of at most 256 colours keeps every
// pixel and loops, one of more keeps its size and frames and comes close;
// the videos come within 3 levels on average, padded to even sizes.
TEST_F(FilmTest, FramesReadBackAsWritten) {
  struct Case {
    const char* name;
    int w, h, frames, colours;
    double fps;
    double tolerance;  // mean difference allowed; 0: exact
    int film_w, film_h;
  } cases[] = {
      {"one.gif", 1, 1, 1, 1, 30, 0, 1, 1},
      {"odd.GIF", 7, 5, 4, 200, 30, 0, 7, 5},
      {"levels.gif", 300, 41, 3, 255, 7, 0, 300, 41},  // 255 greys and a corner: 256 colours
      {"many.gif", 64, 48, 2, 4000, 30, 12, 64, 48},
      {"map.mp4", 101, 63, 12, 256, 30, 3, 102, 64},
      {"even.mp4", 64, 48, 5, 50, 24, 3, 64, 48},
      {"map.webm", 101, 63, 6, 256, 30, 3, 102, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file(c.name);
    std::vector<Rgb> pictures;
    {
      mapfilm::Film film(path, c.fps, c.w, c.h);
      for (int k = 0; k < c.frames; ++k) {
        pictures.push_back(picture(c.w, c.h, k, c.colours));
        film.add_rgb(pictures.back().data(), c.w * 3);
        ASSERT_FALSE(fs::exists(path)) << "visible before it is complete";
      }
      film.close();
      EXPECT_EQ(film.frames(), c.frames);
    }
    const bool gif = mapfilm::kind_of(path) == mapfilm::Kind::kGif;
    const Decoded d = gif ? read_gif(path) : read_video(path);
    ASSERT_EQ(d.frames.size(), static_cast<std::size_t>(c.frames));
    EXPECT_EQ(d.width, c.film_w);
    EXPECT_EQ(d.height, c.film_h);
    for (int k = 0; k < c.frames; ++k) {
      const double diff = mean_difference(pictures[k], c.w, c.h, d.frames[k], d.width);
      if (c.tolerance == 0)
        EXPECT_EQ(diff, 0) << "frame " << k;
      else
        EXPECT_LE(diff, c.tolerance) << "frame " << k;
      // The padding repeats the last column and row.
      if (!gif && d.width != c.w) {
        EXPECT_NEAR(d.frames[k][(static_cast<std::size_t>(d.height - 1) * d.width + d.width - 1) * 3],
                    pictures[k][(static_cast<std::size_t>(c.h - 1) * c.w + c.w - 1) * 3], 12);
      }
    }
    if (gif) {
      EXPECT_TRUE(d.loops);
      int total = 0;
      for (const int delay : d.delays) total += delay;
      EXPECT_EQ(total, static_cast<int>(std::lround(100.0 * c.frames / c.fps)));
    }
  }
}

// Every refusal is the module's fatal error, and leaves no file and an
// earlier one as it was.
TEST_F(FilmTest, FailuresAreFatalAndLeaveNoFile) {
  const rtl::ScopedHooks to_caller(rtl::Hooks{.fatal_errors = rtl::FatalErrors::kToCaller});
  fs::create_directories(dir_ / "folder.gif");
  struct Case {
    std::string path;
    double fps;
    int w, h;
    const char* message;  // part of the fatal error's text
  } cases[] = {
      {file("film.avi"), 30, 8, 8, "ends in .mp4, .gif or .webm"},
      {file("missing/film.mp4"), 30, 8, 8, "cannot "},
      {file("folder.gif"), 30, 8, 8, "Is a directory"},
      {file("film.gif"), 0, 8, 8, "fps must be"},
      {file("film.gif"), 30, 0, 8, "width and height"},
      {file("film.mp4"), 30, 8, 16385, "width and height"},
      {std::string("film\0.gif", 9), 30, 8, 8, "NUL byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      mapfilm::Film film(c.path, c.fps, c.w, c.h);
      ADD_FAILURE() << "opened";
    } catch (const rtl::FatalError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // A full disk: a film named by a link to /dev/full, a device that takes
  // the finished film when it is closed, and takes none of it.
  if (fs::exists("/dev/full")) {
    for (const char* name : {"full.gif", "full.mp4"}) {
      fs::create_symlink("/dev/full", dir_ / name);
      mapfilm::Film film(file(name), 30, 4, 4);
      const Rgb p = picture(4, 4, 0, 3);
      film.add_rgb(p.data(), 12);
      try {
        film.close();
        ADD_FAILURE() << name << " written to a full disk";
      } catch (const rtl::FatalError& e) {
        EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos)
            << e.what();
      }
      fs::remove(dir_ / name);
    }
  }
  // A film given up (destroyed unclosed) leaves the earlier file.
  const std::string kept = file("kept.gif");
  std::ofstream(kept) << "earlier";
  {
    mapfilm::Film film(kept, 30, 4, 4);
    const Rgb p = picture(4, 4, 0, 3);
    film.add_rgb(p.data(), 12);
  }
  std::ifstream in(kept);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "earlier");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
      << "a temporary file stayed";
}

// A program that ends while a film is open: through exit() or a fatal error
// the film is closed with every frame added; on a signal no film is left.
TEST_F(FilmTest, ProgramEndKeepsCompleteFilmOrNone) {
  struct Case {
    const char* name;
    int how;  // 0 exit, 1 fatal error, 2 SIGINT
    int frames_kept;  // -1: no file
  } cases[] = {
      {"exit.mp4", 0, 3}, {"fatal.gif", 1, 3}, {"fatal.mp4", 1, 3}, {"signal.mp4", 2, -1},
      {"signal.gif", 2, -1},
  };
  long kept = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file(c.name);
    if (c.frames_kept >= 0) ++kept;
    auto run = [&] {
      auto* film = new mapfilm::Film(path, 30, 33, 21);
      for (int k = 0; k < 3; ++k) {
        const Rgb p = picture(33, 21, k, 100);
        film->add_rgb(p.data(), 33 * 3);
      }
      if (c.how == 0) std::exit(0);
      if (c.how == 1) rtl::fatal_error("stopped");
      std::raise(SIGINT);
    };
    if (c.how == 2)
      EXPECT_EXIT(run(), ::testing::KilledBySignal(SIGINT), "");
    else
      EXPECT_EXIT(run(), ::testing::ExitedWithCode(c.how), c.how == 1 ? "stopped" : "");
    if (c.frames_kept < 0) {
      EXPECT_FALSE(fs::exists(path));
    } else {
      const Decoded d =
          mapfilm::kind_of(path) == mapfilm::Kind::kGif ? read_gif(path) : read_video(path);
      EXPECT_EQ(d.frames.size(), static_cast<std::size_t>(c.frames_kept));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
              kept)
        << "a temporary file stayed";
  }
}

}  // namespace
