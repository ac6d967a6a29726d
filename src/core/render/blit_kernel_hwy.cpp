// SPDX-License-Identifier: GPL-3.0-or-later
// The layer loop with vector instructions, written once with Highway and compiled for every
// instruction set of the architecture (SSE4, AVX2, AVX-512 on x86-64; NEON, SVE on arm64); the
// best one the processor has is chosen at run time. It gives the bytes of the scalar reference:
// along a row the sampling point still moves by one single-precision addition per column, in
// the same order, and every integer step is the same.
//
// The additions of a row form a chain that a vector cannot shorten, so a block of rows is
// worked out together: one vector holds the sampling points of as many rows as it has lanes,
// one addition per column for all of them. The points are then turned around into row order
// and each row is drawn with a lane per column.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/blit_kernel_hwy.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <vector>

#include "render/blit_kernel_vector.h"

HWY_BEFORE_NAMESPACE();
namespace pelorix {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using VU = hn::Vec<DU>;

// Columns per tile of the turned-around sampling points.
constexpr int kTile = 64;

template <int J>
HWY_INLINE VU LaneOf(VU pixel) {
  const DU du;
  return hn::And(hn::ShiftRight<8 * J>(pixel), hn::Set(du, 0xFFu));
}

// x / 255 for 0 <= x < 65535.
HWY_INLINE VU Div255(VU x) {
  const DU du;
  return hn::ShiftRight<8>(hn::Add(hn::Add(x, hn::Set(du, 1u)), hn::ShiftRight<8>(x)));
}

HWY_INLINE VU AlphaOf(VU pixel) {
  return LaneOf<kAlphaShift / 8>(pixel);
}

template <int J>
HWY_INLINE VU PremultipliedLane(VU pixel, VU alpha) {
  const DU du;
  if constexpr (8 * J == kAlphaShift) {
    return hn::ShiftLeft<8 * J>(alpha);
  } else {
    return hn::ShiftLeft<8 * J>(
        Div255(hn::Add(hn::Mul(LaneOf<J>(pixel), alpha), hn::Set(du, 127u))));
  }
}

HWY_INLINE VU Premultiply(VU pixel) {
  const VU a = AlphaOf(pixel);
  return hn::Or(hn::Or(PremultipliedLane<0>(pixel, a), PremultipliedLane<1>(pixel, a)),
                hn::Or(PremultipliedLane<2>(pixel, a), PremultipliedLane<3>(pixel, a)));
}

// Two channels at once: a pixel's blue and red (or green and alpha) bytes in the low bytes of
// its two 16-bit halves. Products of a byte and a weight up to 256 stay below 65536, so they
// never spill into the other half.
HWY_INLINE VU PairMask() {
  const DU du;
  return hn::Set(du, 0x00FF00FFu);
}

// The bilinear value of one channel pair, exactly the reference's
// ((256-fv)*top + fv*bottom + 32768) >> 16 with top = (256-fu)*A + fu*B: split top and bottom
// into high and low bytes, H = (256-fv)*th + fv*bh and L = (256-fv)*tl + fv*bl (each below
// 65536), and the result is (H + (L >> 8) + 128) >> 8.
HWY_INLINE VU FilteredPair(VU a, VU b, VU c, VU d, VU gu, VU fu, VU gv, VU fv) {
  const DU du;
  const VU m = PairMask();
  const VU top = hn::Add(hn::Mul(a, gu), hn::Mul(b, fu));
  const VU bottom = hn::Add(hn::Mul(c, gu), hn::Mul(d, fu));
  const VU high = hn::Add(hn::Mul(hn::And(hn::ShiftRight<8>(top), m), gv),
                          hn::Mul(hn::And(hn::ShiftRight<8>(bottom), m), fv));
  const VU low = hn::Add(hn::Mul(hn::And(top, m), gv), hn::Mul(hn::And(bottom, m), fv));
  const VU sum =
      hn::Add(hn::Add(high, hn::And(hn::ShiftRight<8>(low), m)), hn::Set(du, 0x00800080u));
  return hn::And(hn::ShiftRight<8>(sum), m);
}

HWY_INLINE VU Filtered(VU a, VU b, VU c, VU d, VU fu, VU fv) {
  const DU du;
  const VU m = PairMask();
  const VU gu = hn::Sub(hn::Set(du, 256u), fu);
  const VU gv = hn::Sub(hn::Set(du, 256u), fv);
  const VU lowPair =
      FilteredPair(hn::And(a, m), hn::And(b, m), hn::And(c, m), hn::And(d, m), gu, fu, gv, fv);
  const VU highPair = FilteredPair(
      hn::And(hn::ShiftRight<8>(a), m), hn::And(hn::ShiftRight<8>(b), m),
      hn::And(hn::ShiftRight<8>(c), m), hn::And(hn::ShiftRight<8>(d), m), gu, fu, gv, fv);
  return hn::Or(lowPair, hn::ShiftLeft<8>(highPair));
}

template <int J>
HWY_INLINE VU KeyLane(VU key, VU alpha) {
  const DU du;
  if constexpr (8 * J == kAlphaShift) {
    return hn::Zero(du);
  } else {
    return hn::ShiftLeft<8 * J>(Div255(hn::Add(hn::Mul(LaneOf<J>(key), alpha), hn::Set(du, 127u))));
  }
}

// The key premultiplied by the filtered alpha, against the filtered colour.
HWY_INLINE hn::Mask<DU> FilteredMatchesKey(VU colour, VU key) {
  const DU du;
  const VU a = AlphaOf(colour);
  const VU premultipliedKey = hn::Or(hn::Or(KeyLane<0>(key, a), KeyLane<1>(key, a)),
                                     hn::Or(KeyLane<2>(key, a), KeyLane<3>(key, a)));
  return hn::Eq(hn::And(colour, hn::Set(du, kColourMask)), premultipliedKey);
}

// (alpha*s + rest*d + 127) / 255 for a channel pair; every half stays below 65536.
HWY_INLINE VU BlendPair(VU src, VU old, VU alpha, VU rest) {
  const DU du;
  const VU m = PairMask();
  const VU x = hn::Add(hn::Add(hn::Mul(src, alpha), hn::Mul(old, rest)), hn::Set(du, 0x007F007Fu));
  const VU q = hn::Add(hn::Add(x, hn::Set(du, 0x00010001u)), hn::And(hn::ShiftRight<8>(x), m));
  return hn::And(hn::ShiftRight<8>(q), m);
}

// (alpha*s + (255-w)*d + 127) / 255 on every byte, w = alpha*As/255 per pixel.
HWY_INLINE VU Blend(VU src, VU old, VU alpha) {
  const DU du;
  const VU m = PairMask();
  const VU w = Div255(hn::Add(hn::Mul(alpha, AlphaOf(src)), hn::Set(du, 127u)));
  const VU rest = hn::Sub(hn::Set(du, 255u), w);
  const VU low = BlendPair(hn::And(src, m), hn::And(old, m), alpha, rest);
  const VU high = BlendPair(hn::And(hn::ShiftRight<8>(src), m), hn::And(hn::ShiftRight<8>(old), m),
                            alpha, rest);
  return hn::Or(low, hn::ShiftLeft<8>(high));
}

// (a*m + (255-a)*d + 127) / 255 on every byte: the layer's opacity between the blended pixel and
// what was there.
HWY_INLINE VU Mix(VU m, VU d, VU alpha) {
  const DU du;
  const VU mask = PairMask();
  const VU rest = hn::Sub(hn::Set(du, 255u), alpha);
  const VU low = BlendPair(hn::And(m, mask), hn::And(d, mask), alpha, rest);
  const VU high = BlendPair(hn::And(hn::ShiftRight<8>(m), mask),
                            hn::And(hn::ShiftRight<8>(d), mask), alpha, rest);
  return hn::Or(low, hn::ShiftLeft<8>(high));
}

// One colour channel of a separable blend mode, the reference's blendModePixel: the term
// as*ab*B(Cb, Cs) in premultiplied values, then (cs*(255-ab) + cb*(255-as) + term + 127) / 255.
template <int J>
HWY_INLINE VU ModeChannel(int mode, VU src, VU dst, VU as, VU ab, VU ao) {
  const DU du;
  const VU cs = LaneOf<J>(src);
  const VU cb = LaneOf<J>(dst);
  const VU full = hn::Set(du, 255u);
  VU term;
  switch (mode) {
    case 2:
      term = hn::Mul(cs, cb);
      break;
    case 3:
      term = hn::Sub(hn::Add(hn::Mul(cs, ab), hn::Mul(cb, as)), hn::Mul(cs, cb));
      break;
    case 4: {
      const DI di;
      // 2cb > ab: the light half.
      const auto light =
          hn::RebindMask(du, hn::Lt(hn::BitCast(di, ab), hn::BitCast(di, hn::Add(cb, cb))));
      const VU upper = hn::Sub(hn::Mul(as, ab),
                               hn::Mul(hn::Add(hn::Sub(ab, cb), hn::Sub(ab, cb)), hn::Sub(as, cs)));
      term = hn::IfThenElse(light, upper, hn::Add(hn::Mul(cs, cb), hn::Mul(cs, cb)));
      break;
    }
    case 5:
      term = hn::Min(hn::Mul(cs, ab), hn::Mul(cb, as));
      break;
    case 6:
      term = hn::Max(hn::Mul(cs, ab), hn::Mul(cb, as));
      break;
    default: {
      const VU low = hn::Min(hn::Mul(cs, ab), hn::Mul(cb, as));
      term = hn::Sub(hn::Add(hn::Mul(cs, ab), hn::Mul(cb, as)), hn::Add(low, low));
      break;
    }
  }
  const VU sum = hn::Add(hn::Add(hn::Mul(cs, hn::Sub(full, ab)), hn::Mul(cb, hn::Sub(full, as))),
                         hn::Add(term, hn::Set(du, 127u)));
  return hn::ShiftLeft<8 * J>(hn::Min(Div255(sum), ao));
}

// A picture pixel laid over the canvas with a blend mode at full opacity.
HWY_INLINE VU ModePixel(int mode, VU src, VU dst) {
  const DU du;
  if (mode == 1) {  // add: every byte saturates, alpha too
    const VU full = hn::Set(du, 255u);
    return hn::Or(
        hn::Or(hn::Min(hn::Add(LaneOf<0>(src), LaneOf<0>(dst)), full),
               hn::ShiftLeft<8>(hn::Min(hn::Add(LaneOf<1>(src), LaneOf<1>(dst)), full))),
        hn::Or(hn::ShiftLeft<16>(hn::Min(hn::Add(LaneOf<2>(src), LaneOf<2>(dst)), full)),
               hn::ShiftLeft<24>(hn::Min(hn::Add(LaneOf<3>(src), LaneOf<3>(dst)), full))));
  }
  const VU as = AlphaOf(src);
  const VU ab = AlphaOf(dst);
  const VU ao = hn::Sub(hn::Add(as, ab), Div255(hn::Add(hn::Mul(as, ab), hn::Set(du, 127u))));
  // Named vectors, not an array: SVE's vectors have no size and cannot be array elements.
  const VU colour0 =
      8 * 0 == kAlphaShift ? hn::Zero(du) : ModeChannel<0>(mode, src, dst, as, ab, ao);
  const VU colour1 =
      8 * 1 == kAlphaShift ? hn::Zero(du) : ModeChannel<1>(mode, src, dst, as, ab, ao);
  const VU colour2 =
      8 * 2 == kAlphaShift ? hn::Zero(du) : ModeChannel<2>(mode, src, dst, as, ab, ao);
  const VU colour3 =
      8 * 3 == kAlphaShift ? hn::Zero(du) : ModeChannel<3>(mode, src, dst, as, ab, ao);
  return hn::Or(hn::Or(hn::Or(colour0, colour1), hn::Or(colour2, colour3)),
                hn::ShiftLeft<kAlphaShift>(ao));
}

// The lanes whose right neighbour lies in the picture take the bilinear mix of their four
// pixels (a key-coloured one counted as the canvas pixel); `nearest` keeps the others, and a
// mix that is the key colour itself is not drawn.
template <class MF, class MU>
HWY_INLINE void BilinearLanes(const BlitParams& p, VF u, VF v, VI iu, VI iv, VI index, MF inside,
                              VU canvas, VU a, VU& colour, MU& keep, MU& nearest) {
  const DF df;
  const DI di;
  const DU du;
  const VF one = hn::Set(df, 1.0f);
  const VF scale256 = hn::Set(df, 256.0f);
  const auto interp =
      hn::And(inside, hn::Lt(hn::Add(u, one), hn::Set(df, static_cast<float>(p.imageWidth))));
  if (hn::AllFalse(df, interp)) return;
  const auto lower =
      hn::And(interp, hn::Lt(hn::Add(v, one), hn::Set(df, static_cast<float>(p.imageHeight))));
  const auto interpI = hn::RebindMask(di, interp);
  const auto lowerI = hn::RebindMask(di, lower);
  const VI pitch = hn::Set(di, static_cast<int32_t>(p.imagePitch / 4));
  const VU key = hn::Set(du, p.key);
  const VU colourMask = hn::Set(du, kColourMask);
  const auto* image = reinterpret_cast<const uint32_t*>(p.image);
  const VU fu =
      hn::BitCast(du, hn::ConvertTo(di, hn::Mul(hn::Sub(u, hn::ConvertTo(df, iu)), scale256)));
  // Lanes on the last picture row weigh only the top pair: fv = 0 gives (top + 128) >> 8.
  const VU fv = hn::IfThenElseZero(
      hn::RebindMask(du, lower),
      hn::BitCast(du, hn::ConvertTo(di, hn::Mul(hn::Sub(v, hn::ConvertTo(df, iv)), scale256))));
  const VI right = hn::IfThenElse(interpI, hn::Add(index, hn::Set(di, 1)), index);
  const VU b = hn::GatherIndex(du, image, right);
  const VU cc = hn::GatherIndex(du, image, hn::IfThenElse(lowerI, hn::Add(index, pitch), index));
  const VU dd = hn::GatherIndex(du, image, hn::IfThenElse(lowerI, hn::Add(right, pitch), right));
  // A key-coloured neighbour takes the canvas pixel (on a transparent frame: nothing).
  const VU replacement = p.canvasOpaque ? canvas : hn::Zero(du);
  auto take = [&](VU pixel) HWY_ATTR {
    VU value = p.pictureAlpha ? Premultiply(pixel) : pixel;
    if (p.colorKey) {
      value = hn::IfThenElse(hn::Eq(hn::And(pixel, colourMask), key), replacement, value);
    }
    return value;
  };
  const VU filtered = Filtered(take(a), take(b), take(cc), take(dd), fu, fv);
  const auto interpU = hn::RebindMask(du, interp);
  colour = hn::IfThenElse(interpU, filtered, colour);
  nearest = hn::AndNot(interpU, keep);
  if (p.colorKey) keep = hn::AndNot(hn::And(interpU, FilteredMatchesKey(filtered, key)), keep);
}

// One row: columns [x, x + count) with their sampling points in us, vs.
void ShadeSpan(const BlitParams& p, uint32_t* row, int x, int count, const float* us,
               const float* vs) {
  const DF df;
  const DI di;
  const DU du;
  const int n = static_cast<int>(hn::Lanes(df));
  const VF zero = hn::Zero(df);
  const VF swv = hn::Set(df, static_cast<float>(p.imageWidth));
  const VF shv = hn::Set(df, static_cast<float>(p.imageHeight));
  const VI pitch = hn::Set(di, static_cast<int32_t>(p.imagePitch / 4));
  const VU key = hn::Set(du, p.key);
  const VU colourMask = hn::Set(du, kColourMask);
  const VU alpha = hn::Set(du, static_cast<uint32_t>(p.alpha));
  const auto* image = reinterpret_cast<const uint32_t*>(p.image);
  // An opaque source at full opacity replaces the canvas pixel.
  const bool opaqueSource = !p.pictureAlpha && (!(p.colorKey && p.interpolate) || p.canvasOpaque);
  const bool replace = opaqueSource && p.alpha == 255 && p.mode == 0;

  int c = 0;
  for (; c + n <= count; c += n) {
    const VF u = hn::LoadU(df, us + c);
    const VF v = hn::LoadU(df, vs + c);
    const auto inside =
        hn::And(hn::And(hn::Ge(u, zero), hn::Lt(u, swv)), hn::And(hn::Ge(v, zero), hn::Lt(v, shv)));
    if (hn::AllFalse(df, inside)) continue;
    const VI iu = hn::ConvertTo(di, u);
    const VI iv = hn::ConvertTo(di, v);
    const VI index =
        hn::IfThenElseZero(hn::RebindMask(di, inside), hn::Add(hn::Mul(iv, pitch), iu));
    uint32_t* d = row + x + c;
    const VU canvas = hn::LoadU(du, d);
    const VU a = hn::GatherIndex(du, image, index);
    auto keep = hn::RebindMask(du, inside);
    VU colour = p.pictureAlpha ? Premultiply(a) : a;
    auto nearest = keep;
    if (p.interpolate)
      BilinearLanes(p, u, v, iu, iv, index, inside, canvas, a, colour, keep, nearest);
    if (p.colorKey) {
      keep = hn::AndNot(hn::And(nearest, hn::Eq(hn::And(a, colourMask), key)), keep);
    }
    if (hn::AllFalse(du, keep)) continue;
    const VU result = replace       ? colour
                      : p.mode != 0 ? Mix(ModePixel(p.mode, colour, canvas), canvas, alpha)
                                    : Blend(colour, canvas, alpha);
    hn::BlendedStore(result, keep, du, d);
  }
  for (; c < count; ++c)
    shadePixelScalar(p, us[c], vs[c], row + x + c);
}

// A frame drawn into a smaller canvas: the sampling points of each row worked out from the frame
// columns its pixels show, with the operations of the scalar reference in its order. Blocks of
// rows are drawn a tile of columns at a time, so that the picture's pixels they sample stay
// close together.
void GridRows(const BlitParams& p, int rowBegin, int rowEnd) {
  const DF df;
  const int n = static_cast<int>(hn::Lanes(df));
  thread_local std::vector<float> scratch;
  scratch.resize(2 * static_cast<size_t>(kTile + n));
  float* us = scratch.data();
  float* vs = us + kTile + n;
  const VF stepU = hn::Set(df, p.du);
  const VF stepV = hn::Set(df, p.dv);
  const VF ox = hn::Set(df, static_cast<float>(p.ox));
  constexpr int kBlock = 8;
  for (int top = rowBegin; top < rowEnd; top += kBlock) {
    const int bottom = std::min(rowEnd, top + kBlock);
    for (int x = p.x0; x < p.x1; x += kTile) {
      const int columns = std::min(kTile, p.x1 - x);
      for (int y = top; y < bottom; ++y) {
        const float dy = p.gridRows[y] - static_cast<float>(p.oy);
        const VF baseU = hn::Set(df, p.hu - p.dv * dy);
        const VF baseV = hn::Set(df, p.hv + p.du * dy);
        for (int c = 0; c < columns; c += n) {
          const VF column = hn::Sub(hn::LoadU(df, p.gridColumns + x + c), ox);
          hn::StoreU(hn::Add(hn::Mul(stepU, column), baseU), df, us + c);
          hn::StoreU(hn::Add(hn::Mul(stepV, column), baseV), df, vs + c);
        }
        ShadeSpan(p, reinterpret_cast<uint32_t*>(p.canvas + y * p.canvasPitch), x, columns, us, vs);
      }
    }
  }
}

void BlitRowsVector(const BlitParams& p, int rowBegin, int rowEnd) {
  if (p.gridColumns) {
    GridRows(p, rowBegin, rowEnd);
    return;
  }
  const DF df;
  const size_t lanes = hn::Lanes(df);
  const int n = static_cast<int>(lanes);
  thread_local std::vector<float> scratch;
  scratch.resize(lanes * kTile * 4 + 2 * lanes);
  float* columnU = scratch.data();
  float* columnV = columnU + lanes * kTile;
  float* rowU = columnV + lanes * kTile;
  float* rowV = rowU + lanes * kTile;
  float* startU = rowV + lanes * kTile;
  float* startV = startU + lanes;
  const float startColumn = static_cast<float>(p.xs - p.ox);
  const VF stepU = hn::Set(df, p.du);
  const VF stepV = hn::Set(df, p.dv);

  for (int y = rowBegin; y < rowEnd; y += n) {
    const int rows = std::min(n, rowEnd - y);
    for (int r = 0; r < rows; ++r)
      blitMarginScalar(p, y + r, p.x0, p.xs);
    for (int r = 0; r < n; ++r) {
      const float dy = static_cast<float>(y + std::min(r, rows - 1) - p.oy);
      startU[r] = p.du * startColumn - p.dv * dy + p.hu;
      startV[r] = p.du * dy + p.dv * startColumn + p.hv;
    }
    VF u = hn::LoadU(df, startU);
    VF v = hn::LoadU(df, startV);
    for (int x = p.xs; x < p.x1; x += kTile) {
      const int columns = std::min(kTile, p.x1 - x);
      // Lane r is row y + r: one addition per column moves every row on.
      for (int c = 0; c < columns; ++c) {
        hn::StoreU(u, df, columnU + c * n);
        hn::StoreU(v, df, columnV + c * n);
        u = hn::Add(u, stepU);
        v = hn::Add(v, stepV);
      }
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
          rowU[r * kTile + c] = columnU[c * n + r];
          rowV[r * kTile + c] = columnV[c * n + r];
        }
      }
      for (int r = 0; r < rows; ++r) {
        auto* row = reinterpret_cast<uint32_t*>(p.canvas + (y + r) * p.canvasPitch);
        ShadeSpan(p, row, x, columns, rowU + r * kTile, rowV + r * kTile);
      }
    }
  }
}

