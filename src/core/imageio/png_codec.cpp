// SPDX-License-Identifier: GPL-3.0-or-later
// PNG through libpng for reading; the writer frames its own chunks around a deflate stream of
// ISA-L (levels 0-1, the fastest) or libdeflate (levels 2-9, smaller than zlib at its speed),
// neither of which libpng can use.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <array>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"
#include "imageio/png_filter.h"
#include "imageio/png_writer.h"

namespace pelorix {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// ---- libpng plumbing. The functions that may longjmp hold no C++ objects. ----

struct PngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  char message[200] = {0};
};

void onError(png_structp png, png_const_charp text) {
  auto* state = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "PNG: %s", text);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, size_t count) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (count > state->size - state->pos) png_error(png, "truncated file");
  std::memcpy(out, state->data + state->pos, count);
  state->pos += count;
}

// What the decoder will produce.
enum class Target { Indexed, Grey, Rgb24, Rgb32, Argb32 };

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;  // bits per pixel of the indexed/grey output
  Target target = Target::Rgb24;
  int paletteCount = 0;
  png_color palette[256];
};

// Reads the header and sets up the transforms for the target depth class.
bool readHeader(PngState* s, PngHeader* h) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_read_info(s->png, s->info);
  int depth = 0;
  int colorType = 0;
  int interlace = 0;
  png_get_IHDR(s->png, s->info, &h->width, &h->height, &depth, &colorType, &interlace, nullptr,
               nullptr);
  if (!withinImageLimits(h->width, h->height)) return true;  // the caller reports the size
  const bool trns = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(s->png);
  if (colorType == PNG_COLOR_TYPE_PALETTE && !trns) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(s->png, s->info, &palette, &count);
    h->paletteCount = count > 256 ? 256 : count;
    std::memcpy(h->palette, palette, sizeof(png_color) * static_cast<size_t>(h->paletteCount));
    h->target = Target::Indexed;
    h->bitDepth = depth;
    if (depth == 2) {
      png_set_packing(s->png);  // two-bit indices become bytes
      h->bitDepth = 8;
    }
  } else if (colorType == PNG_COLOR_TYPE_GRAY && !trns && depth <= 8) {
    h->target = Target::Grey;
    h->bitDepth = depth == 1 ? 1 : 8;
    if (depth == 2 || depth == 4) png_set_expand_gray_1_2_4_to_8(s->png);
  } else {
    const bool alpha = trns || (colorType & PNG_COLOR_MASK_ALPHA) != 0;
    png_set_expand(s->png);
    png_set_scale_16(s->png);
    png_set_gray_to_rgb(s->png);
    png_set_bgr(s->png);
    if (alpha) {
      h->target = Target::Argb32;
    } else if (depth == 16) {
      h->target = Target::Rgb32;
      png_set_filler(s->png, 0xFF, PNG_FILLER_AFTER);
    } else {
      h->target = Target::Rgb24;
    }
  }
  png_read_update_info(s->png, s->info);
  return true;
}

bool readRows(PngState* s, png_bytepp rows) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_read_image(s->png, rows);
  return true;
}

// ---- The writer: our own chunks around an ISA-L (level 0-1) or libdeflate (2-9) stream. ----

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 24));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

// One row as R, G, B (and A) bytes from whatever the picture holds.
template <int kChannels>
void rgbRow(const DibImage& image, int y, uint8_t* out, std::vector<uint8_t>& converted) {
  const int width = image.width();
  const uint8_t* in = image.row(y);
  const int depth = image.bitsPerPixel();
  if (kChannels == 3 && depth == 32 && !image.hasAlpha() && image.compression() == BI_RGB) {
    pngSwizzleRow(in, 4, out, 3, static_cast<size_t>(width));
    return;
  }
  if (depth != (kChannels == 4 ? 32 : 24) || image.compression() != BI_RGB ||
      image.premultiplied()) {
    converted.resize(static_cast<size_t>(width) * kChannels);
    if (kChannels == 4) {
      readRowBgra(image, y, converted.data());
    } else {
      readRowBgr(image, y, converted.data());
    }
    in = converted.data();
  }
  pngSwizzleRow(in, kChannels, out, kChannels, static_cast<size_t>(width));
}

// Per-thread memory of the writer, kept between frames.
struct PngScratch {
  std::vector<uint8_t> rgb[2];  // the current and the previous row, unfiltered
  std::vector<uint8_t> converted;
  std::vector<uint8_t> up;
  std::vector<uint8_t> filtered;  // every row with its filter byte: the deflate input
  std::array<libdeflate_compressor*, 10> compressors{};
  ~PngScratch() {
    for (libdeflate_compressor* c : compressors) {
      if (c) libdeflate_free_compressor(c);
    }
  }
};

