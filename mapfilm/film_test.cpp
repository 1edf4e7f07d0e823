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

extern "C" {
#include <gif_lib.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "rtl/fatal.h"
#include "rtl/hooks.h"

namespace {

namespace fs = std::filesystem;

using Rgb = std::vector<std::uint8_t>;

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

struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<Rgb> frames;
  std::vector<int> delays;  // GIF only, hundredths
  bool loops = false;       // GIF only
};

Decoded read_gif(const std::string& path) {
  Decoded d;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
    ADD_FAILURE() << "unreadable GIF " << path;
    if (gif) DGifCloseFile(gif, &error);
    return d;
  }
  d.width = gif->SWidth;
  d.height = gif->SHeight;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    Rgb rgb(static_cast<std::size_t>(d.width) * d.height * 3);
    for (std::size_t k = 0; k < rgb.size() / 3; ++k) {
      const GifColorType c = map->Colors[image.RasterBits[k]];
      rgb[k * 3] = c.Red, rgb[k * 3 + 1] = c.Green, rgb[k * 3 + 2] = c.Blue;
    }
    d.frames.push_back(std::move(rgb));
    GraphicsControlBlock gcb{};
    DGifSavedExtensionToGCB(gif, i, &gcb);
    d.delays.push_back(gcb.DelayTime);
    for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e)
      if (image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
          std::string(reinterpret_cast<char*>(image.ExtensionBlocks[e].Bytes), 11) == "NETSCAPE2.0")
        d.loops = image.ExtensionBlocks[e + 1].Bytes[0] == 1 && image.ExtensionBlocks[e + 1].Bytes[1] == 0 &&
                  image.ExtensionBlocks[e + 1].Bytes[2] == 0;
  }
  DGifCloseFile(gif, &error);
  return d;
}

Decoded read_video(const std::string& path) {
  Decoded d;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(in, nullptr) < 0) {
    ADD_FAILURE() << "unreadable film " << path;
    return d;
  }
  const int s = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = avcodec_find_decoder(in->streams[s]->codecpar->codec_id);
  AVCodecContext* dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, in->streams[s]->codecpar);
  avcodec_open2(dec, codec, nullptr);
  d.width = dec->width;
  d.height = dec->height;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* sws = nullptr;
  auto drain = [&] {
    while (avcodec_receive_frame(dec, frame) == 0) {
      sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 frame->width, frame->height, AV_PIX_FMT_RGB24,
                                 SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
      Rgb rgb(static_cast<std::size_t>(frame->width) * frame->height * 3);
      std::uint8_t* dst[1] = {rgb.data()};
      const int stride[1] = {frame->width * 3};
      sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
      d.frames.push_back(std::move(rgb));
    }
  };
  while (av_read_frame(in, packet) >= 0) {
    if (packet->stream_index == s) avcodec_send_packet(dec, packet);
    av_packet_unref(packet);
    drain();
  }
  avcodec_send_packet(dec, nullptr);
  drain();
  sws_freeContext(sws);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avformat_close_input(&in);
  return d;
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
