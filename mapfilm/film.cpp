#include "mapfilm/film.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <gif_lib.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include "rtl/fatal.h"
#include "rtl/pending_files.h"
#include "rtl/safe_file.h"

namespace mapfilm {
namespace {

bool ends_with(std::string_view s, std::string_view end) {
  if (s.size() < end.size()) return false;
  for (std::size_t k = 0; k < end.size(); ++k) {
    const char c = s[s.size() - end.size() + k];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != end[k]) return false;
  }
  return true;
}

std::string av_text(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

// A picture as the caller gives it: rows of three bytes a pixel (red, green,
// blue) or of 0xRRGGBB values.
struct Pixels {
  const std::uint8_t* data;
  std::int64_t row_bytes;
  bool packed;  // 0xRRGGBB values

  const std::uint8_t* row(int y) const { return data + y * row_bytes; }
  // Pixel x of a row as 0xRRGGBB.
  std::uint32_t at(const std::uint8_t* row, int x) const {
    if (packed) return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFFu;
    const std::uint8_t* p = row + 3 * x;
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
  }
};

namespace {
}  // namespace

std::optional<Kind> kind_of(std::string_view path) {
  if (ends_with(path, ".mp4")) return Kind::kMp4;
  if (ends_with(path, ".gif")) return Kind::kGif;
  if (ends_with(path, ".webm")) return Kind::kWebm;
  return std::nullopt;
}

// One film's writing: the temporary file, and the encoder of its kind. Every
// call holds the mutex, so that the program's end may close the film from
// another thread.
class Film::Writer {
 public:
  Writer(const Film& film) : film_(film), pending_(film.path()) {
    fd_ = pending_.take_descriptor();
  }
  virtual ~Writer() {
    if (fd_ >= 0) ::close(fd_);
  }
  virtual void add(const Pixels& picture) = 0;
  virtual void finish() = 0;

  void commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail_errno("cannot close", errno);
    pending_.commit();
  }

  std::recursive_timed_mutex mutex;
  bool failed = false;     // a failure was raised: nothing more is written
  bool committed = false;  // closed at the program's end

 protected:
  // Writes all bytes to the temporary file; false with errno kept on failure.
  bool write_all(const std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
      const ssize_t w = ::write(fd_, bytes, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        return false;
      }
      bytes += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  }

  [[noreturn]] void fail_errno(std::string_view step, int error) {
    failed = true;
    rtl::file_error(film_.path(), step, error);
  }
  [[noreturn]] void fail(std::string_view reason) {
    failed = true;
    rtl::raise_fatal(rtl::FatalError("File " + film_.path() + ": " + std::string(reason), 0,
                                     film_.path()));
  }

  const Film& film_;
  rtl::PendingFile pending_;
  int fd_ = -1;
  int error_ = 0;  // errno of the last failed write
};

namespace {

// --- GIF ---

class GifWriter final : public Film::Writer {
 public:
  explicit GifWriter(const Film& film) : Writer(film) {
    int error = 0;
    gif_ = EGifOpen(this, &GifWriter::output, &error);
    if (gif_ == nullptr) fail(std::string("cannot write: ") + GifErrorString(error));
    EGifSetGifVersion(gif_, true);
    check(EGifPutScreenDesc(gif_, film.width(), film.height(), 8, 0, nullptr));
    // Loops without end: the application extension NETSCAPE2.0, count 0.
    static const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    check(EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE));
    check(EGifPutExtensionBlock(gif_, sizeof application, application));
    check(EGifPutExtensionBlock(gif_, sizeof loop, loop));
    check(EGifPutExtensionTrailer(gif_));
    const auto n = static_cast<std::size_t>(film.width()) * static_cast<std::size_t>(film.height());
    indices_.resize(n);
  }

  ~GifWriter() override {
    if (gif_ != nullptr) {
      int error = 0;
      // Only frees it: the trailer byte may be written, the file is removed anyway.
      failed = true;
      EGifCloseFile(gif_, &error);
    }
  }

  void add(const Pixels& picture) override {
    const int w = film_.width();
    const int h = film_.height();
    std::vector<GifColorType> colours;
    if (!exact_colours(picture, w, h, colours)) reduced_colours(picture, w, h, colours);
    // The delay of this frame: frame k starts at round(100 k / fps) hundredths.
    const auto k = static_cast<double>(frame_);
    const long start = std::lround(100 * k / film_.fps());
    const long next = std::lround(100 * (k + 1) / film_.fps());
    ++frame_;
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = static_cast<int>(std::clamp(next - start, 0L, 65535L));
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType control[4];
    const std::size_t control_size = EGifGCBToExtension(&gcb, control);
    check(EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(control_size), control));
    int size = 2;
    while (size < static_cast<int>(colours.size())) size *= 2;
    colours.resize(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(size, colours.data());
    if (map == nullptr) rtl::out_of_memory();
    const int put = EGifPutImageDesc(gif_, 0, 0, w, h, false, map);
    GifFreeMapObject(map);
    check(put);
    for (int y = 0; y < h; ++y)
      check(EGifPutLine(gif_, indices_.data() + static_cast<std::size_t>(y) * w, w));
  }

