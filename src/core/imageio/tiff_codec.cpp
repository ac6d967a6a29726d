// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF through libtiff, read from and written to memory.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

struct TiffMemory {
  const uint8_t* data = nullptr;        // reading
  std::vector<uint8_t>* out = nullptr;  // writing
  size_t size = 0;
  size_t pos = 0;
  std::string message;
};

size_t currentSize(const TiffMemory* m) {
  return m->out ? m->out->size() : m->size;
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t count) {
  auto* m = static_cast<TiffMemory*>(handle);
  if (!m->data || count < 0 || m->pos >= m->size) return 0;
  const size_t n = std::min(static_cast<size_t>(count), m->size - m->pos);
  std::memcpy(buffer, m->data + m->pos, n);
  m->pos += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t count) {
  auto* m = static_cast<TiffMemory*>(handle);
  if (!m->out || count < 0) return 0;
  const size_t n = static_cast<size_t>(count);
  if (m->out->size() < m->pos + n) m->out->resize(m->pos + n);
  std::memcpy(m->out->data() + m->pos, buffer, n);
  m->pos += n;
  return count;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  auto* m = static_cast<TiffMemory*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = m->pos;
  if (whence == SEEK_END) base = currentSize(m);
  const uint64_t target = base + offset;
  if (target > (uint64_t{1} << 40)) return static_cast<toff_t>(-1);
  m->pos = static_cast<size_t>(target);
  return target;
}

int closeProc(thandle_t) {
  return 0;
}
toff_t sizeProc(thandle_t handle) {
  return currentSize(static_cast<TiffMemory*>(handle));
}
int mapProc(thandle_t, void**, toff_t*) {
  return 0;
}
void unmapProc(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* m = static_cast<TiffMemory*>(user);
  if (m->message.empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    m->message = std::string("TIFF: ") + (module ? std::string(module) + ": " : "") + text;
  }
  return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

TIFF* openMemory(TiffMemory& memory, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, onError, &memory);
  TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, &memory);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options,
                                      static_cast<tmsize_t>(imageLimits().maxPixels) * 4 + 4096);
  TIFF* tiff = TIFFClientOpenExt("memory", mode, &memory, readProc, writeProc, seekProc, closeProc,
                                 sizeProc, mapProc, unmapProc, options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

class TiffCloser {
 public:
  explicit TiffCloser(TIFF* tiff) : tiff_(tiff) {}
  ~TiffCloser() { close(); }
  TiffCloser(const TiffCloser&) = delete;
  TiffCloser& operator=(const TiffCloser&) = delete;
  void close() {
    if (tiff_) TIFFClose(tiff_);
    tiff_ = nullptr;
  }

 private:
  TIFF* tiff_;
};

ImageError failure(const TiffMemory& memory, const char* fallback) {
  return ImageError(E_FAIL,
                    memory.message.empty() ? std::string("TIFF: ") + fallback : memory.message);
}

// EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA when the first extra sample is alpha, else 0.
int alphaKind(TIFF* tiff) {
  uint16_t count = 0;
  uint16_t* types = nullptr;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &count, &types);
  if (count == 0 || !types) return 0;
  return (types[0] == EXTRASAMPLE_ASSOCALPHA || types[0] == EXTRASAMPLE_UNASSALPHA) ? types[0] : 0;
}

// Pictures keep straight (not premultiplied) alpha.
void unpremultiply(uint8_t* bgra) {
  const int a = bgra[3];
  if (a == 0 || a == 255) return;
  for (int k = 0; k < 3; ++k)
    bgra[k] = static_cast<uint8_t>(std::min(255, (bgra[k] * 255 + a / 2) / a));
}

// What a TIFF directory says about its pixels.
struct TiffLayout {
  uint32_t width = 0, height = 0;
  uint16_t samples = 1, bits = 1, photometric = 0;
  bool strips = false;  // contiguous strips: read line by line into the picture
  int w() const { return static_cast<int>(width); }
  int h() const { return static_cast<int>(height); }
};

bool readScanlines(TIFF* tiff, DibImage& image) {
  const uint64_t lineSize = TIFFScanlineSize64(tiff);
  const auto rowBytes = static_cast<uint64_t>(dibPitch(image.width(), image.bitsPerPixel()));
  if (lineSize == 0 || lineSize > rowBytes) return false;
  for (int y = 0; y < image.height(); ++y) {
    if (TIFFReadScanline(tiff, image.row(y), static_cast<uint32_t>(y), 0) < 0) return false;
  }
  return true;
}

