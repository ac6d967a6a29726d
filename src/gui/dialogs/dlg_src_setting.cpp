// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_src_setting.h"
#include "../qtr.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "../choice_box.h"
#include "../message_box.h"
#include "../toggle_button.h"
#include "app/dialog_rules.h"
#include "app/file_filters.h"
#include "base/c_locale.h"

namespace pelorix::gui {
namespace {

QLineEdit* numberEdit(float value, QWidget* parent, const char* name) {
  auto* edit =
      new QLineEdit(QString::fromStdString(formatC("%.2f", static_cast<double>(value))), parent);
  edit->setObjectName(name);
  edit->setMaximumWidth(80);
  return edit;
}

}  // namespace

DlgSrcSetting::DlgSrcSetting(const SourceDialogValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setObjectName("DlgSrcSetting");
  setWindowTitle(qtr("ソース画像設定"));
  const Source& s = values.source;
  file_ = new QLineEdit(QString::fromStdString(s.file), this);
  file_->setObjectName("file");
  auto* browseButton = new QPushButton(">", this);
  browseButton->setObjectName("browse");
  browseButton->setAutoDefault(false);
  browseButton->setMaximumWidth(28);
  x_ = numberEdit(s.x, this, "x");
  y_ = numberEdit(s.y, this, "y");
  scale_ = numberEdit(s.scale, this, "scale");
  rotation_ = numberEdit(s.rotation, this, "rotation");
  duration_ = numberEdit(s.duration, this, "duration");
  opacity_ = numberEdit(s.opacity, this, "opacity");
  autoCalc_ = new ToggleButton(qtr("自動計算有り"), this);
  autoCalc_->setObjectName("autoCalc");
  autoCalc_->setChecked((s.flags & sourceAutoCalc) != 0);
  ease_ = choiceBox(easeNames(), static_cast<int>(easeOf(s.flags)), this, "ease");
  auto* pluginLabel = new QLabel(qtr("プラグイン"), this);
  plugin_ = new QLineEdit(QString::fromStdString(s.pluginText), this);
  plugin_->setObjectName("plugin");
  pluginLabel->setVisible(false);
  plugin_->setVisible(false);
  auto* ok = new QPushButton(qtr("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(qtr("キャンセル"), this);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &DlgSrcSetting::accept);
  connect(cancel, &QPushButton::clicked, this, &DlgSrcSetting::reject);
  connect(browseButton, &QPushButton::clicked, this, &DlgSrcSetting::browse);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(qtr("ファイル名"), this), 0, 0);
  layout->addWidget(file_, 0, 1, 1, 6);
  layout->addWidget(browseButton, 0, 7);
  layout->addWidget(new QLabel("X", this), 1, 0);
  layout->addWidget(x_, 1, 1);
  layout->addWidget(new QLabel("Y", this), 1, 2);
  layout->addWidget(y_, 1, 3);
  layout->addWidget(new QLabel(qtr("倍率"), this), 1, 4);
  layout->addWidget(scale_, 1, 5);
  layout->addWidget(new QLabel(qtr("回転角"), this), 1, 6);
  layout->addWidget(rotation_, 1, 7);
  layout->addWidget(new QLabel(qtr("X,Yは合成画面中心に対する座標"), this), 2, 0, 1, 8);
  layout->addWidget(new QLabel(qtr("時間（秒）"), this), 3, 0);
  layout->addWidget(duration_, 3, 1);
  layout->addWidget(new QLabel(qtr("透明度"), this), 3, 2);
  layout->addWidget(opacity_, 3, 3);
  layout->addWidget(autoCalc_, 3, 4, 1, 2);
  layout->addWidget(new QLabel(qtr("動き"), this), 3, 6);
  layout->addWidget(ease_, 3, 7);
  layout->addWidget(pluginLabel, 4, 0);
  layout->addWidget(plugin_, 4, 1, 1, 7);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 5, 0, 1, 8);

  chooseImage = [this](const QString& folder, const QString& pattern) {
    const std::vector<FileFilter> types = pictureFilters();
    const QStringList filters = qtFilters(types);
    // The filter that lists what the file name pattern names (a "*.png" field lists PNGs).
    QString selected = filters[filterForPattern(types, pattern.toStdString())];
    return QFileDialog::getOpenFileName(this, qtr("ソース画像"),
                                        folder.isEmpty() ? pattern : folder + "/" + pattern,
                                        filters.join(";;"), &selected);
  };
}

void DlgSrcSetting::browse() {
  const QString picked = chooseImage(QString::fromStdString(values_.browseFolder),
                                     QString::fromStdString(values_.browsePattern));
  if (picked.isEmpty()) return;
  values_.pickedExtension = QFileInfo(picked).suffix().toStdString();
  const std::string stored = storedImagePath(picked.toStdString(), values_.browseFolder);
  values_.source.file = stored;
  file_->setText(QString::fromStdString(stored));
}

void DlgSrcSetting::accept() {
  const Source previous = values_.source;
  Source& s = values_.source;
  // The toggle and the easing; the easing bits are the choice's, whatever they were.
  s.flags = withEase(autoCalc_->isChecked() ? sourceAutoCalc : 0,
                     static_cast<Ease>(ease_->currentIndex()));
  s.file = file_->text().toStdString();
  // Each number within what a source takes; the first that is not is named with its range.
  const std::pair<QLineEdit*, const NumberField*> fields[] = {{x_, &kFieldX},
                                                              {y_, &kFieldY},
                                                              {scale_, &kFieldScale},
                                                              {rotation_, &kFieldRotation},
                                                              {duration_, &kFieldDuration},
                                                              {opacity_, &kFieldOpacity}};
  float* targets[] = {&s.x, &s.y, &s.scale, &s.rotation, &s.duration, &s.opacity};
  std::string problem;
  for (size_t i = 0; i < std::size(fields); ++i) {
    const std::optional<double> value =
        readNumberField(fields[i].first->text().toStdString(), *fields[i].second, problem);
    if (!value) {
      values_.source = previous;
      showNotice(this, QString::fromStdString(problem));
      fields[i].first->setFocus();
      return;
    }
    *targets[i] = static_cast<float>(*value);
  }
  s.pluginText = plugin_->text().toStdString();
  QDialog::accept();
}

}  // namespace pelorix::gui