  void finish() override {
    int error = 0;
    GifFileType* gif = gif_;
    gif_ = nullptr;
    if (EGifCloseFile(gif, &error) != GIF_OK) report(error);
  }

 private:
  static int output(GifFileType* gif, const GifByteType* bytes, int n) {
    auto* self = static_cast<GifWriter*>(gif->UserData);
    if (self->failed || !self->write_all(bytes, static_cast<std::size_t>(n))) return 0;
    return n;
  }

  void check(int result) {
    if (result != GIF_OK) report(gif_->Error);
  }
  [[noreturn]] void report(int gif_error) {
    if (error_ != 0) fail_errno("cannot write", error_);
    fail(std::string("cannot write: ") + GifErrorString(gif_error));
  }

  // The picture's own colours when there are at most 256, each pixel's index
  // in indices_; false for more.
  bool exact_colours(const Pixels& picture, int w, int h,
                     std::vector<GifColorType>& colours) {
    // Open addressing over 512 slots: never more than half full.
    constexpr std::uint32_t kSlots = 512;
    constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    std::uint32_t keys[kSlots];
    GifByteType values[kSlots];
    std::fill(std::begin(keys), std::end(keys), kEmpty);
    std::uint32_t last = kEmpty;
    GifByteType last_index = 0;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = picture.row(y);
      GifByteType* out = indices_.data() + static_cast<std::size_t>(y) * w;
      for (int x = 0; x < w; ++x) {
        const std::uint32_t c = picture.at(row, x);
        if (c != last) {
          std::uint32_t s = (c * 2654435761u) >> 23;
          while (keys[s] != kEmpty && keys[s] != c) s = (s + 1) & (kSlots - 1);
          if (keys[s] == kEmpty) {
            if (colours.size() == 256) return false;
            keys[s] = c;
            values[s] = static_cast<GifByteType>(colours.size());
            colours.push_back(GifColorType{static_cast<GifByteType>(c >> 16),
                                           static_cast<GifByteType>(c >> 8),
                                           static_cast<GifByteType>(c)});
          }
          last = c;
          last_index = values[s];
        }
        out[x] = last_index;
      }
    }
    return true;
  }

  // More than 256 colours: giflib's median cut to 256.
  void reduced_colours(const Pixels& picture, int w, int h,
                       std::vector<GifColorType>& colours) {
    const auto n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<GifByteType> red(n), green(n), blue(n);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = picture.row(y);
      for (int x = 0; x < w; ++x) {
        const std::size_t k = static_cast<std::size_t>(y) * w + x;
        const std::uint32_t c = picture.at(row, x);
        red[k] = static_cast<GifByteType>(c >> 16);
        green[k] = static_cast<GifByteType>(c >> 8);
        blue[k] = static_cast<GifByteType>(c);
      }
    }
    int size = 256;
    colours.assign(256, GifColorType{0, 0, 0});
    if (GifQuantizeBuffer(static_cast<unsigned>(w), static_cast<unsigned>(h), &size, red.data(),
                          green.data(), blue.data(), indices_.data(), colours.data()) != GIF_OK)
      rtl::out_of_memory();
    colours.resize(static_cast<std::size_t>(std::max(size, 1)));
  }

  GifFileType* gif_ = nullptr;
  std::vector<GifByteType> indices_;
  std::int64_t frame_ = 0;
};

// --- MP4 and WebM, through libavformat and libavcodec ---

class AvWriter final : public Film::Writer {
 public:
  AvWriter(const Film& film, Kind kind)
      : Writer(film), even_width_(film.width() + (film.width() & 1)),
        even_height_(film.height() + (film.height() & 1)) {
    // Standard error carries the program's own messages: every failure of
    // the libraries is reported here, their notes are not wanted.
    av_log_set_level(AV_LOG_QUIET);
    const bool webm = kind == Kind::kWebm;
    const AVOutputFormat* format = av_guess_format(webm ? "webm" : "mp4", nullptr, nullptr);
    const AVCodec* codec = webm ? avcodec_find_encoder_by_name("libvpx-vp9")
                                : avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) codec = avcodec_find_encoder(webm ? AV_CODEC_ID_VP9 : AV_CODEC_ID_H264);
    if (format == nullptr || codec == nullptr)
      fail(webm ? "cannot write: no VP9 encoder in this FFmpeg" : "cannot write: no H.264 encoder in this FFmpeg");

