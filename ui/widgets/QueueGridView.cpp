#include "ui/widgets/QueueGridView.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <utility>

namespace kavonet::ui {

QueueGridView::QueueGridView(std::vector<int> columnWidths, QWidget* parent)
    : QTableView(parent), columnWidths_(std::move(columnWidths)) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setMinimumSectionSize(8);
  horizontalHeader()->setFixedHeight(kRowHeight + 2);

  QPalette face = palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  face.setColor(QPalette::AlternateBase, face.color(QPalette::Button));
  setPalette(face);
}

void QueueGridView::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  for (std::size_t i = 0; i < columnWidths_.size(); ++i) {
    setColumnWidth(static_cast<int>(i), columnWidths_[i]);
  }
  // A row that moves or goes under a drag makes the dragged index stale.
  connect(model, &QAbstractItemModel::rowsRemoved, this, &QueueGridView::CancelDrag);
  connect(model, &QAbstractItemModel::rowsInserted, this, &QueueGridView::CancelDrag);
  connect(model, &QAbstractItemModel::modelReset, this, &QueueGridView::CancelDrag);
}

void QueueGridView::mousePressEvent(QMouseEvent* event) {
  QTableView::mousePressEvent(event);
  CancelDrag();
  if (!rowMoving_ || event->button() != Qt::LeftButton) return;
  const QModelIndex pressed = indexAt(event->position().toPoint());
  if (!pressed.isValid()) return;
  dragRow_ = pressed.row();
  pressPos_ = event->position().toPoint();
}

void QueueGridView::mouseMoveEvent(QMouseEvent* event) {
  if (dragRow_ < 0 || !(event->buttons() & Qt::LeftButton)) {
    QTableView::mouseMoveEvent(event);
    return;
  }
  const QPoint at = event->position().toPoint();
  if (!dragging_ && (at - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
  if (!dragging_) {
    dragging_ = true;
    viewport()->setCursor(Qt::ClosedHandCursor);
  }
  // The selection shows where the row will land.
  const QModelIndex over = indexAt(at);
  if (over.isValid()) selectRow(over.row());
}

void QueueGridView::mouseReleaseEvent(QMouseEvent* event) {
  const int from = dragRow_;
  const bool dropped = dragging_ && event->button() == Qt::LeftButton;
  const QModelIndex over = indexAt(event->position().toPoint());
  CancelDrag();
  QTableView::mouseReleaseEvent(event);
  if (dropped && over.isValid() && over.row() != from) emit RowMoveRequested(from, over.row());
}

void QueueGridView::CancelDrag() {
  if (dragging_) viewport()->unsetCursor();
  dragRow_ = -1;
  dragging_ = false;
}

}  // namespace kavonet::ui
