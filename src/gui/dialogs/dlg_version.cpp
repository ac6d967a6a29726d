// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_version.h"
#include "../qtr.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "../layer_icons.h"
#include "app/texts.h"

namespace pelorix::gui {

DlgVersion::DlgVersion(const QString& displayText, const QString& title, QWidget* parent)
    : QDialog(parent) {
  setObjectName("DlgVersion");
  setWindowTitle(title);
  auto* icon = new QLabel(this);
  icon->setPixmap(applicationIcon().pixmap(32, 32));
  auto* name = new QLabel("Pelorix", this);
  auto* version = new QLabel(QString::fromStdString(versionLine()), this);
  version->setObjectName("versionLine");
  auto* ok = new QPushButton(qtr("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  lines_ = new QListWidget(this);
  lines_->setObjectName("lineList");
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  lines_->setFont(mono);
  for (const std::string& row : textRows(displayText.toStdString())) {
    lines_->addItem(QString::fromStdString(row).replace('\t', "        "));
  }
  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 2, 1);
  layout->addWidget(name, 0, 1);
  layout->addWidget(version, 1, 1);
  layout->addWidget(ok, 0, 2, Qt::AlignTop);
  layout->addWidget(lines_, 2, 0, 1, 3);
  resize(460, 420);
}

}  // namespace pelorix::gui
