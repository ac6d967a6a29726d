// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF, WebP and PNG parts of one render put together: the frames of every part are
// copied as they are stored, in order, into one file. Only what ties a frame to the file it came
// from changes: a GIF part's palette goes with each of its frames, an APNG frame gets its place
// in the new sequence, and the first frame of a later WebP part is made independent of the
// frame before it (stored whole when the part stored only its visible rectangle).
#include <gif_lib.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>
#include <memory>

#include "base/c_locale.h"
#include "imageio/gif_memory.h"
#include "imageio/png_writer.h"
#include "output/animation_join.h"
#include "output/part_tag.h"

namespace pelorix {
namespace {

// ---- GIF ----

struct GifCloser {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using GifReader = std::unique_ptr<GifFileType, GifCloser>;

std::string gifText(int code) {
  const char* text = GifErrorString(code);
  return text ? text : "GIF error";
}

// The whole file read; "" or why not.
std::string slurp(const std::string& bytes, GifMemoryReader& reader, GifReader& gif) {
  reader = {bytes, 0};
  int code = 0;
  gif.reset(DGifOpen(&reader, readGifMemory, &code));
  if (!gif) return gifText(code);
  if (DGifSlurp(gif.get()) == GIF_ERROR) return gifText(gif->Error);
  if (gif->ImageCount == 0) return "no frames";
  return {};
}

// The comment of a GIF: its first comment block and the blocks that continue it.
std::string gifComment(const GifFileType& gif) {
  std::string text;
  const auto scan = [&](const ExtensionBlock* blocks, int count) {
    for (int i = 0; i < count && text.empty(); ++i) {
      if (blocks[i].Function != COMMENT_EXT_FUNC_CODE) continue;
      text.assign(reinterpret_cast<const char*>(blocks[i].Bytes),
                  static_cast<size_t>(blocks[i].ByteCount));
      for (int j = i + 1; j < count && blocks[j].Function == CONTINUE_EXT_FUNC_CODE; ++j) {
        text.append(reinterpret_cast<const char*>(blocks[j].Bytes),
                    static_cast<size_t>(blocks[j].ByteCount));
      }
    }
  };
  scan(gif.ExtensionBlocks, gif.ExtensionBlockCount);
  for (int i = 0; i < gif.ImageCount && text.empty(); ++i)
    scan(gif.SavedImages[i].ExtensionBlocks, gif.SavedImages[i].ExtensionBlockCount);
  return text;
}

std::string readGif(AnimationPart& part) {
  GifMemoryReader reader;
  GifReader gif;
  if (std::string failed = slurp(part.bytes, reader, gif); !failed.empty()) return failed;
  part.width = gif->SWidth;
  part.height = gif->SHeight;
  part.frames = gif->ImageCount;
  part.comment = gifComment(*gif);
  return {};
}

// The loop block of the first part (none: played once).
bool putLoop(GifFileType* out, const GifFileType& first) {
  const SavedImage& image = first.SavedImages[0];
  for (int i = 0; i + 1 < image.ExtensionBlockCount; ++i) {
    const ExtensionBlock& block = image.ExtensionBlocks[i];
    if (block.Function != APPLICATION_EXT_FUNC_CODE || block.ByteCount != 11 ||
        std::memcmp(block.Bytes, "NETSCAPE2.0", 11) != 0) {
      continue;
    }
    const ExtensionBlock& data = image.ExtensionBlocks[i + 1];
    return EGifPutExtensionLeader(out, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
           EGifPutExtensionBlock(out, 11, block.Bytes) != GIF_ERROR &&
           EGifPutExtensionBlock(out, data.ByteCount, data.Bytes) != GIF_ERROR &&
           EGifPutExtensionTrailer(out) != GIF_ERROR;
  }
  return true;
}

std::string joinGif(const std::vector<AnimationPart>& parts, const std::string& comment,
                    std::vector<uint8_t>& out) {
  int code = 0;
  GifFileType* gif = EGifOpen(&out, writeGifMemory, &code);
  if (!gif) return gifText(code);
  std::string failure;
  const auto failed = [&] {
    failure = gifText(gif->Error);
    return false;
  };
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, parts[0].width, parts[0].height, 8, 0, nullptr) != GIF_ERROR ||
            failed();
  for (size_t p = 0; ok && p < parts.size(); ++p) {
    GifMemoryReader reader;
    GifReader part;
    if (std::string read = slurp(parts[p].bytes, reader, part); !read.empty()) {
      failure = parts[p].path + ": " + read;
      ok = false;
      break;
    }
    if (p == 0) {
      ok = (putLoop(gif, *part) && EGifPutComment(gif, comment.c_str()) != GIF_ERROR) || failed();
    }
    for (int i = 0; ok && i < part->ImageCount; ++i) {
      const SavedImage& image = part->SavedImages[i];
      for (int e = 0; ok && e < image.ExtensionBlockCount; ++e) {
        const ExtensionBlock& block = image.ExtensionBlocks[e];
        if (block.Function != GRAPHICS_EXT_FUNC_CODE) continue;
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, block.ByteCount, block.Bytes) !=
                 GIF_ERROR ||
             failed();
      }
      // A frame drawn with the part's palette takes it along.
      const GifImageDesc& desc = image.ImageDesc;
      const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : part->SColorMap;
      ok = ok && (EGifPutImageDesc(gif, desc.Left, desc.Top, desc.Width, desc.Height,
                                   desc.Interlace, map) != GIF_ERROR ||
                  failed());
      ok = ok &&
           (EGifPutLine(gif, image.RasterBits, desc.Width * desc.Height) != GIF_ERROR || failed());
    }
  }
  if (EGifCloseFile(gif, &code) == GIF_ERROR && failure.empty()) failure = gifText(code);
  return failure;
}

// ---- WebP ----

struct DemuxDeleter {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using Demuxer = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

Demuxer demux(const std::string& bytes) {
  const WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
  return Demuxer(WebPDemux(&data));
}

std::string readWebp(AnimationPart& part) {
  Demuxer file = demux(part.bytes);
  if (!file) return "not a WebP file";
  part.width = static_cast<int>(WebPDemuxGetI(file.get(), WEBP_FF_CANVAS_WIDTH));
  part.height = static_cast<int>(WebPDemuxGetI(file.get(), WEBP_FF_CANVAS_HEIGHT));
  // No encoder writes a bigger canvas, and joining may draw a whole frame of it.
  if (part.width > WEBP_MAX_DIMENSION || part.height > WEBP_MAX_DIMENSION) {
    return formatC("a canvas of %dx%d is larger than WebP's %d pixels a side", part.width,
                   part.height, WEBP_MAX_DIMENSION);
  }
  // The encoder merges frames that look the same: a WebP holds as many as differ. A part that
  // is cut short does not demux at all.
  part.frames = -1;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(file.get(), kWebpPartChunk, 1, &chunk)) {
    part.comment.assign(reinterpret_cast<const char*>(chunk.chunk.bytes), chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return {};
}

void putLittle(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>((value >> (8 * i)) & 0xFF));
}

// A frame's chunks (VP8 or VP8L, after ALPH when the frame has alpha) as the still WebP file the
// muxer takes.
void stillWebp(const WebPIterator& frame, std::vector<uint8_t>& file) {
  const WebPData& chunks = frame.fragment;
  const bool alpha = chunks.size >= 4 && std::memcmp(chunks.bytes, "ALPH", 4) == 0;
  file.clear();
  file.insert(file.end(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'});
  if (alpha) {
    file.insert(file.end(), {'V', 'P', '8', 'X'});
    putLittle(file, 10, 4);
    putLittle(file, 0x10, 4);  // alpha; the rest reserved
    putLittle(file, static_cast<uint32_t>(frame.width - 1), 3);
    putLittle(file, static_cast<uint32_t>(frame.height - 1), 3);
  }
  file.insert(file.end(), chunks.bytes, chunks.bytes + chunks.size);
  const uint32_t size = static_cast<uint32_t>(file.size() - 8);
  for (int i = 0; i < 4; ++i)
    file[4 + static_cast<size_t>(i)] = static_cast<uint8_t>((size >> (8 * i)) & 0xFF);
}

// The first frame of a part as the whole canvas shows it, stored losslessly.
std::string wholeFirstFrame(const std::string& bytes, std::vector<uint8_t>& webp) {
  const WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return "WebP: version mismatch";
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  if (!decoder) return "the first frame cannot be decoded";
  WebPAnimInfo info;
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  std::string failure;
  if (!WebPAnimDecoderGetInfo(decoder, &info) ||
      !WebPAnimDecoderGetNext(decoder, &canvas, &timestamp)) {
    failure = "the first frame cannot be decoded";
  } else {
    // Lossless and exact: even the colour under transparent pixels stays as it was.
    WebPConfig config;
    WebPPicture picture;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    const bool ready = WebPConfigInit(&config) && WebPPictureInit(&picture);
    config.lossless = 1;
    config.exact = 1;
    config.method = 0;
    picture.use_argb = 1;
    picture.width = static_cast<int>(info.canvas_width);
    picture.height = static_cast<int>(info.canvas_height);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!ready || !WebPPictureImportRGBA(&picture, canvas, picture.width * 4) ||
        !WebPEncode(&config, &picture)) {
      failure = "the first frame cannot be stored whole";
    } else {
      webp.assign(writer.mem, writer.mem + writer.size);
    }
    WebPPictureFree(&picture);
    WebPMemoryWriterClear(&writer);
  }
  WebPAnimDecoderDelete(decoder);
  return failure;
}

std::string joinWebp(const std::vector<AnimationPart>& parts, const std::string& comment,
                     std::vector<uint8_t>& out) {
  std::unique_ptr<WebPMux, decltype(&WebPMuxDelete)> mux(WebPMuxNew(), WebPMuxDelete);
  if (!mux) return "WebP: no memory";
  WebPMuxAnimParams params{};
  std::vector<uint8_t> whole;
  for (size_t p = 0; p < parts.size(); ++p) {
    Demuxer file = demux(parts[p].bytes);
    if (!file) return parts[p].path + ": not a WebP file";
    if (p == 0) {
      params.bgcolor = WebPDemuxGetI(file.get(), WEBP_FF_BACKGROUND_COLOR);
      params.loop_count = static_cast<int>(WebPDemuxGetI(file.get(), WEBP_FF_LOOP_COUNT));
    }
    WebPIterator frame;
    if (!WebPDemuxGetFrame(file.get(), 1, &frame)) return parts[p].path + ": no frames";
    std::vector<uint8_t> still;
    do {
      WebPMuxFrameInfo info{};
      stillWebp(frame, still);
      info.bitstream = {still.data(), still.size()};
      info.x_offset = frame.x_offset;
      info.y_offset = frame.y_offset;
      info.duration = frame.duration;
      info.id = WEBP_CHUNK_ANMF;
      info.dispose_method = frame.dispose_method;
      info.blend_method = frame.blend_method;
      // A later part starts on the frame before it: its first frame must not show through.
      if (p > 0 && frame.frame_num == 1) {
        info.blend_method = WEBP_MUX_NO_BLEND;
        if (frame.width != parts[p].width || frame.height != parts[p].height) {
          if (std::string failed = wholeFirstFrame(parts[p].bytes, whole); !failed.empty()) {
            WebPDemuxReleaseIterator(&frame);
            return parts[p].path + ": " + failed;
          }
          info.bitstream = {whole.data(), whole.size()};
          info.x_offset = 0;
          info.y_offset = 0;
        }
      }
      if (WebPMuxPushFrame(mux.get(), &info, 1) != WEBP_MUX_OK) {
        WebPDemuxReleaseIterator(&frame);
        return parts[p].path + ": a frame cannot be copied";
      }
    } while (WebPDemuxNextFrame(&frame));
    WebPDemuxReleaseIterator(&frame);
  }
  const WebPData chunk{reinterpret_cast<const uint8_t*>(comment.data()), comment.size()};
  WebPData assembled;
  WebPDataInit(&assembled);
  if (WebPMuxSetCanvasSize(mux.get(), parts[0].width, parts[0].height) != WEBP_MUX_OK ||
      WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK ||
      WebPMuxSetChunk(mux.get(), kWebpPartChunk, &chunk, 1) != WEBP_MUX_OK ||
      WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
    return "WebP: the joined file cannot be made";
  }
  out.assign(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return {};
}

// ---- APNG ----

struct PngChunk {
  std::string type;
  std::string_view data;
};

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

uint32_t big32(const char* at) {
  return readBig32(reinterpret_cast<const uint8_t*>(at));
}

// The chunks of a PNG file, or why it is not one (the CRCs are the next reader's check).
std::string pngChunks(const std::string& bytes, std::vector<PngChunk>& chunks) {
  if (bytes.compare(0, kPngSignature.size(), kPngSignature) != 0) return "not a PNG file";
  size_t at = kPngSignature.size();
  while (at + 12 <= bytes.size()) {
    const uint32_t length = big32(bytes.data() + at);
    if (length > bytes.size() - at - 12) return "truncated";
    chunks.push_back({bytes.substr(at + 4, 4), std::string_view(bytes).substr(at + 8, length)});
    at += 12 + length;
    if (chunks.back().type == "IEND") return {};
  }
  return "truncated";
}

std::string readApng(AnimationPart& part) {
  std::vector<PngChunk> chunks;
  if (std::string failed = pngChunks(part.bytes, chunks); !failed.empty()) return failed;
  if (chunks.empty() || chunks[0].type != "IHDR" || chunks[0].data.size() != 13) {
    return "not a PNG file";
  }
  part.width = static_cast<int>(big32(chunks[0].data.data()));
  part.height = static_cast<int>(big32(chunks[0].data.data() + 4));
  part.streams = std::string(chunks[0].data);  // depth, colour type, ...: one decoder for all
  int frames = 0;
  bool animated = false;
  for (const PngChunk& chunk : chunks) {
    animated = animated || chunk.type == "acTL";
    if (chunk.type == "fcTL") ++frames;
    const std::string_view keyword(kPngPartKeyword, sizeof kPngPartKeyword);
    if (chunk.type == "iTXt" && chunk.data.substr(0, keyword.size()) == keyword) {
      // keyword, NUL, compression flag and method, language and translated keyword (empty)
      const size_t text = keyword.size() + 4;
      if (chunk.data.size() >= text) part.comment = std::string(chunk.data.substr(text));
    }
  }
  if (!animated) return "not an animated PNG";
  part.frames = frames;
  return {};
}

void putChunk(std::vector<uint8_t>& out, const char* type, std::string_view data) {
  appendPngChunk(out, type, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

// A chunk whose data starts with a 32-bit number (a sequence number, a frame count): `number`,
// then `rest`.
void putNumbered(std::vector<uint8_t>& out, const char* type, uint32_t number,
                 std::string_view rest) {
  std::vector<uint8_t> data;
  putBig32(data, number);
  data.insert(data.end(), rest.begin(), rest.end());
  appendPngChunk(out, type, data.data(), data.size());
}

std::string joinApng(const std::vector<AnimationPart>& parts, const std::string& comment,
                     int frames, std::vector<uint8_t>& out) {
  out.assign(kPngSignature.begin(), kPngSignature.end());
  uint32_t sequence = 0;
  for (size_t p = 0; p < parts.size(); ++p) {
    std::vector<PngChunk> chunks;
    if (std::string failed = pngChunks(parts[p].bytes, chunks); !failed.empty()) {
      return parts[p].path + ": " + failed;
    }
    for (const PngChunk& chunk : chunks) {
      const std::string& type = chunk.type;
      if (p == 0 && type == "IHDR") {
        putChunk(out, "IHDR", chunk.data);
      } else if (p == 0 && type == "acTL" && chunk.data.size() == 8) {
        // The frame count of the whole; how often it plays from the first part.
        putNumbered(out, "acTL", static_cast<uint32_t>(frames), chunk.data.substr(4));
        appendPartText(out, comment);
      } else if ((type == "fcTL" || type == "fdAT") && chunk.data.size() >= 4) {
        putNumbered(out, type.c_str(), sequence++, chunk.data.substr(4));
      } else if (type == "IDAT" && p == 0) {
        putChunk(out, "IDAT", chunk.data);
      } else if (type == "IDAT") {
        // A later part's first frame is one frame among the others.
        putNumbered(out, "fdAT", sequence++, chunk.data);
      }
    }
  }
  putChunk(out, "IEND", {});
  return {};
}

}  // namespace

std::string readGifPart(AnimationPart& part) {
  return readGif(part);
}
std::string readWebpPart(AnimationPart& part) {
  return readWebp(part);
}
std::string readApngPart(AnimationPart& part) {
  return readApng(part);
}
std::string joinGifParts(const std::vector<AnimationPart>& parts, const std::string& comment, int,
                         std::vector<uint8_t>& out) {
  return joinGif(parts, comment, out);
}
std::string joinWebpParts(const std::vector<AnimationPart>& parts, const std::string& comment, int,
                          std::vector<uint8_t>& out) {
  return joinWebp(parts, comment, out);
}
std::string joinApngParts(const std::vector<AnimationPart>& parts, const std::string& comment,
                          int frames, std::vector<uint8_t>& out) {
  return joinApng(parts, comment, frames, out);
}

}  // namespace pelorix
