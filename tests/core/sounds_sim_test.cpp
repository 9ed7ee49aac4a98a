// SPDX-License-Identifier: GPL-3.0-or-later
// The event sounds under many events: the sound table stays bounded whatever it names.
#include "core_fixture.h"

namespace plumo::coretest {
namespace {

TEST(Sounds, ManyEventsLeaveTheSoundTableBounded) {
  struct Case {
    const char* name;
    TNameValueList start;
    bool fileExists;
  };
  const std::vector<Case> cases = {
      {"an empty file name", {{"mute", "0"}, {"on_chat_line", "1"}, {"chat_line_src", ""}}, true},
      {"an empty name, no file", {{"on_chat_line", "1"}, {"chat_line_src", ""}}, false},
      {"nothing registered", {}, true},
      {"a missing file", {{"on_chat_line", "1"}, {"chat_line_src", "gone.wav"}}, false},
  };
  constexpr int kEvents = 50000;
  for (const auto& c : cases) {
    sim::SimLan lan{3};
    Peer a{lan, "198.18.0.1", "anna"};
    ASSERT_TRUE(a.core->FormCreate());
    const std::string wav = a.dir.string() + "/sounds/chat_line.wav";
    if (c.fileExists) a.system.files.insert(wav);
    TNameValueList& table = a.core->Settings().SoundTable;
    table = c.start;
    for (int i = 0; i < kEvents; ++i) a.core->Sounds().PlayEventSound("chat_line");
    // "mute", "on_chat_line" and "chat_line_src", once each.
    EXPECT_LE(table.Count(), 3u) << c.name;
    EXPECT_FALSE(table.Value("chat_line_src").empty()) << c.name;
    // Only the events before the file name was known are silent.
    if (c.fileExists) {
      EXPECT_GE(a.sound.played.size(), static_cast<std::size_t>(kEvents - 2)) << c.name;
    } else {
      EXPECT_TRUE(a.sound.played.empty()) << c.name;
    }
  }
}

}  // namespace
}  // namespace plumo::coretest
