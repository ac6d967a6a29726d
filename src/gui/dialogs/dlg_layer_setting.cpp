// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_layer_setting.h"
#include "../qtr.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "../choice_box.h"
#include "../message_box.h"
#include "../toggle_button.h"
#include "app/dialog_rules.h"
#include "model/project.h"

namespace pelorix::gui {
namespace {

QPushButton* toggle(const QString& text, bool checked, QWidget* parent, const char* name) {
  auto* button = new ToggleButton(text, parent);
  button->setChecked(checked);
  button->setObjectName(name);
  return button;
}

QLineEdit* edit(const QString& text, QWidget* parent, const char* name) {
  auto* line = new QLineEdit(text, parent);
  line->setObjectName(name);
  return line;
}

}  // namespace

DlgLayerSetting::DlgLayerSetting(const LayerValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setObjectName("DlgLayerSetting");
  setWindowTitle(qtr("レイヤー設定"));
  number_ = edit(QString::number(values.number), this, "number");
  name_ = edit(QString::fromStdString(values.name), this, "name");
  visible_ = toggle(qtr("表示/非表示"), values.visible != 0, this, "visible");
  colorKey_ = toggle(qtr("透過色有効"), (values.effects & effectColorKey) != 0, this, "colorKey");
  interpolate_ =
      toggle(qtr("補間有り"), (values.effects & effectInterpolate) != 0, this, "interpolate");
  alpha_ = toggle(qtr("画像の透明度を使う"), (values.effects & effectAlpha) != 0, this, "alpha");
  mode_ =
      choiceBox(blendModeNames(), static_cast<int>(blendModeOf(values.effects)), this, "blendMode");
  parent_ = new QComboBox(this);
  parent_->setObjectName("parent");
  parent_->addItem(qtr("なし"), 0);
  for (const auto& [number, text] : values.parents)
    parent_->addItem(QString::fromStdString(text), number);
  parent_->setCurrentIndex(std::max(0, parent_->findData(values.parent)));
  red_ = edit(QString::number(values.red), this, "red");
  green_ = edit(QString::number(values.green), this, "green");
  blue_ = edit(QString::number(values.blue), this, "blue");
  for (QLineEdit* channel : {red_, green_, blue_})
    channel->setMaximumWidth(48);
  number_->setMaximumWidth(72);
  auto* ok = new QPushButton(qtr("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &DlgLayerSetting::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(qtr("レイヤ番号"), this), 0, 0);
  layout->addWidget(number_, 0, 1);
  layout->addWidget(new QLabel(qtr("レイヤ名"), this), 1, 0);
  layout->addWidget(name_, 1, 1, 1, 4);
  layout->addWidget(visible_, 2, 0);
  layout->addWidget(colorKey_, 2, 1);
  layout->addWidget(interpolate_, 2, 2);
  layout->addWidget(alpha_, 2, 3, 1, 2);
  layout->addWidget(new QLabel(qtr("透過色 R:G:B"), this), 3, 0);
  auto* colour = new QHBoxLayout;
  colour->addWidget(red_);
  colour->addWidget(green_);
  colour->addWidget(blue_);
  colour->addStretch();
  layout->addLayout(colour, 3, 1, 1, 2);
  layout->addWidget(new QLabel(qtr("合成"), this), 4, 0);
  layout->addWidget(mode_, 4, 1, 1, 2);
  layout->addWidget(new QLabel(qtr("親レイヤー"), this), 5, 0);
  layout->addWidget(parent_, 5, 1, 1, 2);
  auto* cancel = new QPushButton(qtr("キャンセル"), this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &DlgLayerSetting::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 6, 0, 1, 5);
}

void DlgLayerSetting::accept() {
  values_.visible = visible_->isChecked() ? 1 : 0;
  values_.effects = withBlendMode((interpolate_->isChecked() ? effectInterpolate : 0) |
                                      (colorKey_->isChecked() ? effectColorKey : 0) |
                                      (alpha_->isChecked() ? effectAlpha : 0),
                                  static_cast<BlendMode>(mode_->currentIndex()));
  const std::optional<int> number = leadingInteger(number_->text().toStdString());
  if (!number) {
    showNotice(this, qtr("Please enter an integer."));
    number_->setFocus();
    return;
  }
  values_.number = *number;
  values_.name = name_->text().toStdString();
  values_.parent = parent_->currentData().toInt();
  uint8_t* channels[3] = {&values_.red, &values_.green, &values_.blue};
  QLineEdit* edits[3] = {red_, green_, blue_};
  for (int i = 0; i < 3; ++i) {
    const std::optional<int> value = leadingByte(edits[i]->text().toStdString());
    if (!value) {
      showNotice(this, qtr("Please enter an integer between 0 and 255."));
      edits[i]->setFocus();
      return;
    }
    *channels[i] = static_cast<uint8_t>(*value);
  }
  QDialog::accept();
}

}  // namespace pelorix::gui
