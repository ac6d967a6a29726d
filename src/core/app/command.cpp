// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command.h"

#include "base/i18n.h"

namespace pelorix {
namespace {

using enum Command;

// In the order of the enum.
constexpr CommandInfo kCommands[] = {
    {NewLayer, "newLayer", N_("新規レイヤー"), true},
    {LayerSettings, "layerSettings", N_("レイヤー設定"), true},
    {DeleteLayer, "deleteLayer", N_("レイヤー削除"), true},
    {NewSource, "newSource", N_("新規ソース"), true},
    {SourceSettings, "sourceSettings", N_("ソース設定"), true},
    {DeleteSource, "deleteSource", N_("ソース削除"), true},
    {NewProject, "newProject", N_("新規プロジェクト"), false},
    {LoadProject, "loadProject", N_("プロジェクト読込"), false},
    {SaveProject, "saveProject", N_("プロジェクト保存"), true},
    {ProjectSettings, "projectSettings", N_("プロジェクト設定"), true},
    {Play, "play", N_("動画表示"), false},
    {ConvertAll, "convertAll", N_("全変換"), true},
    {SaveFrame, "saveFrame", N_("画面保存"), false},
    {PageBack, "pageBack", "<<", false},
    {StepBack, "stepBack", "<", false},
    {StepForward, "stepForward", ">", false},
    {PageForward, "pageForward", ">>", false},
    {ShowPreview, "showPreview", N_("出力画面"), true},
    {AllLayers, "allLayers", N_("単独/総合"), false},
    {Undo, "undo", N_("元に戻す"), false},
    {Redo, "redo", N_("やり直し"), false},
    {About, "about", N_("バージョン情報"), false},
    {SaveProjectAs, "saveProjectAs", N_("名前を付けて保存"), true},
    {Export, "export", N_("書き出し"), true},
    {Quit, "quit", N_("終了"), false},
    {OnionSkin, "onionSkin", N_("オニオンスキン"), false},
    {PlayFromHere, "playFromHere", N_("ここから再生"), true},
    {LoopPlayback, "loopPlayback", N_("ループ"), false},
    {AutoKey, "autoKey", N_("自動キー"), false},
    {WorkAreaOnly, "workAreaOnly", N_("作業範囲だけ変換"), false},
    {ShowHandles, "showHandles", N_("ハンドルとパス"), false},
    {OutsideCamera, "outsideCamera", N_("カメラの外も表示"), false},
};

constexpr bool inEnumOrder() {
  for (size_t i = 0; i < std::size(kCommands); ++i) {
    if (static_cast<size_t>(kCommands[i].command) != i) return false;
  }
  return true;
}
static_assert(inEnumOrder());

}  // namespace

std::span<const CommandInfo> commandTable() {
  return kCommands;
}

const CommandInfo& commandInfo(Command command) {
  return kCommands[static_cast<size_t>(command)];
}

}  // namespace pelorix
