#pragma once
// A captioned box of radio buttons used as one choice: item i has id i, and the choice
// may also be "nothing selected" (-1), as a file can leave it.

#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QWidget;

namespace kavonet::ui {

// Fills `box` with one radio button per item, laid out row by row in `columns` columns.
QButtonGroup* FillRadioGroup(QGroupBox* box, const QStringList& items, int columns);

// Selects item `index`; an index outside the items clears the choice.
void SelectRadioItem(QButtonGroup* group, int index);

}  // namespace kavonet::ui
