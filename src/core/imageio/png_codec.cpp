// PNG through libpng for reading and for the small/slow writer; the fast writer frames its own
// chunks around an ISA-L deflate stream (libpng cannot use that deflater).
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

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
  unsigned char* out = nullptr;  // writer: malloc'd buffer
  size_t outSize = 0;
  size_t outCapacity = 0;
  bool outOfMemory = false;
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

void writeBytes(png_structp png, png_bytep in, size_t count) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (state->outSize + count > state->outCapacity) {
    size_t capacity = state->outCapacity ? state->outCapacity * 2 : 65536;
    while (capacity < state->outSize + count)
      capacity *= 2;
    auto* grown = static_cast<unsigned char*>(std::realloc(state->out, capacity));
    if (!grown) {
      state->outOfMemory = true;
      png_error(png, "out of memory");
    }
    state->out = grown;
    state->outCapacity = capacity;
  }
  std::memcpy(state->out + state->outSize, in, count);
  state->outSize += count;
}

void flushBytes(png_structp) {}

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

struct PngWriteJob {
  int width;
  int height;
  bool alpha;
  int level;
  png_bytepp rows;
};

bool writeWithLibpng(PngState* s, const PngWriteJob* job) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_set_write_fn(s->png, s, writeBytes, flushBytes);
  png_set_IHDR(s->png, s->info, static_cast<png_uint_32>(job->width),
               static_cast<png_uint_32>(job->height), 8,
               job->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(s->png, job->level);
  png_set_filter(s->png, 0, PNG_ALL_FILTERS);
  png_set_bgr(s->png);
  png_write_info(s->png, s->info);
  png_write_image(s->png, job->rows);
  png_write_end(s->png, nullptr);
  return true;
}

// ---- The fast writer. ----

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 24));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

// Appends a chunk whose data already sits at the end of `out` (after a placeholder for the
// length and the type).
void finishChunk(std::vector<uint8_t>& out, size_t start) {
  const size_t dataLength = out.size() - start - 8;
  for (int i = 0; i < 4; ++i)
    out[start + i] = static_cast<uint8_t>(dataLength >> (24 - 8 * i));
  const uint32_t crc = crc32_gzip_refl(0, out.data() + start + 4, dataLength + 4);
  putBigEndian(out, crc);
}

size_t beginChunk(std::vector<uint8_t>& out, const char* type) {
  const size_t start = out.size();
  putBigEndian(out, 0);
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(type[i]));
  return start;
}

// One row with the SUB filter, in RGB(A) order, from blue-green-red(-alpha) pixels.
template <int kChannels>
void subFilterRow(const uint8_t* in, int width, uint8_t* out) {
  out[0] = 1;  // filter type SUB
  uint8_t previous[4] = {0, 0, 0, 0};
  uint8_t* o = out + 1;
  for (int x = 0; x < width; ++x, in += kChannels, o += kChannels) {
    const uint8_t r = in[2], g = in[1], b = in[0];
    o[0] = static_cast<uint8_t>(r - previous[0]);
    o[1] = static_cast<uint8_t>(g - previous[1]);
    o[2] = static_cast<uint8_t>(b - previous[2]);
    previous[0] = r;
    previous[1] = g;
    previous[2] = b;
    if constexpr (kChannels == 4) {
      o[3] = static_cast<uint8_t>(in[3] - previous[3]);
      previous[3] = in[3];
    }
  }
}

// Per-thread scratch memory of the fast writer, kept between frames.
struct FastWriterScratch {
  std::vector<uint8_t> levelBuffer;
  std::vector<uint8_t> filtered;
  std::vector<uint8_t> converted;
};

