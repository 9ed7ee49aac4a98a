// SPDX-License-Identifier: GPL-3.0-or-later
// TShownRows: what one conversation's display holds, row by row (a row is one line as the core added
// it, whatever its line breaks), and whether each row is a line the history store keeps. The list of
// conversations uses it to bound a display to a window of its newest rows; the history uses it to
// page the dropped rows back from the store exactly where they ended.
#pragma once

#include <algorithm>
#include <deque>

namespace plumo {

class TShownRows {
 public:
  int Rows() const { return static_cast<int>(stored_.size()); }
  // How many of the rows are stored lines.
  int StoredRows() const { return storedRows_; }
  // How many rows at the top are stored lines, one after the other.
  int LeadingStored() const {
    return static_cast<int>(std::find(stored_.begin(), stored_.end(), false) - stored_.begin());
  }
  // Set when rows were dropped since the last ClearTrimmed.
  bool Trimmed() const { return trimmed_; }
  void ClearTrimmed() { trimmed_ = false; }

  void Append(bool stored) {
    stored_.push_back(stored);
    if (stored) ++storedRows_;
  }
  // Rows that go above all others (a page of stored lines), the last of them a divider that is
  // not stored when divider is set.
  void Prepend(int rows, bool divider) {
    if (divider && rows > 0) {
      stored_.push_front(false);
      --rows;
    }
    stored_.insert(stored_.begin(), static_cast<std::size_t>(std::max(0, rows)), true);
    storedRows_ += std::max(0, rows);
  }
  // The display was emptied: every row went, as if dropped.
  void Clear() {
    stored_.clear();
    storedRows_ = 0;
    trimmed_ = true;
  }
  // Past window + slack rows, drops the oldest down to window and returns how many went (0 when
  // nothing did, always for a window of 0).
  int Trim(int window, int slack) {
    if (window <= 0 || Rows() <= window + slack) return 0;
    const int drop = Rows() - window;
    const auto end = stored_.begin() + drop;
    storedRows_ -= static_cast<int>(std::count(stored_.begin(), end, true));
    stored_.erase(stored_.begin(), end);
    trimmed_ = true;
    return drop;
  }

 private:
  std::deque<bool> stored_;
  int storedRows_ = 0;
  bool trimmed_ = false;
};

}  // namespace plumo
