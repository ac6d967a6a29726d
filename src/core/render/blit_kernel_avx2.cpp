// The layer loop eight pixels at a time with AVX2; compiled with -mavx2 and chosen at run time.
// It gives exactly the bytes of the scalar loop: the sampling point still advances by one
// float addition per pixel, and every integer step is the same.
#include <immintrin.h>

#include <cstring>

#include "render/blit_kernel.h"

namespace pelorix {
namespace {

// Eight canvas pixels of three bytes as eight lanes of blue, green, red, 0.
inline __m256i loadPixels(const uint8_t* d) {
  alignas(32) uint8_t buffer[32] = {};
  std::memcpy(buffer, d, 24);
  __m256i raw = _mm256_load_si256(reinterpret_cast<const __m256i*>(buffer));
  raw = _mm256_permutevar8x32_epi32(raw, _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6));
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                          1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  return _mm256_shuffle_epi8(raw, spread);
}

inline void storePixels(uint8_t* d, __m256i pixels) {
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                        1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  __m256i packed = _mm256_shuffle_epi8(pixels, pack);
  packed = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
  alignas(32) uint8_t buffer[32];
  _mm256_store_si256(reinterpret_cast<__m256i*>(buffer), packed);
  std::memcpy(d, buffer, 24);
}

inline __m256i gather(const uint8_t* base, __m256i offsets, __m256i mask) {
  return _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(base),
                                     offsets, mask, 1);
}

// (a*c + (255-a)*d + 127) / 255 for every byte; the division is exact for these sums.
inline __m256i blendBytes(__m256i color, __m256i canvas, int alpha) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i a = _mm256_set1_epi16(static_cast<int16_t>(alpha));
  const __m256i rest = _mm256_set1_epi16(static_cast<int16_t>(255 - alpha));
  const __m256i bias = _mm256_set1_epi16(127);
  const __m256i one = _mm256_set1_epi16(1);
  auto half = [&](__m256i c, __m256i d) {
    __m256i x = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(c, a), _mm256_mullo_epi16(d, rest)), bias);
    x = _mm256_add_epi16(_mm256_add_epi16(x, one), _mm256_srli_epi16(x, 8));
    return _mm256_srli_epi16(x, 8);
  };
  const __m256i lo = half(_mm256_unpacklo_epi8(color, zero), _mm256_unpacklo_epi8(canvas, zero));
  const __m256i hi = half(_mm256_unpackhi_epi8(color, zero), _mm256_unpackhi_epi8(canvas, zero));
  return _mm256_packus_epi16(lo, hi);
}

inline __m256 advance(__m256 value, __m256 step) {
  for (int k = 0; k < 8; ++k)
    value = _mm256_add_ps(value, step);
  return value;
}

inline __m256i channelOf(__m256i pixels, int k) {
  return _mm256_and_si256(_mm256_srli_epi32(pixels, 8 * k), _mm256_set1_epi32(0xFF));
}

}  // namespace

