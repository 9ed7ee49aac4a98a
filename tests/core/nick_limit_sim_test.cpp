// SPDX-License-Identifier: GPL-3.0-or-later
// The longest nick that can be sent: accepted and seen by the other peers; a longer one is refused
// with a message, at start-up and at a nick change, and the nick in force stays.
#include <fstream>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

TEST(NickLimit, ANickThatCannotBeSentIsRefusedAndTheOldOneKept) {
  struct Case {
    std::size_t length;
    bool fits;
  };
  const std::vector<Case> cases = {{kMaxNickLength, true}, {kMaxNickLength + 1, false}, {2047, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    sim::SimLan lan{5};
    Peer a{lan, "198.18.0.1", "anna"};
    Peer b{lan, "198.18.0.2", "bob"};
    const std::string stored(c.length, 's');
    std::ofstream(a.dir / "chat.ini") << "[Main]\nLanguage=english.lng\nMyName=" << stored << "\n";
    ASSERT_TRUE(a.core->FormCreate());
    ASSERT_TRUE(b.core->FormCreate());
    lan.RunFor(2000);
    // Start-up: the stored nick, or the default one and a message saying why.
    const std::string atStart = c.fits ? stored : "anna";
    EXPECT_EQ(a.engine().Nick(), atStart);
    EXPECT_GE(b.engine().Users().Find(atStart, "198.18.0.1"), 0);
    const auto console = a.Console();
    const bool told = std::any_of(console.begin(), console.end(), [&](const std::string& line) {
      return line.find("MyName: the nick is " + std::to_string(c.length) + " characters long") !=
             std::string::npos;
    });
    EXPECT_EQ(told, !c.fits);

    // A nick change to a nick of that length.
    const std::string changed(c.length, 'n');
    a.core->Own().NickEntered(changed, true);
    lan.RunFor(1000);
    const std::string now = c.fits ? changed : atStart;
    EXPECT_EQ(a.engine().Nick(), now);
    EXPECT_EQ(a.core->Settings().MyName, now);
    EXPECT_GE(b.engine().Users().Find(now, "198.18.0.1"), 0);
    EXPECT_EQ(a.LastConsole().find("the nick stays") != std::string::npos, !c.fits);
  }
}

}  // namespace
}  // namespace plumo::coretest
