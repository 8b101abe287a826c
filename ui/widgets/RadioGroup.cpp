#include "ui/widgets/RadioGroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>

namespace kavonet::ui {

QButtonGroup* FillRadioGroup(QGroupBox* box, const QStringList& items, int columns) {
  auto* group = new QButtonGroup(box);
  group->setObjectName(box->objectName());
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setVerticalSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], box);
    group->addButton(button, i);
    grid->addWidget(button, i / columns, i % columns);
  }
  return group;
}

void SelectRadioItem(QButtonGroup* group, int index) {
  if (QAbstractButton* button = group->button(index)) {
    button->setChecked(true);
    return;
  }
  // An exclusive group never lets its last checked button go.
  group->setExclusive(false);
  for (QAbstractButton* button : group->buttons()) button->setChecked(false);
  group->setExclusive(true);
}

}  // namespace kavonet::ui
