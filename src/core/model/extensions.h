// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string_view>

namespace pelorix {

// The easing of a glide: source flag bits 2-4, (flags >> 1) & 7. A reader that knows only bit 1
// ignores them, so a project without them glides linearly, as it always did.
enum class Ease { Linear = 0, In = 1, Out = 2, InOut = 3, Hold = 4 };
inline constexpr int sourceEaseMask = 7 << 1;

Ease easeOf(int flags);
int withEase(int flags, Ease ease);
// The eased fraction in single precision: f, f*f, 1-(1-f)*(1-f), f*f*(3-2*f); Hold has none.
float easedFraction(Ease ease, float fraction);

// How a layer is laid over the ones below: layer effect bits 8-64, (effects >> 3) & 15.
enum class BlendMode { Normal, Add, Multiply, Screen, Overlay, Darken, Lighten, Difference };
inline constexpr int effectBlendMask = 15 << 3;

BlendMode blendModeOf(int effects);
int withBlendMode(int effects, BlendMode mode);

// Names for files and scripts ("easeIn", "multiply") and labels for dialogs (translate with
// _()), in the order of the values.
struct ChoiceName {
  std::string_view name;
  const char* label;
};
std::span<const ChoiceName> easeNames();
std::span<const ChoiceName> blendModeNames();

}  // namespace pelorix