ImageError readPalette(TIFF* tiff, const TiffMemory& memory, const TiffLayout& l, DibImage& image) {
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue)) {
    return failure(memory, "palette picture without a colour map");
  }
  if (!image.create(l.w(), l.h(), l.bits)) return outOfMemory();
  const int count = 1 << l.bits;
  // Colour maps are 16-bit; some writers put 8-bit values in them.
  bool eightBit = true;
  for (int i = 0; i < count; ++i)
    eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  // 16-bit entries are scaled to 8 bits with rounding, like every other 16-bit path.
  auto level = [eightBit](uint16_t value) {
    return static_cast<uint8_t>(eightBit ? value : (value * 255u + 32767u) / 65535u);
  };
  RgbQuad table[256];
  for (int i = 0; i < count; ++i)
    table[i] = {level(blue[i]), level(green[i]), level(red[i]), 0};
  image.setColorTable(0, count, table);
  if (!readScanlines(tiff, image)) return failure(memory, "cannot read the pixels");
  return {};
}

ImageError readGrey(TIFF* tiff, const TiffMemory& memory, const TiffLayout& l, DibImage& image) {
  if (!image.create(l.w(), l.h(), l.bits)) return outOfMemory();
  const int count = l.bits == 1 ? 2 : 256;
  setGreyColorTable(image, count);
  if (l.photometric == PHOTOMETRIC_MINISWHITE) {
    RgbQuad table[256];
    for (int i = 0; i < count; ++i)
      table[i] = image.colorTable()[static_cast<size_t>(count - 1 - i)];
    image.setColorTable(0, count, table);
  }
  if (!readScanlines(tiff, image)) return failure(memory, "cannot read the pixels");
  return {};
}

// 8-bit RGB, with straight or premultiplied alpha when `alphaKind` says so.
ImageError readRgb(TIFF* tiff, const TiffMemory& memory, const TiffLayout& l, int alpha,
                   DibImage& image) {
  if (!image.create(l.w(), l.h(), alpha ? 32 : 24, BI_RGB, nullptr, alpha ? kCreateAlpha : 0))
    return outOfMemory();
  if (!readScanlines(tiff, image)) return failure(memory, "cannot read the pixels");
  const int step = alpha ? 4 : 3;
  for (int y = 0; y < l.h(); ++y) {
    uint8_t* p = image.row(y);
    for (int x = 0; x < l.w(); ++x, p += step) {
      std::swap(p[0], p[2]);
      if (alpha == EXTRASAMPLE_ASSOCALPHA) unpremultiply(p);
    }
  }
  return {};
}

// Everything else (16 bits, CMYK, YCbCr, tiles, alpha) through libtiff's RGBA reader, which
// hands alpha pictures over premultiplied.
ImageError readAny(TIFF* tiff, const TiffMemory& memory, const TiffLayout& l, DibImage& image) {
  char why[1024];
  if (!TIFFRGBAImageOK(tiff, why)) return ImageError(E_FAIL, std::string("TIFF: ") + why);
  const bool alpha = alphaKind(tiff) != 0;
  std::unique_ptr<uint32_t[]> raster(new (std::nothrow)
                                         uint32_t[static_cast<size_t>(l.width) * l.height]);
  if (!raster) return outOfMemory();
  if (!TIFFReadRGBAImageOriented(tiff, l.width, l.height, raster.get(), ORIENTATION_TOPLEFT, 0)) {
    return failure(memory, "cannot read the pixels");
  }
  if (!image.create(l.w(), l.h(), 32, BI_RGB, nullptr, alpha ? kCreateAlpha : 0))
    return outOfMemory();
  for (int y = 0; y < l.h(); ++y) {
    uint8_t* p = image.row(y);
    const uint32_t* in = raster.get() + static_cast<size_t>(y) * l.width;
    for (int x = 0; x < l.w(); ++x) {
      p[4 * x] = static_cast<uint8_t>(TIFFGetB(in[x]));
      p[4 * x + 1] = static_cast<uint8_t>(TIFFGetG(in[x]));
      p[4 * x + 2] = static_cast<uint8_t>(TIFFGetR(in[x]));
      p[4 * x + 3] = alpha ? static_cast<uint8_t>(TIFFGetA(in[x])) : 0;
      if (alpha) unpremultiply(p + 4 * x);
    }
  }
  return {};
}

