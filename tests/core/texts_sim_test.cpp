// SPDX-License-Identifier: GPL-3.0-or-later
// The core's notices read in the language the user chose: every one is its language file's text.
#include <algorithm>
#include <fstream>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

// A colour and a nick in chat.ini that cannot be used, a nick change refused, and a topic change
// among the stored lines a channel shows when it opens: each is the chosen file's text with its
// arguments, in English and in Russian alike.
TEST(Texts, NoticesComeFromTheChosenLanguageFile) {
  const std::string longNick(kMaxNickLength + 1, 'n');
  const std::string length = std::to_string(longNick.size());
  const std::string most = std::to_string(kMaxNickLength);
  for (const char* language : {"english.lng", "russian.lng"}) {
    SCOPED_TRACE(language);
    sim::SimLan lan{7};
    Peer a{lan, "198.18.0.1", "anna"};
    fs::copy_file(fs::path(std::getenv("PLUMO_SOURCE_DIR")) / "data" / "lang" / language, a.dir / language,
                  fs::copy_options::overwrite_existing);
    std::ofstream(a.dir / "chat.ini")
        << "[Main]\nLanguage=" << language << "\nMyName=" << longNick << "\nMyColor=00G0FF\n";
    ASSERT_TRUE(a.core->FormCreate());
    a.core->Own().NickEntered(longNick, true);
    ASSERT_TRUE(a.core->Tabs().SetTopicText("news"));
    lan.RunFor(500);
    const std::vector<std::string> console = a.Console();
    a.Restart(lan);
    ASSERT_TRUE(a.core->FormCreate());

    const TIniFile file((a.dir / language).string());
    const auto text = [&file](const char* key, const std::vector<std::string>& args) {
      EXPECT_TRUE(file.ValueExists("Project_Messages", key)) << key;
      return FormatText(file.ReadString("Project_Messages", key, ""), args);
    };
    const std::string expected[] = {
        "MyColor: " + text("BadColour", {"G"}),
        "MyName: " + text("NickTooLong", {length, most}),
        text("NickRefused", {length, most, "anna"}),
    };
    for (const std::string& line : expected)
      EXPECT_NE(std::find(console.begin(), console.end(), kRed + line), console.end()) << Cp1251ToUtf8(line);
    ASSERT_FALSE(a.channels.history.empty());
    const std::vector<std::string>& stored = a.channels.history[0].lines;
    const std::string topic = "] anna -> " + text("HistoryTopic", {}) + ": ";
    EXPECT_TRUE(std::any_of(stored.begin(), stored.end(), [&topic](const std::string& line) {
      return line.find(topic) != std::string::npos && line.find("news") != std::string::npos;
    })) << Cp1251ToUtf8(topic);
  }
}

}  // namespace
}  // namespace plumo::coretest
