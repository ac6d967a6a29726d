// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG writer's row work written once with Highway and compiled for every instruction set of
// the architecture; the best one the processor has is chosen at run time. The bytes are those
// of the plain loops at the end of each function, which also do the last partial vector.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imageio/png_filter_hwy.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstdlib>

#include "imageio/png_filter.h"

HWY_BEFORE_NAMESPACE();
namespace pelorix {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void SwizzleRow(const uint8_t* in, int inChannels, uint8_t* out, int outChannels, size_t width) {
  const hn::ScalableTag<uint8_t> d;
  const size_t lanes = hn::Lanes(d);
  size_t x = 0;
  hn::Vec<decltype(d)> b, g, r, a;
  if (inChannels == 4) {
    for (; x + lanes <= width; x += lanes) {
      hn::LoadInterleaved4(d, in + 4 * x, b, g, r, a);
      if (outChannels == 4) {
        hn::StoreInterleaved4(r, g, b, a, d, out + 4 * x);
      } else {
        hn::StoreInterleaved3(r, g, b, d, out + 3 * x);
      }
    }
  } else {
    for (; x + lanes <= width; x += lanes) {
      hn::LoadInterleaved3(d, in + 3 * x, b, g, r);
      hn::StoreInterleaved3(r, g, b, d, out + 3 * x);
    }
  }
  for (; x < width; ++x) {
    const uint8_t* p = in + static_cast<size_t>(inChannels) * x;
    uint8_t* q = out + static_cast<size_t>(outChannels) * x;
    q[0] = p[2], q[1] = p[1], q[2] = p[0];
    if (outChannels == 4) q[3] = p[3];
  }
}

// The distance from zero of filtered bytes: |byte read as signed|, 0x80 counting 128.
HWY_INLINE hn::Vec<hn::ScalableTag<uint64_t>> Cost(hn::Vec<hn::ScalableTag<uint8_t>> v) {
  const hn::ScalableTag<uint8_t> d;
  const hn::RebindToSigned<decltype(d)> di;
  return hn::SumsOf8(hn::BitCast(d, hn::Abs(hn::BitCast(di, v))));
}

inline uint64_t ScalarCost(uint8_t byte) {
  return static_cast<uint64_t>(std::abs(static_cast<int>(static_cast<int8_t>(byte))));
}

void FilterRow(const uint8_t* cur, const uint8_t* prev, size_t bytes, int bpp, uint8_t* sub,
               uint8_t* up, uint64_t& subCost, uint64_t& upCost) {
  const hn::ScalableTag<uint8_t> d;
  const hn::ScalableTag<uint64_t> d64;
  const size_t lanes = hn::Lanes(d);
  auto subSum = hn::Zero(d64);
  auto upSum = hn::Zero(d64);
  size_t i = 0;
  for (; i + lanes <= bytes; i += lanes) {
    const auto c = hn::LoadU(d, cur + i);
    const auto s = hn::Sub(c, hn::LoadU(d, cur + i - bpp));
    hn::StoreU(s, d, sub + i);
    subSum = hn::Add(subSum, Cost(s));
    if (prev) {
      const auto u = hn::Sub(c, hn::LoadU(d, prev + i));
      hn::StoreU(u, d, up + i);
      upSum = hn::Add(upSum, Cost(u));
    }
  }
  uint64_t subTotal = hn::GetLane(hn::SumOfLanes(d64, subSum));
  uint64_t upTotal = hn::GetLane(hn::SumOfLanes(d64, upSum));
  for (; i < bytes; ++i) {
    sub[i] = static_cast<uint8_t>(cur[i] - cur[static_cast<ptrdiff_t>(i) - bpp]);
    subTotal += ScalarCost(sub[i]);
    if (prev) {
      up[i] = static_cast<uint8_t>(cur[i] - prev[i]);
      upTotal += ScalarCost(up[i]);
    }
  }
  subCost = subTotal;
  if (prev) upCost = upTotal;
}

}  // namespace HWY_NAMESPACE
}  // namespace pelorix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pelorix {

HWY_EXPORT(SwizzleRow);
HWY_EXPORT(FilterRow);

void pngSwizzleRow(const uint8_t* in, int inChannels, uint8_t* out, int outChannels, size_t width) {
  HWY_DYNAMIC_DISPATCH(SwizzleRow)(in, inChannels, out, outChannels, width);
}

void pngFilterRow(const uint8_t* cur, const uint8_t* prev, size_t bytes, int bpp, uint8_t* sub,
                  uint8_t* up, uint64_t& subCost, uint64_t& upCost) {
  HWY_DYNAMIC_DISPATCH(FilterRow)(cur, prev, bytes, bpp, sub, up, subCost, upCost);
}

}  // namespace pelorix
#endif  // HWY_ONCE