    if (avformat_alloc_output_context2(&out_, format, nullptr, nullptr) < 0 || out_ == nullptr)
      rtl::out_of_memory();
    buffer_ = static_cast<unsigned char*>(av_malloc(kBufferSize));
    io_ = avio_alloc_context(buffer_, kBufferSize, 1, this, nullptr, &AvWriter::write_packet,
                             &AvWriter::seek);
    if (buffer_ == nullptr || io_ == nullptr) rtl::out_of_memory();
    out_->pb = io_;
    out_->flags |= AVFMT_FLAG_CUSTOM_IO;

    stream_ = avformat_new_stream(out_, nullptr);
    encoder_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (stream_ == nullptr || encoder_ == nullptr || frame_ == nullptr || packet_ == nullptr)
      rtl::out_of_memory();
    const AVRational rate = av_d2q(film.fps(), 100000);
    encoder_->width = even_width_;
    encoder_->height = even_height_;
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->time_base = av_inv_q(rate);
    encoder_->framerate = rate;
    encoder_->gop_size = 250;
    encoder_->color_range = AVCOL_RANGE_MPEG;
    encoder_->colorspace = AVCOL_SPC_SMPTE170M;
    encoder_->color_primaries = AVCOL_PRI_SMPTE170M;
    encoder_->color_trc = AVCOL_TRC_SMPTE170M;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (webm) {
      av_dict_set(&options, "deadline", "realtime", 0);
      av_dict_set(&options, "cpu-used", "8", 0);
      av_dict_set(&options, "crf", "24", 0);
      av_dict_set(&options, "b", "0", 0);
      av_dict_set(&options, "row-mt", "1", 0);
    } else {
      // The fastest preset (an animation is recorded while it runs, on a
      // machine the program shares), at a quality that keeps a map's cells
      // and texts within a few grey levels; Constrained Baseline, which
      // every player takes.
      av_dict_set(&options, "preset", "ultrafast", 0);
      av_dict_set(&options, "crf", "16", 0);
    }
    const int opened = avcodec_open2(encoder_, codec, &options);
    av_dict_free(&options);
    if (opened < 0) fail("cannot write: encoder: " + av_text(opened));
    if (avcodec_parameters_from_context(stream_->codecpar, encoder_) < 0) rtl::out_of_memory();
    stream_->time_base = encoder_->time_base;
    stream_->avg_frame_rate = rate;

    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = even_width_;
    frame_->height = even_height_;
    if (av_frame_get_buffer(frame_, 0) < 0) rtl::out_of_memory();
    const int header = avformat_write_header(out_, nullptr);
    if (header < 0) report("cannot write", header);
  }

  ~AvWriter() override {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&encoder_);
    if (io_ != nullptr) {
      av_freep(&io_->buffer);
      avio_context_free(&io_);
    } else {
      av_free(buffer_);
    }
    if (out_ != nullptr) avformat_free_context(out_);
  }

  void add(const Pixels& picture) override {
    const int made = av_frame_make_writable(frame_);
    if (made < 0) report("cannot write", made);
    to_yuv420p(picture);
    frame_->pts = next_pts_++;
    encode(frame_);
  }

  void finish() override {
    encode(nullptr);
    const int trailer = av_write_trailer(out_);
    if (trailer < 0) report("cannot write", trailer);
    avio_flush(io_);
    if (io_->error < 0) report("cannot write", io_->error);
  }

 private:
  static constexpr int kBufferSize = 1 << 16;

  void encode(AVFrame* frame) {
    int sent = avcodec_send_frame(encoder_, frame);
    if (sent < 0) report("cannot encode", sent);
    for (;;) {
      const int got = avcodec_receive_packet(encoder_, packet_);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      if (got < 0) report("cannot encode", got);
      av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      const int written = av_interleaved_write_frame(out_, packet_);
      if (written < 0) report("cannot write", written);
    }
  }

  [[noreturn]] void report(std::string_view step, int code) {
    if (error_ != 0) fail_errno("cannot write", error_);
    fail(std::string(step) + ": " + av_text(code));
  }

  // The bytes are not const in the callback type of libavformat before 61.
  static int write_packet(void* opaque, std::uint8_t* bytes, int n) {
    auto* self = static_cast<AvWriter*>(opaque);
    if (!self->write_all(bytes, static_cast<std::size_t>(n))) return AVERROR(self->error_);
    return n;
  }
  static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<AvWriter*>(opaque);
    if (whence == AVSEEK_SIZE) {
      struct stat st {};
      return fstat(self->fd_, &st) == 0 ? st.st_size : AVERROR(errno);
    }
    const off_t at = lseek(self->fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
  }

  // BT.601 in the limited range (16 .. 235), as players take yuv420p by
  // default and as swscale converts: Y of each pixel, U and V of the mean of
  // each 2 x 2 block. The even size repeats the last column and row.
  void to_yuv420p(const Pixels& picture) {
    const int w = film_.width();
    const int h = film_.height();
    for (int y = 0; y < even_height_; y += 2) {
      const std::uint8_t* rows[2] = {picture.row(std::min(y, h - 1)), picture.row(std::min(y + 1, h - 1))};
      std::uint8_t* luma[2] = {frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0],
                               frame_->data[0] + static_cast<std::ptrdiff_t>(y + 1) * frame_->linesize[0]};
      std::uint8_t* u = frame_->data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame_->linesize[1];
      std::uint8_t* v = frame_->data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame_->linesize[2];
      for (int x = 0; x < even_width_; x += 2) {
        int r4 = 0, g4 = 0, b4 = 0;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) {
            const std::uint32_t c = picture.at(rows[dy], std::min(x + dx, w - 1));
            const int r = static_cast<int>(c >> 16), g = static_cast<int>(c >> 8 & 0xFF),
                      b = static_cast<int>(c & 0xFF);
            luma[dy][x + dx] = static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
            r4 += r, g4 += g, b4 += b;
          }
        u[x / 2] = static_cast<std::uint8_t>(((-38 * r4 - 74 * g4 + 112 * b4 + 512) >> 10) + 128);
        v[x / 2] = static_cast<std::uint8_t>(((112 * r4 - 94 * g4 - 18 * b4 + 512) >> 10) + 128);
      }
    }
  }

  int even_width_;
  int even_height_;
  AVFormatContext* out_ = nullptr;
  unsigned char* buffer_ = nullptr;
  AVIOContext* io_ = nullptr;
  AVStream* stream_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::int64_t next_pts_ = 0;
};

}  // namespace