// NOLINTNEXTLINE(google-readability-namespace-comments)
}  // namespace HWY_NAMESPACE
}  // namespace pelorix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pelorix {

HWY_EXPORT(BlitRowsVector);

namespace {

bool isVector(int64_t target) {
  return target != HWY_SCALAR && target != HWY_EMU128;
}

// The supported vector sets, best first, whatever set is forced at the moment.
std::vector<int64_t> vectorTargets(int64_t forced) {
  hwy::SetSupportedTargetsForTest(0);
  std::vector<int64_t> targets;
  for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
    if (isVector(target)) targets.push_back(target);
  }
  hwy::SetSupportedTargetsForTest(forced);
  return targets;
}

int64_t gForced = 0;

}  // namespace

void blitRowsVector(const BlitParams& params, int rowBegin, int rowEnd) {
  HWY_DYNAMIC_DISPATCH(BlitRowsVector)(params, rowBegin, rowEnd);
}

bool vectorKernelAvailable() {
  static const bool available = !vectorTargets(0).empty();
  return available;
}

bool selectVectorKernel(const std::string& name) {
  if (name.empty()) {
    gForced = 0;
    hwy::SetSupportedTargetsForTest(0);
    return true;
  }
  for (int64_t target : vectorTargets(gForced)) {
    if (name == hwy::TargetName(target)) {
      gForced = target;
      hwy::SetSupportedTargetsForTest(target);
      return true;
    }
  }
  return false;
}

std::vector<std::string> vectorKernelNames() {
  std::vector<std::string> names;
  for (int64_t target : vectorTargets(gForced))
    names.push_back(hwy::TargetName(target));
  return names;
}

std::string activeVectorKernel() {
  if (gForced != 0) return hwy::TargetName(gForced);
  const std::vector<int64_t> targets = vectorTargets(0);
  return targets.empty() ? "scalar" : hwy::TargetName(targets.front());
}

}  // namespace pelorix
#endif  // HWY_ONCE
