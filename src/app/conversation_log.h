// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation log (--log FILE): every line shown in any conversation (the console, the
// channels, the message tabs) is also appended to a file as UTF-8 plain text, so that a person or
// a script can follow what the program showed. One record per displayed line:
//   conversation<TAB>text
// with the colour and nick-link markup removed. A line that holds line breaks gives one record per
// part, each with the conversation's name. Records are flushed as they are written.
#pragma once

#include <fstream>
#include <memory>
#include <string>

#include "core/surfaces.h"
#include "core/surfaces.h"

namespace plumo {

// The records of one marked-up line (code page 1251) of the named conversation, each ended by "\n".
// Tabs and line breaks in the name become blanks, so that the first tab of a record ends the name.
std::string ConversationLogRecords(const std::string& conversation, const std::string& line);

class ConversationLog {
 public:
  // Opens path for appending; null, with the reason in *error, when the file cannot be opened.
  static std::unique_ptr<ConversationLog> Open(const std::string& path, std::string* error);
  ~ConversationLog();
  ConversationLog(const ConversationLog&) = delete;
  ConversationLog& operator=(const ConversationLog&) = delete;

  // The surfaces with both conversation views replaced by views that forward every call to them and
  // log each added line. The log must outlive the core built with them, and the views they wrap the
  // log. Called once.
  CoreSurfaces Wrap(const CoreSurfaces& surfaces);

  // Appends the records of a line; the first failing write is reported on standard error.
  void Append(const std::string& conversation, const std::string& line);

 private:
  class LoggingView;
  explicit ConversationLog(std::string path);

  std::string path_;
  std::ofstream file_;
  bool failed_ = false;
  std::unique_ptr<LoggingView> channels_;
  std::unique_ptr<LoggingView> inputs_;
};

}  // namespace plumo
