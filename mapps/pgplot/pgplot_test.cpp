#include "mapps/pgplot/pgplot.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QImage>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mapps/compat/unsmoothed_images.h"
#include "mapps/pgplot/plot_file.h"
#include "mapps/test_support.h"

extern "C" const char* __lsan_default_suppressions();

namespace mapps {
namespace {

using testing_support::ends_with;
using testing_support::read_all;
using testing_support::starts_with;
using testing_support::write_all;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

// Opens the device, draws a small image with its frame and labels, closes it.
int draw_small_plot(std::string_view device) {
  const int status = pgbeg(0, device, 1, 1);
  const float a[4] = {1, 2, 3, 4};
  const float tr[6] = {0, 1, 0, 0, 0, 1};
  pgsvp(0.12f, 0.83f, 0.12f, 0.88f);
  pgwnad(1, 2, 1, 2);
  pgimag(a, 2, 2, 1, 2, 1, 2, 1, 4, tr);
  pgbox("bcnts", 0, 0, "bcnts", 0, 0);
  pglab("x   ", "y   ", "title   ");
  pgend();
  return status;
}

// The leaks this test knows are tools/lsan.supp's, the one list of them.
TEST(LeakSuppressions, AreTheListInTools) {
  std::ifstream list(MAPPLOT_SOURCE_DIR "/tools/lsan.supp");
  ASSERT_TRUE(list);
  std::string entries;
  for (std::string line; std::getline(list, line);)
    if (starts_with(line, "leak:")) entries += line + "\n";
  EXPECT_EQ(__lsan_default_suppressions(), entries);
}

TEST(PgplotOutputFile, NameBeforeTheLastSlashOrTheDefaultOfTheType) {
  EXPECT_EQ(pgplot_output_file("Map.ps    /ps"), "Map.ps");
  EXPECT_EQ(pgplot_output_file("out/Map.png/png"), "out/Map.png");
  EXPECT_EQ(pgplot_output_file("  plot  /PNG"), "plot");
  EXPECT_EQ(pgplot_output_file("    /ps"), "pgplot.ps");
  EXPECT_EQ(pgplot_output_file("/vcps"), "pgplot.ps");
  EXPECT_EQ(pgplot_output_file("/svg"), "pgplot.svg");
  EXPECT_EQ(pgplot_output_file("Map.null/null"), "");
  EXPECT_EQ(pgplot_output_file("Map.gif/gif"), "");
  EXPECT_EQ(pgplot_output_file("Map.ps"), "");
}

using PgplotFiles = testing_support::InTempFolder;

TEST_F(PgplotFiles, TheFileWrittenIsExactlyTheNameGiven) {
  fs::create_directory("sub");
  EXPECT_EQ(draw_small_plot("out.ecps    /cps"), 1);
  EXPECT_EQ(draw_small_plot("plot/png"), 1);
  EXPECT_EQ(draw_small_plot("Map.PS/PS"), 1);
  EXPECT_EQ(draw_small_plot("sub/portrait/VPS"), 1);
  EXPECT_EQ(draw_small_plot("doc.pdf/pdf"), 1);
  EXPECT_EQ(draw_small_plot("   /svg"), 1);
  EXPECT_EQ(draw_small_plot("nothing/null"), 1);
  EXPECT_EQ(entries(), (Strings{"Map.PS", "doc.pdf", "out.ecps", "pgplot.svg", "plot", "sub"}));
  EXPECT_EQ(testing_support::entries_of("sub"), Strings{"portrait"});
  EXPECT_TRUE(starts_with(read_all("out.ecps"), "%!PS-Adobe"));
  EXPECT_TRUE(starts_with(read_all("Map.PS"), "%!PS-Adobe"));
  EXPECT_TRUE(starts_with(read_all("sub/portrait"), "%!PS-Adobe"));
  EXPECT_TRUE(starts_with(read_all("plot"), "\x89PNG\r\n"));
  EXPECT_TRUE(starts_with(read_all("doc.pdf"), "%PDF-"));
  EXPECT_NE(read_all("pgplot.svg").find("<svg"), std::string::npos);
  // Landscape and portrait PostScript.
  EXPECT_NE(read_all("Map.PS").find("%%BoundingBox: 0 0 612 459"), std::string::npos);
  EXPECT_NE(read_all("sub/portrait").find("%%BoundingBox: 0 0 459 612"), std::string::npos);
}

// SVG viewers are asked not to smooth the images of a finished file: the
// property goes on the root, in the room of the XML declaration, which only
// restates the defaults, so the file keeps its length. A file that does not
// begin as cairo writes it is left as it is.
TEST_F(PgplotFiles, SvgFilesAskViewersNotToSmoothImages) {
  ASSERT_EQ(draw_small_plot("map.svg/svg"), 1);
  const std::string svg = read_all("map.svg");
  EXPECT_TRUE(starts_with(svg, "<svg style=\"image-rendering:pixelated\" xmlns="));
  EXPECT_TRUE(ends_with(svg, "</svg>\n"));
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  write_all("a.svg", declaration + "<svg width=\"1pt\">\n<g/>\n</svg>\n");
  EXPECT_EQ(ask_for_unsmoothed_images("a.svg"), 0);
  EXPECT_EQ(read_all("a.svg"),
            "<svg style=\"image-rendering:pixelated\" width=\"1pt\"     >\n<g/>\n</svg>\n");
  const Strings others = {"<svg width=\"1pt\">\n</svg>\n", declaration + "<svg width=",
                          declaration + "<svgx>\n", ""};
  for (const std::string& other : others) {
    write_all("b.svg", other);
    EXPECT_EQ(ask_for_unsmoothed_images("b.svg"), 0);
    EXPECT_EQ(read_all("b.svg"), other);
  }
  EXPECT_EQ(ask_for_unsmoothed_images("none.svg"), ENOENT);
}

// Opens the device, draws an n x n image of a ramp filling its viewport,
// closes it.
int draw_ramp(std::string_view device, int n) {
  const int status = pgbeg(0, device, 1, 1);
  std::vector<float> a(static_cast<std::size_t>(n) * n);
  for (std::size_t k = 0; k < a.size(); ++k) a[k] = static_cast<float>(k % 251);
  const float tr[6] = {0, 1, 0, 0, 0, 1};
  pgsvp(0.1f, 0.9f, 0.1f, 0.9f);
  const float edge = static_cast<float>(n) + 0.5f;
  pgwnad(0.5f, edge, 0.5f, edge);
  pgimag(a.data(), n, n, 1, n, 1, n, 0, 250, tr);
  pgend();
  return status;
}

// The filter type of each row of the first PNG picture that `svg` embeds.
std::vector<int> embedded_row_filters(const std::string& svg) {
  const std::string mark = "data:image/png;base64,";
  const auto start = svg.find(mark);
  if (start == std::string::npos) return {};
  const auto end = svg.find('"', start);
  const QByteArray png =
      QByteArray::fromBase64(QByteArray::fromStdString(svg.substr(start + mark.size(),
                                                                  end - start - mark.size())));
  const auto number = [&](qsizetype at) {
    return static_cast<quint32>(static_cast<unsigned char>(png[at])) << 24 |
           static_cast<quint32>(static_cast<unsigned char>(png[at + 1])) << 16 |
           static_cast<quint32>(static_cast<unsigned char>(png[at + 2])) << 8 |
           static_cast<quint32>(static_cast<unsigned char>(png[at + 3]));
  };
  quint32 width = 0, height = 0, pixel_bytes = 0;
  QByteArray stream;
  for (qsizetype at = 8; at + 8 <= png.size();) {  // the chunks after the signature
    const quint32 length = number(at);
    const QByteArray type = png.mid(at + 4, 4);
    if (type == "IHDR") {
      width = number(at + 8);
      height = number(at + 12);
      const int colour_type = static_cast<unsigned char>(png[at + 17]);
      pixel_bytes = colour_type == 6 ? 4 : colour_type == 2 ? 3 : colour_type == 4 ? 2 : 1;
    }
    if (type == "IDAT") stream += png.mid(at + 8, length);
    at += 12 + static_cast<qsizetype>(length);
  }
  const quint32 row = 1 + width * pixel_bytes;
  // qUncompress takes the zlib stream after the length of what it holds.
  QByteArray sized(4, '\0');
  for (int k = 0; k < 4; ++k) sized[k] = static_cast<char>((row * height) >> (24 - 8 * k));
  const QByteArray rows = qUncompress(sized + stream);
  std::vector<int> filters;
  for (quint32 r = 0; r < height && (r + 1) * row <= static_cast<quint32>(rows.size()); ++r)
    filters.push_back(static_cast<unsigned char>(rows[static_cast<qsizetype>(r * row)]));
  return filters;
}

// The picture of an image drawn in blocks repeats its rows: it is written
// with the Up filter alone (a repeated row becomes zeros). Every other
// picture, and every PNG file, keeps libpng's own choice of filters, so the
// PNG devices' files keep their bytes.
TEST_F(PgplotFiles, PicturesOfImagesInBlocksAreWrittenQuicklyAndNoOtherFileChanges) {
  ASSERT_EQ(draw_ramp("before.png/png", 121), 1);
  ASSERT_EQ(draw_ramp("blocks.svg/svg", 121), 1);
  ASSERT_EQ(draw_ramp("after.png/png", 121), 1);
  EXPECT_EQ(read_all("after.png"), read_all("before.png"));
  const std::vector<int> in_blocks = embedded_row_filters(read_all("blocks.svg"));
  ASSERT_GT(in_blocks.size(), 121u);  // more rows than cells
  EXPECT_EQ(std::set<int>(in_blocks.begin(), in_blocks.end()), std::set<int>{2});
  // 1000 cells across need no blocks: libpng chooses, and not Up alone.
  ASSERT_EQ(draw_ramp("cells.svg/svg", 1000), 1);
  const std::vector<int> as_given = embedded_row_filters(read_all("cells.svg"));
  ASSERT_FALSE(as_given.empty());
  EXPECT_NE(std::set<int>(as_given.begin(), as_given.end()), std::set<int>{2});
}

TEST_F(PgplotFiles, FailuresToOpenAreReportedAndLeaveEarlierFiles) {
  write_all("Map.gif", "earlier");
  testing::internal::CaptureStderr();
  EXPECT_NE(draw_small_plot("Map.gif/gif"), 1);
  EXPECT_NE(draw_small_plot("no/such/folder/Map.ps/ps"), 1);
  EXPECT_NE(draw_small_plot("Map.ps"), 1);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("%PGPLOT, Unrecognized device type: gif\n"), std::string::npos);
  EXPECT_NE(messages.find("%PGPLOT, Cannot open output file for PostScript plot: "
                          "no/such/folder/Map.ps: No such file or directory\n"),
            std::string::npos);
  EXPECT_NE(messages.find("%PGPLOT, No device type in device string: Map.ps\n"),
            std::string::npos);
  EXPECT_EQ(read_all("Map.gif"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.gif"});
}

TEST_F(PgplotFiles, EqualImageAndWedgeLimitsWarnAndStillGiveAFile) {
  testing::internal::CaptureStderr();
  ASSERT_EQ(pgbeg(0, "flat.ps/ps", 1, 1), 1);
  const float a[4] = {2, 2, 2, 2};
  const float tr[6] = {0, 1, 0, 0, 0, 1};
  pgwnad(1, 2, 1, 2);
  pgimag(a, 2, 2, 1, 2, 1, 2, 2, 2, tr);
  pgwedg("ri", 3, 4, 2, 2, " ");
  pgend();
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("%PGPLOT, PGIMAG: low and high values are equal"), std::string::npos);
  EXPECT_NE(messages.find("%PGPLOT, PGWEDG: low and high values are equal"), std::string::npos);
  EXPECT_TRUE(starts_with(read_all("flat.ps"), "%!PS-Adobe"));
}

// Equal limits: every cell in the low colour (black here), whatever its value.
TEST_F(PgplotFiles, EqualImageLimitsDrawEveryCellInTheLowColour) {
  testing::internal::CaptureStderr();
  ASSERT_EQ(pgbeg(0, "flat.png/png", 1, 1), 1);
  const float ramp[2] = {0, 1};
  pgctab(ramp, ramp, ramp, ramp, 2, 1, 0.5f);
  pgsvp(0, 1, 0, 1);
  pgwnad(0.5f, 4.5f, 0.5f, 1.5f);  // 4 cells of 200 x 200 pixels across the middle
  const float a[4] = {-2, -1.5f, -1, 3};
  const float tr[6] = {0, 1, 0, 0, 0, 1};
  pgimag(a, 4, 1, 1, 4, 1, 1, -2, -2, tr);
  pgend();
  testing::internal::GetCapturedStderr();
  const QImage image("flat.png");
  ASSERT_EQ(image.width(), 800);
  for (int cell = 0; cell < 4; ++cell)
    EXPECT_EQ(qGray(image.pixel(100 + 200 * cell, 300)), 0) << "cell of value " << a[cell];
}

// The distinct greys of `image`'s pixels whose centres lie in the rectangle
// x1..x2, y1..y2 of device units (PNG: one to a pixel, y upwards).
std::set<int> greys_within(const QImage& image, double x1, double x2, double y1, double y2) {
  std::set<int> greys;
  for (int c = 0; c < image.width(); ++c)
    for (int r = 0; r < image.height(); ++r) {
      const double x = c + 0.5, y = image.height() - r - 0.5;
      if (x > x1 && x < x2 && y > y1 && y < y2) greys.insert(qGray(image.pixel(c, r)));
    }
  return greys;
}

// Each pixel of a PNG image has the grey of one cell, with the cells' edges
// anywhere between pixels, and with cells finer than cairo takes (2^15 to a
// pixel): no pixel shows a value the image does not hold.
TEST_F(PgplotFiles, EveryPixelOfAPngImageHasTheGreyOfOneCell) {
  const float ramp[2] = {0, 1};
  {
    SCOPED_TRACE("4 x 3 cells, edges between pixels");
    ASSERT_EQ(pgbeg(0, "coarse.png/png", 1, 1), 1);
    pgctab(ramp, ramp, ramp, ramp, 2, 1, 0.5f);
    pgsvp(0, 1, 0, 1);
    pgwnad(0, 800, 0, 600);  // one world unit to a pixel
    std::vector<float> a(12);
    for (std::size_t k = 0; k < a.size(); ++k) a[k] = static_cast<float>(k);
    // Cells 150.3 x 130.7 pixels from (100.4, 50.2).
    const float tr[6] = {100.4f - 75.15f, 150.3f, 0, 50.2f - 65.35f, 0, 130.7f};
    pgimag(a.data(), 4, 3, 1, 4, 1, 3, 0, 11, tr);
    pgend();
    const QImage image("coarse.png");
    EXPECT_EQ(greys_within(image, 100.4, 100.4 + 4 * 150.3, 50.2, 50.2 + 3 * 130.7).size(), 12u);
  }
  {
    SCOPED_TRACE("2 x 40000 cells in a band one pixel high");
    ASSERT_EQ(pgbeg(0, "fine.png/png", 1, 1), 1);
    pgctab(ramp, ramp, ramp, ramp, 2, 1, 0.5f);
    pgsvp(0, 1, 0, 1);
    pgwnad(0, 800, 0, 600);
    std::vector<float> a(2 * 40000);
    for (std::size_t k = 0; k < a.size(); ++k) a[k] = static_cast<float>(k / 2 % 2);
    const float dy = 1.0f / 40000;
    const float tr[6] = {-100, 400, 0, 300 - 0.5f * dy, 0, dy};  // rows 300 to 301
    pgimag(a.data(), 2, 40000, 1, 2, 1, 40000, 0, 1, tr);
    pgend();
    const std::set<int> greys = greys_within(QImage("fine.png"), 100, 700, 300, 301);
    EXPECT_FALSE(greys.empty());
    for (const int grey : greys) {
      EXPECT_TRUE(grey == 0 || grey == 255) << grey;
    }
  }
}

// cairo takes no image with more than 2^15 cells to a device unit along an
// axis; giza's wedge beside a map 10^5 times longer than wide has its 400
// steps in such a sliver, and so has an image of 121 rows in the thin band.
TEST_F(PgplotFiles, ImagesInBandsTooThinForCairoAreDrawnAgainInMergedCells) {
  std::vector<float> cells(2 * 121);
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = static_cast<float>(k);
  const struct {
    std::string_view type, ending;
  } kinds[] = {{"ps", "%%EOF\n"},
               {"pdf", "%%EOF\n"},
               {"png", std::string_view("IEND\xAE\x42\x60\x82")},
               {"svg", "</svg>\n"}};
  for (const auto& kind : kinds) {
    for (const char* side : {"RI", "LI", "BI", "TI"}) {
      SCOPED_TRACE(std::string(kind.type) + " " + side);
      // A right or left wedge beside a wide map, a bottom or top one beside a tall map.
      const bool wide = side[0] == 'R' || side[0] == 'L';
      const float len = 1.0e5f;
      const std::string file = "thin." + std::string(kind.type);
      write_all(file, "earlier");
      testing::internal::CaptureStderr();
      ASSERT_EQ(pgbeg(0, file + "/" + std::string(kind.type), 1, 1), 1);
      pgsvp(0.12f, 0.83f, 0.12f, 0.88f);
      pgwnad(0, wide ? len : 1, 0, wide ? 1 : len);
      // 121 cells across the thin side, 2 along the long one.
      const float tr[6] = {wide ? -len : -1.0f / 120, wide ? len : 0, wide ? 0 : 1.0f / 120,
                           wide ? -1.0f / 120 : -len, wide ? 0 : len, wide ? 1.0f / 120 : 0};
      pgimag(cells.data(), wide ? 2 : 121, wide ? 121 : 2, 1, wide ? 2 : 121, 1,
             wide ? 121 : 2, 0, 241, tr);
      pgbox("bcnts", 0, 0, "bcnts", 0, 0);
      pgsch(0.8f);
      pgwedg(side, 3, 4, 0, 241, "value");
      pglab("x", "y", "title");
      pgend();
      // giza's report of the file it could not finish is held back. (On PNG the
      // first drawing, once cairo has failed, may still warn of a viewport.)
      EXPECT_EQ(testing::internal::GetCapturedStderr().find("ERROR"), std::string::npos);
      EXPECT_TRUE(ends_with(read_all(file), kind.ending));
    }
  }
  EXPECT_EQ(entries(), (Strings{"thin.pdf", "thin.png", "thin.ps", "thin.svg"}));
}

// giza prints notes of its own to standard output (a viewport it refuses,
// bare line feeds for one in a text); standard output carries only console
// records, so they become PGPLOT messages, and its warnings stay on standard
// error.
TEST_F(PgplotFiles, WhatGizaPrintsNeverReachesStandardOutput) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  ASSERT_EQ(pgbeg(0, "odd.ps/ps", 1, 1), 1);
  pgsvp(0.12f, 0.83f, 0.12f, 0.88f);
  pgwnad(0, INFINITY, 0, 1);
  pglab("two\nlines", "y", "title");
  pgend();
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NE(messages.find("%PGPLOT, giza_viewport: xmin -nan xmax -nan ymin 0.500000 ymax "
                          "0.500000\n"),
            std::string::npos);
  EXPECT_NE(messages.find("%giza - Warning - giza_set_viewport: "), std::string::npos);
  EXPECT_TRUE(starts_with(read_all("odd.ps"), "%!PS-Adobe"));
}

// While plots are drawn and their files closed, another thread's messages
// reach standard error, whole and in order.
TEST_F(PgplotFiles, OtherThreadsKeepStandardErrorWhilePlotsAreDrawn) {
  testing::internal::CaptureStderr();
  std::atomic<bool> drawing = true;
  int written = 0;
  std::thread other([&] {
    while (drawing) {
      std::fprintf(stderr, "message %d\n", written++);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  for (int k = 0; k < 10; ++k) draw_small_plot("plot.ps/ps");
  drawing = false;
  other.join();
  std::istringstream lines(testing::internal::GetCapturedStderr());
  int next = 0;
  for (std::string line; std::getline(lines, line);)
    if (line == "message " + std::to_string(next)) ++next;
  EXPECT_EQ(next, written);
}

// The second drawing of a plot giza could not finish goes into the same
// reserved temporary file: it is never removed and made again by name (with
// the default mode instead of a private one, the name free for a moment).
TEST_F(PgplotFiles, ASecondDrawingKeepsTheReservedTemporaryFile) {
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, ".", IN_CREATE | IN_DELETE | IN_MOVED_FROM), 0);
  // A map 10^5 times wider than high, 121 cells across: too thin for cairo.
  std::vector<float> cells(2 * 121);
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = static_cast<float>(k);
  const float len = 1.0e5f;
  const float tr[6] = {-len, len, 0, -1.0f / 120, 0, 1.0f / 120};
  testing::internal::CaptureStderr();
  ASSERT_EQ(pgbeg(0, "thin.png/png", 1, 1), 1);
  pgsvp(0.12f, 0.83f, 0.12f, 0.88f);
  pgwnad(0, len, 0, 1);
  pgimag(cells.data(), 2, 121, 1, 2, 1, 121, 0, 241, tr);
  pgwedg("RI", 3, 4, 0, 241, "value");
  pgend();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ends_with(read_all("thin.png"), std::string_view("IEND\xAE\x42\x60\x82")));
  Strings events;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      const std::string name = event->len > 0 ? event->name : "";
      const std::string what = starts_with(name, ".thin.png.") ? "temporary" : name;
      if (event->mask & IN_CREATE) events.push_back("create " + what);
      if (event->mask & IN_DELETE) events.push_back("delete " + what);
      if (event->mask & IN_MOVED_FROM) events.push_back("rename " + what);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(watch);
  EXPECT_EQ(events, (Strings{"create temporary", "rename temporary"}));
}

}  // namespace
}  // namespace mapps
