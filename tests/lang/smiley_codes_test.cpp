// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/smiley_codes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace plumo {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// The [smiles] entries decide which emoji become which codes; everything else stays as typed.
TEST(EmojiSmileysTest, AnEmojiBecomesTheCodeTheChatHasForItsFace) {
  const struct {
    const char* name;
    Entries smiles;
    const char* typed;  // UTF-8
    const char* sent;   // UTF-8
  } cases[] = {
      {"no table: nothing changes", {}, "hi \U0001F600", "hi \U0001F600"},
      {"every emoji of the face", {{":)", "0"}}, "\U0001F600 \U0001F642\u263A", ":) :):)"},
      {"the selector goes with the emoji", {{":)", "0"}}, "\u263A\uFE0F!", ":)!"},
      {"a code the table lists in another spelling", {{":-)", "3"}}, "\U0001F600", ":-)"},
      {"the usual code wins over the other spelling", {{":-)", "3"}, {":)", "0"}}, "\U0001F600", ":)"},
      {"a key with _ stands for the code without it", {{"_;)", "1"}}, "\U0001F609", ";)"},
      {"a value that is no number is no smiley", {{":)", "x"}}, "\U0001F600", "\U0001F600"},
      {"an emoji of a face without a code stays",
       {{":)", "0"}},
       "\U0001F609 \U0001F389",
       "\U0001F609 \U0001F389"},
      {"other text is kept", {{":)", "0"}}, "Привет \U0001F600 ok", "Привет :) ok"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReplaceEmoji(c.typed, EmojiSmileys(c.smiles)), c.sent);
  }
}

}  // namespace
}  // namespace plumo