// The common layouts line by line into a picture of their own depth; the rest through RGBA.
ImageError readPicture(TIFF* tiff, const TiffMemory& memory, const TiffLayout& l, DibImage& image) {
  const bool grey =
      l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE;
  if (l.strips && l.samples == 1 && l.photometric == PHOTOMETRIC_PALETTE &&
      (l.bits == 1 || l.bits == 4 || l.bits == 8)) {
    return readPalette(tiff, memory, l, image);
  }
  if (l.strips && l.samples == 1 && (l.bits == 1 || l.bits == 8) && grey) {
    return readGrey(tiff, memory, l, image);
  }
  if (l.strips && l.samples == 3 && l.bits == 8 && l.photometric == PHOTOMETRIC_RGB) {
    return readRgb(tiff, memory, l, 0, image);
  }
  if (l.strips && l.samples == 4 && l.bits == 8 && l.photometric == PHOTOMETRIC_RGB &&
      alphaKind(tiff) != 0) {
    return readRgb(tiff, memory, l, alphaKind(tiff), image);
  }
  return readAny(tiff, memory, l, image);
}

class TiffCodec final : public ImageCodec {
 public:
  const char* name() const override { return "TIFF"; }
  const char* label() const override { return N_("TIFF 画像"); }
  std::span<const std::string_view> extensions() const override {
    static constexpr std::string_view kExtensions[] = {"tif", "tiff"};
    return kExtensions;
  }

  bool probe(std::span<const uint8_t> head, int& width, int& height) const override {
    TiffMemory memory;
    memory.data = head.data();
    memory.size = head.size();
    TIFF* tiff = openMemory(memory, "rm");
    if (!tiff) return false;
    TiffCloser closer(tiff);
    uint32_t w = 0, h = 0;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h))
      return false;
    width = static_cast<int>(std::min<uint32_t>(w, INT32_MAX));
    height = static_cast<int>(std::min<uint32_t>(h, INT32_MAX));
    return true;
  }

  bool recognises(std::span<const uint8_t> head) const override {
    if (head.size() < 4) return false;
    return (head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
           (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43));
  }

  ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const override {
    TiffMemory memory;
    memory.data = bytes.data();
    memory.size = bytes.size();
    TIFF* tiff = openMemory(memory, "rm");
    if (!tiff) return failure(memory, "not a valid file");
    TiffCloser closer(tiff);
    TiffLayout layout;
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric))
      layout.photometric = PHOTOMETRIC_MINISBLACK;
    if (!withinImageLimits(layout.width, layout.height))
      return tooLarge(layout.width, layout.height);
    layout.strips = !TIFFIsTiled(tiff) && planar == PLANARCONFIG_CONTIG;
    DibImage image;
    const ImageError read = readPicture(tiff, memory, layout, image);
    if (read.failed()) return read;
    out = std::move(image);
    return {};
  }

  ImageError encode(const DibImage& image, const ImageEncodeOptions&,
                    std::vector<uint8_t>& out) const override {
    out.clear();
    TiffMemory memory;
    memory.out = &out;
    TIFF* tiff = openMemory(memory, "w");
    if (!tiff) return failure(memory, "cannot start the encoder");
    TiffCloser closer(tiff);
    const bool alpha = image.hasAlpha() && image.bitsPerPixel() == 32;
    const uint16_t samples = alpha ? 4 : 3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (alpha) {
      const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    std::vector<uint8_t> row(static_cast<size_t>(image.width()) * samples);
    for (int y = 0; y < image.height(); ++y) {
      if (alpha) {
        readRowBgra(image, y, row.data());
      } else {
        readRowBgr(image, y, row.data());
      }
      for (int x = 0; x < image.width(); ++x)
        std::swap(row[static_cast<size_t>(x) * samples], row[static_cast<size_t>(x) * samples + 2]);
      if (TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) < 0) {
        return failure(memory, "cannot write the pixels");
      }
    }
    closer.close();
    if (!memory.message.empty()) return failure(memory, "");
    return {};
  }
};

}  // namespace

const ImageCodec& tiffCodec() {
  static const TiffCodec codec;
  return codec;
}

}  // namespace pelorix
