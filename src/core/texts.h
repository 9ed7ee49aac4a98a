// Small text helpers of the client core: the time and date texts of the lines, colour markers,
// and the delimited-text splitter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"

namespace plumo {

// "HH:MM:SS" of a local wall-clock millisecond count (the long time format).
std::string TimeText(std::int64_t localMs);
// "DD.MM.YYYY HH:MM:SS" (short date and long time formats).
std::string DateTimeText(std::int64_t localMs);

// The six hexadecimal digits RRGGBB of a colour number (red in the low byte), upper case.
std::string ColorToMarkupHex(std::uint32_t color);

// Leading and trailing blanks and control characters removed.
std::string TrimText(const std::string& text);
// Every occurrence of from replaced by to, left to right.
std::string ReplaceAllText(std::string text, const std::string& from, const std::string& to);
// Splits at commas and blanks (the delimited-text rules: empty items kept).
std::vector<std::string> SplitDelimited(const std::string& text);

// Name=value lines separated by any mix of CR and LF (the interface list) as a table.
TNameValueList ParseNameValues(const std::string& text);

}  // namespace plumo