Film::Film(std::string path, double fps, int width, int height)
    : path_(std::move(path)), width_(width), height_(height), fps_(fps) {
  rtl::refuse_nul_bytes(path_, "File name");
  const std::optional<Kind> kind = kind_of(path_);
  if (!kind)
    rtl::raise_fatal(rtl::FatalError(
        "File " + path_ + ": cannot write: a film's name ends in .mp4, .gif or .webm", 0, path_));
  kind_ = *kind;
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
    rtl::fatal_error("Film " + path_ + ": width and height must be 1 .. 16384 each, not " +
                     std::to_string(width) + " x " + std::to_string(height));
  if (!(fps >= kMinFps && fps <= kMaxFps))
    rtl::fatal_error("Film " + path_ + ": fps must be 0.01 .. 1000, not " + std::to_string(fps));
  if (kind_ == Kind::kGif)
    writer_ = std::make_unique<GifWriter>(*this);
  else
    writer_ = std::make_unique<AvWriter>(*this, kind_);
  ending_ = std::make_unique<rtl::EndingWork>([this] { close_at_end(); });
}

Film::~Film() {
  ending_.reset();  // first: the program's end no longer closes it
  writer_.reset();
}

void Film::add_rgb(const std::uint8_t* rgb, std::int64_t row_bytes) {
  add(Pixels{rgb, row_bytes, false});
}

void Film::add_pixels(const std::uint32_t* pixels) {
  add(Pixels{reinterpret_cast<const std::uint8_t*>(pixels),
             static_cast<std::int64_t>(width_) * 4, true});
}

void Film::add(const Pixels& picture) {
  if (writer_ == nullptr) rtl::fatal_error("Film " + path_ + ": closed, takes no more pictures");
  const std::lock_guard<std::recursive_timed_mutex> lock(writer_->mutex);
  if (writer_->failed) rtl::fatal_error("Film " + path_ + ": not written after an error");
  if (writer_->committed) return;  // the program is ending
  try {
    writer_->add(picture);
  } catch (...) {
    writer_->failed = true;
    throw;
  }
  ++frames_;
}

void Film::close() {
  if (writer_ == nullptr) return;
  {
    const std::lock_guard<std::recursive_timed_mutex> lock(writer_->mutex);
    if (writer_->failed) rtl::fatal_error("Film " + path_ + ": not written after an error");
    if (!writer_->committed) try {
      writer_->finish();
      writer_->commit();
    } catch (...) {
      writer_->failed = true;
      throw;
    }
  }
  ending_.reset();
  writer_.reset();
}

void Film::close_at_end() {
  // Another thread may be adding a picture: it is waited for a while; a
  // writer that does not come back (stopped for good) leaves the film unfinished.
  if (writer_ == nullptr) return;
  std::unique_lock<std::recursive_timed_mutex> lock(writer_->mutex, std::defer_lock);
  if (!lock.try_lock_for(std::chrono::seconds(2))) return;
  if (writer_->failed || writer_->committed) return;
  try {
    writer_->finish();
    writer_->commit();
    writer_->committed = true;
  } catch (...) {
    writer_->failed = true;
    throw;
  }
}

}  // namespace mapfilm