void blitRowsAvx2(const BlitParams& p, int rowBegin, int rowEnd) {
  const float sw = static_cast<float>(p.imageWidth);
  const float sh = static_cast<float>(p.imageHeight);
  const __m256 swv = _mm256_set1_ps(sw);
  const __m256 shv = _mm256_set1_ps(sh);
  const __m256 zerof = _mm256_setzero_ps();
  const __m256 onef = _mm256_set1_ps(1.0f);
  const __m256 scale256 = _mm256_set1_ps(256.0f);
  const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
  const __m256i keyv = _mm256_set1_epi32(static_cast<int>(p.key));
  const __m256i pitchv = _mm256_set1_epi32(p.imagePitch);
  const __m256i three = _mm256_set1_epi32(3);
  const __m256i w256 = _mm256_set1_epi32(256);
  const __m256i round16 = _mm256_set1_epi32(32768);
  const __m256i laneIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const float startColumn = static_cast<float>(p.xs - p.ox);

  const __m256 stepU = _mm256_set1_ps(p.du);
  const __m256 stepV = _mm256_set1_ps(p.dv);
  alignas(32) float us[8];
  alignas(32) float vs[8];
  for (int y = rowBegin; y < rowEnd; ++y) {
    blitMarginScalar(p, y, p.x0, p.xs);
    const float dy = static_cast<float>(y - p.oy);
    float u = p.du * startColumn - p.dv * dy + p.hu;
    float v = p.du * dy + p.dv * startColumn + p.hv;
    for (int k = 0; k < 8; ++k) {
      us[k] = u;
      vs[k] = v;
      u += p.du;
      v += p.dv;
    }
    // Lane k holds the sampling point of column x + k. Eight single additions per chunk move
    // every lane on by eight columns with exactly the roundings of the one-by-one loop.
    __m256 U = _mm256_load_ps(us);
    __m256 V = _mm256_load_ps(vs);
    uint8_t* rowStart = p.canvas + static_cast<ptrdiff_t>(y) * p.canvasPitch;
    for (int x = p.xs; x < p.x1; x += 8, U = advance(U, stepU), V = advance(V, stepV)) {
      const int count = p.x1 - x < 8 ? p.x1 - x : 8;
      const __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(count), laneIndex);
      const __m256 insideF = _mm256_and_ps(
          _mm256_and_ps(_mm256_cmp_ps(U, zerof, _CMP_GE_OQ), _mm256_cmp_ps(U, swv, _CMP_LT_OQ)),
          _mm256_and_ps(_mm256_cmp_ps(V, zerof, _CMP_GE_OQ), _mm256_cmp_ps(V, shv, _CMP_LT_OQ)));
      __m256i inside = _mm256_and_si256(_mm256_castps_si256(insideF), valid);
      if (_mm256_testz_si256(inside, inside)) continue;

      const __m256i iu = _mm256_cvttps_epi32(U);
      const __m256i iv = _mm256_cvttps_epi32(V);
      const __m256i offset =
          _mm256_add_epi32(_mm256_mullo_epi32(iv, pitchv), _mm256_mullo_epi32(iu, three));
      uint8_t* d = rowStart + 3 * x;
      const __m256i canvas = count == 8 ? loadPixels(d) : [&] {
        alignas(32) uint8_t tail[24] = {};
        std::memcpy(tail, d, static_cast<size_t>(count) * 3);
        return loadPixels(tail);
      }();
      const __m256i a = _mm256_and_si256(gather(p.image, offset, inside), low24);
      __m256i color = a;

      if (p.interpolate) {
        const __m256i interp = _mm256_and_si256(
            inside, _mm256_castps_si256(_mm256_cmp_ps(_mm256_add_ps(U, onef), swv, _CMP_LT_OQ)));
        if (!_mm256_testz_si256(interp, interp)) {
          const __m256i lower = _mm256_and_si256(
              interp, _mm256_castps_si256(_mm256_cmp_ps(_mm256_add_ps(V, onef), shv, _CMP_LT_OQ)));
          const __m256i fu = _mm256_cvttps_epi32(
              _mm256_mul_ps(_mm256_sub_ps(U, _mm256_cvtepi32_ps(iu)), scale256));
          // Lanes on the last image row weigh only the top pair: fv = 0 gives (top + 128) >> 8.
          const __m256i fv =
              _mm256_and_si256(lower, _mm256_cvttps_epi32(_mm256_mul_ps(
                                          _mm256_sub_ps(V, _mm256_cvtepi32_ps(iv)), scale256)));
          __m256i pa = a;
          __m256i pb = _mm256_and_si256(gather(p.image + 3, offset, interp), low24);
          __m256i pc =
              _mm256_and_si256(gather(p.image, _mm256_add_epi32(offset, pitchv), lower), low24);
          __m256i pd =
              _mm256_and_si256(gather(p.image + 3, _mm256_add_epi32(offset, pitchv), lower), low24);
          if (p.colorKey) {
            pa = _mm256_blendv_epi8(pa, canvas, _mm256_cmpeq_epi32(pa, keyv));
            pb = _mm256_blendv_epi8(pb, canvas, _mm256_cmpeq_epi32(pb, keyv));
            pc = _mm256_blendv_epi8(pc, canvas, _mm256_cmpeq_epi32(pc, keyv));
            pd = _mm256_blendv_epi8(pd, canvas, _mm256_cmpeq_epi32(pd, keyv));
          }
          const __m256i gu = _mm256_sub_epi32(w256, fu);
          const __m256i gv = _mm256_sub_epi32(w256, fv);
          const __m256i wa = _mm256_mullo_epi32(gu, gv);
          const __m256i wb = _mm256_mullo_epi32(fu, gv);
          const __m256i wc = _mm256_mullo_epi32(gu, fv);
          const __m256i wd = _mm256_mullo_epi32(fu, fv);
          __m256i filtered = _mm256_setzero_si256();
          for (int k = 0; k < 3; ++k) {
            __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(wa, channelOf(pa, k)),
                                           _mm256_mullo_epi32(wb, channelOf(pb, k)));
            sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(wc, channelOf(pc, k)));
            sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(wd, channelOf(pd, k)));
            sum = _mm256_srli_epi32(_mm256_add_epi32(sum, round16), 16);
            filtered = _mm256_or_si256(filtered, _mm256_slli_epi32(sum, 8 * k));
          }
          color = _mm256_blendv_epi8(color, filtered, interp);
        }
      }

      __m256i keep = inside;
      if (p.colorKey) keep = _mm256_andnot_si256(_mm256_cmpeq_epi32(color, keyv), keep);
      if (_mm256_testz_si256(keep, keep)) continue;
      const __m256i blended = p.alpha == 255 ? color : blendBytes(color, canvas, p.alpha);
      const __m256i merged = _mm256_blendv_epi8(canvas, blended, keep);
      if (count == 8) {
        storePixels(d, merged);
      } else {
        alignas(32) uint8_t tail[24];
        storePixels(tail, merged);
        std::memcpy(d, tail, static_cast<size_t>(count) * 3);
      }
    }
  }
}

}  // namespace pelorix
