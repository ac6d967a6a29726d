// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/project.h"

namespace pelorix {

// The layer tree's item text: "%02d :%-10s [%3.2f]".
std::string layerItemText(const Layer& layer);

// The cells of source row `index`: ID, file, time, X, Y, scale, rotation, opacity, and the
// easing of its glide when it is not linear.
inline constexpr size_t kSourceColumns = 9;
std::array<std::string, kSourceColumns> sourceRowTexts(const Source& source, int index);

// The time text under the tree: " %.3f / %.3f".
std::string timeText(float currentTime, float totalTime);

// The version line of the information dialog.
std::string versionLine();

// The help text of the About box, lines ended by line feeds, in the chosen language.
std::string aboutText();

// Splits a text at line feeds into rows; a last piece without a line feed is a row too.
std::vector<std::string> textRows(const std::string& text);

}  // namespace pelorix
