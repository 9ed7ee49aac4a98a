// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/input_history.h"

#include "core/texts.h"
#include "lang/text_helpers.h"

namespace plumo {

void TInputHistory::Add(const std::string& line) {
  const std::string stored = ReplaceAll(TrimText(line), "\r\n", "/n", false);
  if (stored.empty()) return;
  cursor_ = 0;
  lines_.insert(lines_.begin(), stored);
  if (lines_.size() > kMax) lines_.resize(kMax);
}

std::string TInputHistory::Current() const {
  if (cursor_ == 0 || cursor_ > lines_.size()) return {};
  return ReplaceAll(lines_[cursor_ - 1U], "/n", "\r\n", false);
}

std::string TInputHistory::Older() {
  if (cursor_ < kMax && cursor_ < lines_.size()) ++cursor_;
  return Current();
}

std::string TInputHistory::Newer() {
  if (cursor_ > 0) --cursor_;
  return Current();
}

}  // namespace plumo