// Filters every row: SUB at level 0 (the fastest choice that still pays), otherwise the one of
// SUB and UP whose bytes are closer to zero (the usual minimum sum of absolute differences).
// `readRow(y, out)` puts row y's R, G, B (and A) bytes at out.
template <int kChannels, typename ReadRow>
void filterRows(int width, int height, int level, PngScratch& scratch, ReadRow readRow) {
  const size_t rowBytes = static_cast<size_t>(width) * kChannels;
  scratch.filtered.resize((rowBytes + 1) * static_cast<size_t>(height));
  // Each row has a pixel of zeros in front: the left neighbour of the first pixel for SUB.
  scratch.rgb[0].assign(rowBytes + kChannels, 0);
  scratch.rgb[1].assign(rowBytes + kChannels, 0);
  scratch.up.resize(rowBytes);
  for (int y = 0; y < height; ++y) {
    uint8_t* cur = scratch.rgb[y & 1].data() + kChannels;
    const uint8_t* prev =
        level == 0 || y == 0 ? nullptr : scratch.rgb[(y + 1) & 1].data() + kChannels;
    readRow(y, cur);
    uint8_t* out = scratch.filtered.data() + (rowBytes + 1) * static_cast<size_t>(y);
    uint64_t subCost = 0;
    uint64_t upCost = 0;
    pngFilterRow(cur, prev, rowBytes, kChannels, out + 1, scratch.up.data(), subCost, upCost);
    out[0] = 1;
    if (prev && upCost < subCost) {
      std::memcpy(out + 1, scratch.up.data(), rowBytes);
      out[0] = 2;
    }
  }
}

// The zlib stream of the filtered rows: ISA-L's level 0 for levels 0-1, libdeflate's level 2-7
// for levels 2-7 and its level 7 for 8 and 9. Its higher levels are two to three times slower
// than zlib's 9 for files 2 % smaller, while its 7 is already a quarter smaller than zlib's 9
// (zlib's own 7 to 9 differ by less than 1 %).
// ISA-L's own level 1 is not used: its output for the same input varies from run to run (about
// one process in a hundred with two threads, or with another process sharing the core), which
// would make frames of split renders differ from a full run. Its level 0 and libdeflate give
// the same bytes every time.
ImageError deflateRows(int level, PngScratch& scratch, std::vector<uint8_t>& out) {
  const std::vector<uint8_t>& in = scratch.filtered;
  if (in.size() > 0xFFFFFFFFu / 2) return ImageError(E_FAIL, "PNG: picture too large");
  const size_t start = out.size();
  if (level >= 2) {
    const int effort = std::min(level, 7);
    libdeflate_compressor*& compressor = scratch.compressors[static_cast<size_t>(effort)];
    if (!compressor) compressor = libdeflate_alloc_compressor(effort);
    if (!compressor) return outOfMemory();
    const size_t bound = libdeflate_zlib_compress_bound(compressor, in.size());
    out.resize(start + bound);
    const size_t written =
        libdeflate_zlib_compress(compressor, in.data(), in.size(), out.data() + start, bound);
    if (written == 0) return ImageError(E_FAIL, "PNG: deflate failed");
    out.resize(start + written);
    return {};
  }
  isal_zstream stream{};
  isal_deflate_stateless_init(&stream);
  stream.level = 0;
  stream.gzip_flag = IGZIP_ZLIB;
  stream.flush = NO_FLUSH;
  stream.end_of_stream = 1;
  // Stored blocks bound the output: the input, 5 bytes per 64 KiB block, header and trailer.
  const size_t bound = in.size() + in.size() / 65535 * 5 + 1024;
  out.resize(start + bound);
  stream.next_in = const_cast<uint8_t*>(in.data());
  stream.avail_in = static_cast<uint32_t>(in.size());
  stream.next_out = out.data() + start;
  stream.avail_out = static_cast<uint32_t>(bound);
  if (isal_deflate_stateless(&stream) != COMP_OK) return ImageError(E_FAIL, "PNG: deflate failed");
  out.resize(start + bound - stream.avail_out);
  return {};
}

}  // namespace

void appendPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
  putBigEndian(out, static_cast<uint32_t>(size));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  putBigEndian(out, crc32_gzip_refl(0, out.data() + typeAt, size + 4));
}

void appendPngSignatureAndHeader(std::vector<uint8_t>& out, int width, int height, bool alpha) {
  out.insert(out.end(), kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  putBigEndian(header, static_cast<uint32_t>(width));
  putBigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, static_cast<uint8_t>(alpha ? 6 : 2), 0, 0, 0});
  appendPngChunk(out, "IHDR", header.data(), header.size());
}

ImageError compressPngPixels(const DibImage& image, bool alpha, int level,
                             std::vector<uint8_t>& zlib) {
  thread_local PngScratch scratch;
  if (alpha) {
    filterRows<4>(image.width(), image.height(), level, scratch,
                  [&](int y, uint8_t* out) { rgbRow<4>(image, y, out, scratch.converted); });
  } else {
    filterRows<3>(image.width(), image.height(), level, scratch,
                  [&](int y, uint8_t* out) { rgbRow<3>(image, y, out, scratch.converted); });
  }
  zlib.clear();
  return deflateRows(std::clamp(level, 0, 9), scratch, zlib);
}

