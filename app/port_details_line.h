#pragma once
// The line under the dropped-down port list that describes the highlighted port.

#include <QLabel>
#include <functional>

#include "widgets.h"

namespace vorkal {

// Puts the highlighted entry's description (its tooltip) under the dropped-down `list`,
// a line of its own over `form` so no control moves, and gives the closed list a
// tooltip from `describe` (of the entry text, empty when none is chosen) read when
// it is asked for. Returns the line.
QLabel* AttachPortDetailsLine(QWidget* form, TComboBox* list, std::function<QString(const QString&)> describe);

}  // namespace vorkal
