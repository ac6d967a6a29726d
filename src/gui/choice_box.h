// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <span>

#include "model/extensions.h"
#include "qtr.h"

namespace pelorix::gui {

// A drop-down list of named choices (easings, blend modes) whose index is the value.
inline QComboBox* choiceBox(std::span<const ChoiceName> choices, int value, QWidget* parent,
                            const char* name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  for (const ChoiceName& choice : choices)
    box->addItem(qtr(choice.label),
                 QString::fromUtf8(choice.name.data(), static_cast<qsizetype>(choice.name.size())));
  box->setCurrentIndex(value >= 0 && value < box->count() ? value : 0);
  return box;
}

}  // namespace pelorix::gui
