// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace pelorix::gui {

enum class BoxAnswer { Yes, No, Cancel };

// Message boxes with the application name as caption. Tests put hooks in place of the real
// boxes, which would wait for a click.
void showNotice(QWidget* parent, const QString& text);
BoxAnswer askYesNoCancel(QWidget* parent, const QString& text);

// The information dialog (DlgVersion) with one row per line of `text`.
void showInformationDialog(QWidget* parent, const QString& text, const QString& title);

using NoticeHook = std::function<void(const QString&)>;
using AskHook = std::function<BoxAnswer(const QString&)>;
using InformationHook = std::function<void(const QString&)>;
void setMessageHooks(NoticeHook notice, AskHook ask, InformationHook information = nullptr);

}  // namespace pelorix::gui
