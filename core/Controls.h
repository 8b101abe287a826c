#pragma once
// The controls whose state is part of the gateway's logic. They are plain state of the
// controller; a window draws them and forwards clicks to the controller's handlers.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/CommandQueue.h"

namespace kavonet {

struct SpeedButton {
  bool Down = false;
  bool Enabled = true;
};

struct Image {
  bool Visible = false;
};

struct MenuItem {
  bool Enabled = true;
};

struct ProgressBar {
  int Position = 0;
};

struct TrayIconState {
  std::string Hint = "Kavonet";  // until the first connection change
  bool Enabled = false;
};

enum class TCursor { crDefault, crHourGlass };

// The two brushes of the retrieval light.
enum class TColor { clGreen, clRed };

// What the controller knows of a queue row besides its cells, kept with the row as it moves.
struct RowTag {
  std::int64_t StoreId = 0;  // its row in the queue store; 0 when it has none
  // Kept across a restart: a received row's copy in the terminal may have changed since,
  // a row to send may have been on the line when the process ended.
  bool Interrupted = false;
  // A row to send in parts: how many the terminal has confirmed.
  int PartsDone = 0;
  // A received row joined from parts: each part's copy in the terminal and its store row.
  std::vector<MessageRef> Parts = {};
};

// A string grid used as a queue: heading row 0, message rows 1..RowCount-2, and one blank
// last row that receives the next message. RowCount 2 means empty.
class StringGrid {
 public:
  explicit StringGrid(std::vector<std::string> headings);

  int RowCount() const { return static_cast<int>(rows_.size()); }
  int ColCount() const { return static_cast<int>(headings_.size()); }
  int Row() const { return selectedRow_; }
  void SetRow(int row) { selectedRow_ = row; }
  // Cells outside the grid read as empty and ignore writes.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string value);
  // Rows outside the grid read as untagged and ignore writes.
  const RowTag& Tag(int row) const;
  void SetTag(int row, RowTag tag);
  // Appends a blank row at the end (RowCount + 1).
  void AddRow();
  // Takes data row 1 out; the grid keeps its heading and its blank last row. Constant time,
  // so a long queue drains in linear time.
  void RemoveFirstRow();
  // Moves a data row to another data position (the user dragging a row).
  void MoveRow(int from, int to);

 private:
  std::vector<std::string> headings_;
  struct TaggedRow {
    std::vector<std::string> cells;
    RowTag tag;
  };
  std::deque<TaggedRow> rows_;  // rows_[0] is the heading row
  int selectedRow_ = 1;
};

}  // namespace kavonet
