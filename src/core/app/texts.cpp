// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/texts.h"

#include <filesystem>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "model/extensions.h"
#include "pelorix_version.h"

namespace pelorix {

namespace {

// The width of a text in the columns of a fixed-width font, which is its length in the
// Japanese code page: one for ASCII and half-width katakana, two for other characters.
int columns(const std::string& text) {
  int width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t code = lead;
    if (length == 3 && i + 2 < text.size()) {
      code = (lead & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
             (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
    }
    width += (length == 1 || (code >= 0xFF61 && code <= 0xFF9F)) ? 1 : 2;
    i += length;
  }
  return width;
}

}  // namespace

std::string layerItemText(const Layer& layer) {
  // "%02d :%-10s [%3.2f]", the name padded to ten columns as the format pads ten bytes of the
  // Japanese code page, so the durations line up.
  std::string name = layer.name;
  name.append(static_cast<size_t>(std::max(0, 10 - columns(name))), ' ');
  return formatC("%02d :%s [%3.2f]", layer.number, name.c_str(),
                 static_cast<double>(layer.totalDuration));
}

std::array<std::string, kSourceColumns> sourceRowTexts(const Source& s, int index) {
  auto two = [](float value) { return formatC("%.2f", static_cast<double>(value)); };
  std::string file = s.file;
  if (file.size() > 255) file.resize(255);
  const Ease ease = easeOf(s.flags);
  std::string motion =
      ease == Ease::Linear ? std::string() : _(easeNames()[static_cast<size_t>(ease)].label);
  return {
      formatC("%03d", index), file,           two(s.duration),  two(s.x), two(s.y), two(s.scale),
      two(s.rotation),        two(s.opacity), std::move(motion)};
}

std::string timeText(float currentTime, float totalTime) {
  return formatC(" %.3f / %.3f", static_cast<double>(currentTime), static_cast<double>(totalTime));
}

std::string versionLine() {
  return formatC("Version %2.2f       Date %s", cAtof(PELORIX_VERSION), "Sep 11 2003");
}

std::string aboutText() {
  // One catalogue entry per line, so each line translates on its own.
  static constexpr const char* kKeysAndMouse[] = {
      N_("キー操作"),
      N_("ＩＮＳ\t\tソースの挿入"),
      N_("ＤＥＬ\t\tソースの削除"),
      N_("ＴＡＢ\t\tソースの編集"),
      N_("レイヤーツリーを選択時は"),
      N_("ＩＮＳ\t\tレイヤーの挿入"),
      N_("ＤＥＬ\t\tレイヤーの削除"),
      N_("ＴＡＢ\t\tレイヤーの編集"),
      N_("pageup,pagedown,カーソルキーも何かに使えます。"),
      N_("マウス"),
      N_("ドラッグ＆ドロップでソースファイルを一括挿入"),
      N_("ソースリスト上でドラッグすると順番の入れ替え"),
      N_("ソースリスト上ダブルクリックでソース設定変更"),
      N_("レイヤーツリー上ダブルクリックでレイヤー設定変更"),
      N_("出力画面"),
      N_("ダブルクリックで設定画面"),
      N_("右ドラッグで表示位置の移動"),
      N_("右ダブルクリックでソース画像をフィットさせる"),
      N_("シフト＋ホイールで回転角の変更"),
      N_("ＣＮＴ＋ホイールで倍率の変更"),
      N_("ホイールダブルクリックで透過色選択開始"),
      N_("（ホイールクリックで終了。その場所の色が透過色）"),
  };
  // Where to read more: the installed README and the command line's help, and the home page
  // when the build was given one.
  const std::string homePage(PELORIX_HOMEPAGE);
  // The installed README only when it is there (a build run from its folder has none).
  const std::string readme = std::string(PELORIX_DOC_DIR) + "/README.md";
  std::error_code missing;
  std::string text = std::string(_("Pelorix　試験運転中！")) + "\n" + _("連絡先は") + "\n" +
                     (std::filesystem::exists(readme, missing)
                          ? formatC(_("%s/README.md、pelorix-cli --help"), PELORIX_DOC_DIR)
                          : std::string("pelorix-cli --help")) +
                     "\n";
  if (!homePage.empty()) text += homePage + "\n";
  for (const char* line : kKeysAndMouse)
    text += std::string(_(line)) + "\n";
  return text;
}

std::vector<std::string> textRows(const std::string& text) {
  std::vector<std::string> rows;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      rows.push_back(text.substr(start));
      break;
    }
    rows.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return rows;
}

}  // namespace pelorix
