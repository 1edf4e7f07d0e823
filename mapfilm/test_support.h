#pragma once
// Films read back for tests: every frame decoded to RGB, through giflib or
// FFmpeg's libraries (the same libraries that write them).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <gif_lib.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "mapfilm/film.h"

namespace mapfilm::testing {

using Rgb = std::vector<std::uint8_t>;

struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<Rgb> frames;
  std::vector<int> delays;  // GIF only, hundredths
  bool loops = false;       // GIF only
};

inline Decoded read_gif(const std::string& path) {
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

inline Decoded read_video(const std::string& path) {
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

// Either kind, by the name's ending.
inline Decoded read_film(const std::string& path) {
  return kind_of(path) == Kind::kGif ? read_gif(path) : read_video(path);
}

}  // namespace mapfilm::testing