ImageError encodeFast(const DibImage& image, int level, std::vector<uint8_t>& out) {
  thread_local FastWriterScratch scratch;
  const int width = image.width();
  const int height = image.height();
  const bool alpha = image.hasAlpha() && image.bitsPerPixel() == 32;
  const int channels = alpha ? 4 : 3;
  const bool direct = image.bitsPerPixel() == (alpha ? 32 : 24);
  const size_t rowBytes = 1 + static_cast<size_t>(width) * channels;

  out.clear();
  out.reserve(static_cast<size_t>(height) * rowBytes / 3 + 1024);
  out.resize(8);
  std::memcpy(out.data(), kSignature, 8);
  size_t chunk = beginChunk(out, "IHDR");
  putBigEndian(out, static_cast<uint32_t>(width));
  putBigEndian(out, static_cast<uint32_t>(height));
  out.push_back(8);
  out.push_back(alpha ? 6 : 2);
  out.push_back(0);
  out.push_back(0);
  out.push_back(0);
  finishChunk(out, chunk);

  isal_zstream stream;
  isal_deflate_init(&stream);
  stream.level = static_cast<uint32_t>(level);
  if (level >= 1) {
    scratch.levelBuffer.resize(ISAL_DEF_LVL1_DEFAULT);
    stream.level_buf = scratch.levelBuffer.data();
    stream.level_buf_size = static_cast<uint32_t>(scratch.levelBuffer.size());
  }
  stream.gzip_flag = IGZIP_ZLIB;

  // Rows are filtered in batches of about 256 KiB and fed to the deflater.
  const int batchRows = std::max(1, static_cast<int>((256 * 1024) / rowBytes));
  scratch.filtered.resize(rowBytes * static_cast<size_t>(batchRows));
  if (!direct) scratch.converted.resize(static_cast<size_t>(width) * channels);

  chunk = beginChunk(out, "IDAT");
  for (int y0 = 0; y0 < height; y0 += batchRows) {
    const int rows = std::min(batchRows, height - y0);
    for (int r = 0; r < rows; ++r) {
      const uint8_t* pixels = image.row(y0 + r);
      if (!direct) {
        if (alpha) {
          readRowBgra(image, y0 + r, scratch.converted.data());
        } else {
          readRowBgr(image, y0 + r, scratch.converted.data());
        }
        pixels = scratch.converted.data();
      }
      uint8_t* target = scratch.filtered.data() + rowBytes * static_cast<size_t>(r);
      if (alpha) {
        subFilterRow<4>(pixels, width, target);
      } else {
        subFilterRow<3>(pixels, width, target);
      }
    }
    stream.next_in = scratch.filtered.data();
    stream.avail_in = static_cast<uint32_t>(rowBytes * static_cast<size_t>(rows));
    stream.end_of_stream = (y0 + rows == height) ? 1 : 0;
    do {
      const size_t used = out.size();
      const size_t room = std::max<size_t>(stream.avail_in / 2 + 4096, 65536);
      out.resize(used + room);
      stream.next_out = out.data() + used;
      stream.avail_out = static_cast<uint32_t>(room);
      if (isal_deflate(&stream) != COMP_OK) return ImageError(E_FAIL, "PNG: deflate failed");
      out.resize(used + room - stream.avail_out);
    } while (stream.avail_in > 0 ||
             (stream.end_of_stream && stream.internal_state.state != ZSTATE_END));
  }
  if (out.size() - chunk - 8 > 0x7FFFFFFFu) return ImageError(E_FAIL, "PNG: picture too large");
  finishChunk(out, chunk);
  chunk = beginChunk(out, "IEND");
  finishChunk(out, chunk);
  return {};
}

ImageError encodeLibpng(const DibImage& image, int level, std::vector<uint8_t>& out) {
  const bool alpha = image.hasAlpha() && image.bitsPerPixel() == 32;
  const size_t rowBytes = static_cast<size_t>(image.width()) * (alpha ? 4 : 3);
  std::vector<uint8_t> pixels(rowBytes * static_cast<size_t>(image.height()));
  std::vector<png_bytep> rows(static_cast<size_t>(image.height()));
  for (int y = 0; y < image.height(); ++y) {
    rows[static_cast<size_t>(y)] = pixels.data() + rowBytes * static_cast<size_t>(y);
    if (alpha) {
      readRowBgra(image, y, rows[static_cast<size_t>(y)]);
    } else {
      readRowBgr(image, y, rows[static_cast<size_t>(y)]);
    }
  }
  PngState state;
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
  if (!state.png) return outOfMemory();
  state.info = png_create_info_struct(state.png);
  const PngWriteJob job{image.width(), image.height(), alpha, level, rows.data()};
  const bool ok = state.info && writeWithLibpng(&state, &job);
  png_destroy_write_struct(&state.png, &state.info);
  ImageError result;
  if (ok) {
    out.assign(state.out, state.out + state.outSize);
  } else {
    result = state.outOfMemory ? outOfMemory() : ImageError(E_FAIL, state.message);
  }
  std::free(state.out);
  return result;
}

class PngCodec final : public ImageCodec {
 public:
  const char* name() const override { return "PNG"; }

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

  ImageError encode(const DibImage& image, const EncodeOptions& options,
                    std::vector<uint8_t>& out) const override {
    if (options.pngLevel <= 1) return encodeFast(image, std::max(0, options.pngLevel), out);
    return encodeLibpng(image, std::min(9, options.pngLevel), out);
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
        static_cast<size_t>(DibImage::pitchFor(width, image.bitsPerPixel()))) {
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
