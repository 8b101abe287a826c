#include "ui/widgets/QueueGridModel.h"

#include <algorithm>

#include "sms/Utf8.h"

namespace kavonet::ui {

namespace {
QString Shown(const std::string& text) {
  return QString::fromStdString(sms::ValidUtf8(text));
}
}  // namespace

QueueGridModel::QueueGridModel(const StringGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), rows_(MessageRows(grid)) {}

int QueueGridModel::MessageRows(const StringGrid& grid) {
  return std::max(grid.RowCount() - 2, 0);
}

void QueueGridModel::Refresh() {
  const int rows = MessageRows(grid_);
  if (rows < rows_) {
    beginRemoveRows(QModelIndex(), 0, rows_ - rows - 1);
    rows_ = rows;
    endRemoveRows();
  } else if (rows > rows_) {
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
  }
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
}

int QueueGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int QueueGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.ColCount();
}

QVariant QueueGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  // Out of range cells read as empty, so a row the views still show after the grid
  // shrank is harmless until Refresh.
  return Shown(grid_.Cell(index.column(), GridRow(index.row())));
}

QVariant QueueGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return Shown(grid_.Cell(section, 0));
}

Qt::ItemFlags QueueGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace kavonet::ui
