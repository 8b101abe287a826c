#pragma once
// Reading what a form shows, by the names of its controls.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

namespace kavonet::testing {

// The named control; fails the test when the form has none.
template <class W = QWidget>
W* Control(const QObject& form, const char* name) {
  W* found = form.findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << "no control " << name;
  return found;
}

// The caption a control shows: a label's or button's text, a group's title.
inline QString Caption(const QObject& form, const char* name) {
  QWidget* w = Control(form, name);
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  return w ? w->windowTitle() : QString();
}

// The items of a radio group, in order.
inline QStringList RadioItems(const QObject& form, const char* name) {
  QStringList items;
  if (auto* group = Control<QButtonGroup>(form, name)) {
    for (QAbstractButton* button : group->buttons()) items << button->text();
  }
  return items;
}

inline QStringList ListItems(const QObject& form, const char* name) {
  QStringList items;
  if (auto* list = Control<QComboBox>(form, name)) {
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  }
  return items;
}

inline int Chosen(const QObject& form, const char* name) {
  auto* group = Control<QButtonGroup>(form, name);
  return group ? group->checkedId() : -2;
}

inline void Choose(const QObject& form, const char* name, int item) {
  if (auto* group = Control<QButtonGroup>(form, name)) group->button(item)->click();
}

}  // namespace kavonet::testing
