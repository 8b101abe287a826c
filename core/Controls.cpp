#include "core/Controls.h"

#include <utility>

namespace kavonet {

namespace {
const std::string kEmpty;
const RowTag kNoTag;
}

StringGrid::StringGrid(std::vector<std::string> headings) : headings_(std::move(headings)) {
  rows_.push_back({headings_, {}});
  AddRow();
}

const std::string& StringGrid::Cell(int col, int row) const {
  if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount()) return kEmpty;
  return rows_[row].cells[col];
}

void StringGrid::SetCell(int col, int row, std::string value) {
  if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount()) return;
  rows_[row].cells[col] = std::move(value);
}

const RowTag& StringGrid::Tag(int row) const {
  if (row < 0 || row >= RowCount()) return kNoTag;
  return rows_[row].tag;
}

void StringGrid::SetTag(int row, RowTag tag) {
  if (row < 0 || row >= RowCount()) return;
  rows_[row].tag = tag;
}

void StringGrid::AddRow() { rows_.push_back({std::vector<std::string>(headings_.size()), {}}); }

void StringGrid::RemoveFirstRow() {
  if (RowCount() <= 2) {
    // Only the blank row: clearing it is all the row-by-row copy would have done.
    rows_[1] = {std::vector<std::string>(headings_.size()), {}};
    return;
  }
  rows_.erase(rows_.begin() + 1);
  if (selectedRow_ >= RowCount()) selectedRow_ = RowCount() - 1;
}

void StringGrid::MoveRow(int from, int to) {
  const int last = RowCount() - 2;
  if (from < 1 || from > last || to < 1 || to > last || from == to) return;
  auto row = std::move(rows_[from]);
  rows_.erase(rows_.begin() + from);
  rows_.insert(rows_.begin() + to, std::move(row));
}

}  // namespace kavonet
