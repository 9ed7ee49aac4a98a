// Output helpers of the headless peer: JSON text values and the readable forms of line markup.
#pragma once

#include <string>
#include <vector>

#include "core/surfaces.h"
#include "net/codec.h"
#include "net/users.h"

namespace plumo {

// A code page 1251 text as a quoted JSON string (UTF-8, control characters escaped).
std::string JsonString(const std::string& cp1251);
// ["a","b",...]
std::string JsonFields(const TMStigs& fields);
// {"Address":...,"Nick":...,"State":...,"StateDescription":...}
std::string JsonEntry(const AChuvakInfo& entry);
std::string JsonEntry(const RosterRow& row);

// A marked-up line (code page 1251) as UTF-8 text: colour markers become 24-bit terminal colours
// (ansi) or disappear, nick-link markers disappear, line breaks become "\n".
std::string ReadableLine(const std::string& line, bool ansi);

}  // namespace plumo