ImageError compressPngRgba(const uint8_t* rgba, size_t stride, int width, int height, bool alpha,
                           int level, std::vector<uint8_t>& zlib) {
  thread_local PngScratch scratch;
  if (alpha) {
    filterRows<4>(width, height, level, scratch, [&](int y, uint8_t* out) {
      std::memcpy(out, rgba + stride * static_cast<size_t>(y), static_cast<size_t>(width) * 4);
    });
  } else {
    filterRows<3>(width, height, level, scratch, [&](int y, uint8_t* out) {
      const uint8_t* in = rgba + stride * static_cast<size_t>(y);
      for (int x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
    });
  }
  zlib.clear();
  return deflateRows(std::clamp(level, 0, 9), scratch, zlib);
}

namespace {

ImageError encodePng(const DibImage& image, int level, std::vector<uint8_t>& out) {
  const bool alpha = image.hasAlpha() && image.bitsPerPixel() == 32;
  thread_local std::vector<uint8_t> zlib;
  if (ImageError packed = compressPngPixels(image, alpha, level, zlib); packed.failed())
    return packed;
  if (zlib.size() > 0x7FFFFFFFu) return ImageError(E_FAIL, "PNG: picture too large");
  out.clear();
  out.reserve(zlib.size() + 64);
  appendPngSignatureAndHeader(out, image.width(), image.height(), alpha);
  appendPngChunk(out, "IDAT", zlib.data(), zlib.size());
  appendPngChunk(out, "IEND", nullptr, 0);
  return {};
}

class PngCodec final : public ImageCodec {
 public:
  const char* name() const override { return "PNG"; }
  const char* label() const override { return N_("PNG 画像"); }
  std::span<const std::string_view> extensions() const override {
    static constexpr std::string_view kExtensions[] = {"png"};
    return kExtensions;
  }

  bool probe(std::span<const uint8_t> head, int& width, int& height) const override {
    if (head.size() < 24 || std::memcmp(head.data() + 12, "IHDR", 4) != 0) return false;
    auto big = [&head](size_t at) {
      return static_cast<uint32_t>(head[at]) << 24 | static_cast<uint32_t>(head[at + 1]) << 16 |
             static_cast<uint32_t>(head[at + 2]) << 8 | head[at + 3];
    };
    width = static_cast<int>(std::min<uint32_t>(big(16), INT32_MAX));
    height = static_cast<int>(std::min<uint32_t>(big(20), INT32_MAX));
    return true;
  }

  bool recognises(std::span<const uint8_t> head) const override {
    return head.size() >= 8 && std::memcmp(head.data(), kSignature, 8) == 0;
  }

  ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const override {
    PngState state;
    state.data = bytes.data();
    state.size = bytes.size();
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!state.png) return outOfMemory();
    state.info = png_create_info_struct(state.png);
    ImageError result = state.info ? decodeWith(state, out) : outOfMemory();
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    return result;
  }

  ImageError encode(const DibImage& image, const ImageEncodeOptions& options,
                    std::vector<uint8_t>& out) const override {
    return encodePng(image, std::clamp(options.pngLevel, 0, 9), out);
  }

 private:
  static ImageError decodeWith(PngState& state, DibImage& out) {
    png_set_read_fn(state.png, &state, readBytes);
    PngHeader header;
    if (!readHeader(&state, &header)) return ImageError(E_FAIL, state.message);
    if (!withinImageLimits(header.width, header.height))
      return tooLarge(header.width, header.height);
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    DibImage image;
    bool created = false;
    switch (header.target) {
      case Target::Indexed:
      case Target::Grey:
        created = image.create(width, height, header.bitDepth);
        break;
      case Target::Rgb24:
        created = image.create(width, height, 24);
        break;
      case Target::Rgb32:
        created = image.create(width, height, 32);
        break;
      case Target::Argb32:
        created = image.create(width, height, 32, BI_RGB, nullptr, kCreateAlpha);
        break;
    }
    if (!created) return outOfMemory();
    if (png_get_rowbytes(state.png, state.info) >
        static_cast<size_t>(dibPitch(width, image.bitsPerPixel()))) {
      return ImageError(E_FAIL, "PNG: unexpected row size");
    }
    if (header.target == Target::Indexed) {
      RgbQuad table[256];
      for (int i = 0; i < header.paletteCount; ++i) {
        table[i] = {header.palette[i].blue, header.palette[i].green, header.palette[i].red, 0};
      }
      image.setColorTable(0, header.paletteCount, table);
    } else if (header.target == Target::Grey) {
      setGreyColorTable(image, header.bitDepth == 1 ? 2 : 256);
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
      rows[static_cast<size_t>(y)] = image.row(y);
    if (!readRows(&state, rows.data())) return ImageError(E_FAIL, state.message);
    out = std::move(image);
    return {};
  }
};

}  // namespace

const ImageCodec& pngCodec() {
  static const PngCodec codec;
  return codec;
}

}  // namespace pelorix
