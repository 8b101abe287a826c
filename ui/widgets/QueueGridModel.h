#pragma once
// A table model over one of the controller's queue grids: the heading row is the header,
// the message rows are the rows, and the grid's blank last row is not shown. The grid
// stays the controller's; the model only reads it and is told when it changed.

#include <QAbstractTableModel>

#include "core/Controls.h"

namespace kavonet::ui {

class QueueGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  QueueGridModel(const StringGrid& grid, QObject* parent);

  // Catches up with the grid. Queues grow at the end and shrink at the head, so rows
  // that appeared are announced as appended and rows that went as taken from the front;
  // every cell is then announced as changed, whatever really happened.
  void Refresh();

  // The grid row a model row stands for.
  static int GridRow(int modelRow) { return modelRow + 1; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  static int MessageRows(const StringGrid& grid);

  const StringGrid& grid_;
  // The row count the views know; the grid may already hold another until Refresh.
  int rows_;
};

}  // namespace kavonet::ui
