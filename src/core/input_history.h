// SPDX-License-Identifier: GPL-3.0-or-later
// TInputHistory: the lines the user sent, newest first, at most ten, recalled with Up and Down in
// line mode. A line is kept with each CR LF written as "/n" (so that chat.ini keeps it on one
// line) and recalled with real line breaks. The list itself lives in the settings, which load and
// save it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plumo {

class TInputHistory {
 public:
  static constexpr std::size_t kMax = 10;

  explicit TInputHistory(std::vector<std::string>& lines) : lines_(lines) {}

  // Adds a line (trimmed; a blank line is ignored) and resets the cursor to the line being typed.
  void Add(const std::string& line);
  // One step back (Up) or forward (Down); the text to show, empty at the line being typed.
  std::string Older();
  std::string Newer();
  // Back to the line being typed (start-up).
  void ResetCursor() { cursor_ = 0; }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::string Current() const;

  std::vector<std::string>& lines_;
  // Steps back from the line being typed: 0 is that line, 1 the newest entry, up to kMax.
  std::uint8_t cursor_ = 0;
};

}  // namespace plumo
