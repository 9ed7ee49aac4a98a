// SPDX-License-Identifier: GPL-3.0-or-later
// Small text helpers of the client core: the language texts as its parts read them, the time and
// date texts of the lines, trimming, and the name=value table of the interface list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"
#include "lang/lng.h"

namespace plumo {

// The program's version as its lines and announcements show it.
inline constexpr const char* kPlumoVersion = PLUMO_VERSION_TEXT;

// The language file's texts as the core's parts read them (code page 1251).
class TTexts {
 public:
  explicit TTexts(TMsgINISupp& messages) : messages_(messages) {}

  // A text, inside a lookup period when several are read together (TMessageScope).
  std::string Msg(const char* key) const { return messages_.GetMessage(key); }
  // One text in a lookup period of its own.
  std::string MsgAlone(const char* key) const {
    const TMessageScope scope(messages_);
    return messages_.GetMessage(key);
  }
  TMsgINISupp& Messages() const { return messages_; }

 private:
  TMsgINISupp& messages_;
};

// Colour codes that begin the program's own lines.
inline const std::string kRed = "#^FF0000";    // problems
inline const std::string kGrey = "#^666666";   // information, times, quotes
inline const std::string kOlive = "#^888866";  // arrivals, confirmations, bells
inline const std::string kBlue = "#^0022FF";   // topics
inline const std::string kBlack = "#^000000";  // what others wrote

// "HH:MM:SS" of a local wall-clock millisecond count (the long time format).
std::string TimeText(std::int64_t localMs);
// "DD.MM.YYYY HH:MM:SS" (short date and long time formats).
std::string DateTimeText(std::int64_t localMs);

// Leading and trailing blanks and control characters removed.
std::string TrimText(const std::string& text);

// FormatText where the argument at `optional` may be blank: a blank one is left out together with
// the brackets around it and the blank before them, so "%s is now '%s' (%s)" reads "ann is now
// 'Away'" rather than "ann is now 'Away' ( )".
std::string FormatOptional(const std::string& format, std::vector<std::string> args, std::size_t optional);

// Name=value lines separated by any mix of CR and LF (the interface list) as a table.
TNameValueList ParseNameValues(const std::string& text);

}  // namespace plumo
