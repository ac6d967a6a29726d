// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/extensions.h"

#include "base/i18n.h"

namespace pelorix {
namespace {

constexpr ChoiceName kEases[] = {{"linear", N_("直線")},
                                 {"easeIn", N_("加速")},
                                 {"easeOut", N_("減速")},
                                 {"easeInOut", N_("加減速")},
                                 {"hold", N_("停止")}};

constexpr ChoiceName kModes[] = {{"normal", N_("通常")},          {"add", N_("加算")},
                                 {"multiply", N_("乗算")},        {"screen", N_("スクリーン")},
                                 {"overlay", N_("オーバーレイ")}, {"darken", N_("比較 (暗)")},
                                 {"lighten", N_("比較 (明)")},    {"difference", N_("差の絶対値")}};

}  // namespace

Ease easeOf(int flags) {
  const int value = (flags & sourceEaseMask) >> 1;
  return value <= static_cast<int>(Ease::Hold) ? static_cast<Ease>(value) : Ease::Linear;
}

int withEase(int flags, Ease ease) {
  return (flags & ~sourceEaseMask) | (static_cast<int>(ease) << 1);
}

float easedFraction(Ease ease, float f) {
  switch (ease) {
    case Ease::In:
      return f * f;
    case Ease::Out:
      return 1.0f - (1.0f - f) * (1.0f - f);
    case Ease::InOut:
      return f * f * (3.0f - 2.0f * f);
    case Ease::Linear:
    case Ease::Hold:
      break;
  }
  return f;
}

BlendMode blendModeOf(int effects) {
  const int value = (effects & effectBlendMask) >> 3;
  return value <= static_cast<int>(BlendMode::Difference) ? static_cast<BlendMode>(value)
                                                          : BlendMode::Normal;
}

int withBlendMode(int effects, BlendMode mode) {
  return (effects & ~effectBlendMask) | (static_cast<int>(mode) << 3);
}

std::span<const ChoiceName> easeNames() {
  return kEases;
}

std::span<const ChoiceName> blendModeNames() {
  return kModes;
}

}  // namespace pelorix
