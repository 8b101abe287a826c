#pragma once
// The look of a queue grid: whole rows selected, nothing edited, no grid lines, a heading
// row and no row numbers, on the button face colour. Optionally the user can drag a row
// to another place; the view only asks for the move, the owner of the rows makes it.

#include <QTableView>
#include <vector>

namespace kavonet::ui {

class QueueGridView : public QTableView {
  Q_OBJECT

 public:
  static constexpr int kRowHeight = 17;

  // `columnWidths` in pixels, one per column of the model set later.
  QueueGridView(std::vector<int> columnWidths, QWidget* parent);

  void setModel(QAbstractItemModel* model) override;
  void SetRowMoving(bool enabled) { rowMoving_ = enabled; }
  bool Dragging() const { return dragRow_ >= 0 && dragging_; }

 signals:
  // The user dropped model row `from` on model row `to` (they differ).
  void RowMoveRequested(int from, int to);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void CancelDrag();

  std::vector<int> columnWidths_;
  bool rowMoving_ = false;
  int dragRow_ = -1;
  bool dragging_ = false;
  QPoint pressPos_;
};

}  // namespace kavonet::ui
