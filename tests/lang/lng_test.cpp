// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/lng.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "lang/codepage.h"
#include "lang/inifile.h"
#include "tempdir.h"

namespace plumo {
namespace {

using testing::TempDir;

// A window with a few captioned components.
class FakeForm : public TLanguageForm {
 public:
  FakeForm(std::string name, std::vector<Caption> captions)
      : name_(std::move(name)), captions_(std::move(captions)) {}
  std::string FormName() const override { return name_; }
  std::vector<Caption> Captions() const override { return captions_; }
  void SetCaption(const std::string& key, const std::string& text) override {
    for (auto& c : captions_) {
      if (c.Key == key) c.Text = text;
    }
  }
  std::string Text(const std::string& key) const {
    for (const auto& c : captions_) {
      if (c.Key == key) return c.Text;
    }
    return "<none>";
  }

 private:
  std::string name_;
  std::vector<Caption> captions_;
};

class FakeHost : public TLanguageHost {
 public:
  std::vector<TLanguageForm*> Forms() override { return forms; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool HasLanguageMenu() const override { return true; }
  void BuildLanguageMenu(const std::vector<TLanguageEntry>& entries) override { menus.push_back(entries); }

  std::vector<TLanguageForm*> forms;
  std::vector<std::string> messages;
  std::vector<std::vector<TLanguageEntry>> menus;
};

TEST(Lng, MultiLineMessages) {
  EXPECT_EQ(ConvertMessage("one\"#13#10\"two\"#13#10\""), "one\r\ntwo\r\n");
  EXPECT_EQ(ConvertMessage("\"#13#10\"x\"#13#10\""), "\r\nx\r\n");
  EXPECT_EQ(ConvertMessage("head\"#13#10\"tail"), "head\r\ntail\r\n");  // the tail is kept
  EXPECT_EQ(ConvertMessage("no quote at all"), "no quote at all");
  EXPECT_EQ(ConvertMessage("cut\"#1"), "cut\r\n");
}

TEST(Lng, MessagesByKeyMissingKeysAndMissingFiles) {
  TempDir dir;
  dir.Write("a.lng", "[Project_Messages]\r\nHello=Hi there\r\nTwo=a\"#13#10\"b\"#13#10\"\r\n");
  dir.Write("b.lng", "[project_messages]\r\nhello=From b\r\n");
  FakeHost host;
  TLngINISupp lns(FsPath::FromUtf8(dir.Path()), host);
  std::vector<std::string> shown;
  TMsgINISupp mis(FsPath::FromUtf8(dir.Path()), &lns, [&](const std::string& t) { shown.push_back(t); });

  // No file name anywhere: the error is shown and every text reads "ERROR".
  EXPECT_FALSE(mis.BeginMessages());
  EXPECT_EQ(mis.GetMessage("Hello"), "ERROR");
  EXPECT_EQ(shown, (std::vector<std::string>{kNoFileNameText, kNoFileNameText}));
  shown.clear();

  lns.SetFileName("/elsewhere/a.lng");  // only the name counts
  EXPECT_EQ(lns.FileName().Utf8(), dir.File("a.lng"));
  EXPECT_EQ(mis.GetMessage("hello"), "Hi there");  // opens the lookup period itself
  EXPECT_TRUE(mis.InLookup());
  EXPECT_EQ(mis.GetMessage("Two"), "a\r\nb\r\n");
  EXPECT_EQ(mis.GetMessage("Absent"), "ERROR");
  lns.SetFileName("b.lng");
  EXPECT_EQ(mis.GetMessage("Hello"), "Hi there");  // the open period keeps its file
  mis.EndMessages();
  EXPECT_TRUE(mis.BeginMessages());
  EXPECT_EQ(mis.GetMessage("HELLO"), "From b");
  mis.EndMessages();
  EXPECT_TRUE(shown.empty());

  lns.SetFileName("nothere.lng");
  EXPECT_TRUE(mis.BeginMessages());
  EXPECT_EQ(mis.GetMessage("Hello"), "ERROR");
  EXPECT_EQ(shown, std::vector<std::string>{kFileNotFoundText});
}

// A copy of a language file kept from an older release lacks the newer keys: each of them is read
// from the shipped file of the same name, while every key the copy has stays the user's.
TEST(Lng, AKeyMissingFromTheChosenFileIsReadFromTheShippedOne) {
  TempDir user;
  TempDir shipped;
  user.Write("a.lng", "[Project_Messages]\r\nOld=mine\r\n");
  shipped.Write("a.lng", "[Project_Messages]\r\nOld=shipped old\r\nNew=shipped new\r\n");
  shipped.Write("b.lng", "[Project_Messages]\r\nOnlyB=from b\r\n");
  FakeHost host;
  TLngINISupp lns(FsPath::FromUtf8(user.Path()), host);
  lns.SetFileName("a.lng");
  TMsgINISupp mis(FsPath::FromUtf8(user.Path()), &lns, nullptr);
  const struct {
    const char* Key;
    const char* Without;  // no shipped folder known
    const char* With;
  } rows[] = {
      {"Old", "mine", "mine"},          // the user's text wins
      {"New", "ERROR", "shipped new"},  // newer than the copy
      {"OnlyB", "ERROR", "ERROR"},      // another language's file is never read
      {"Nowhere", "ERROR", "ERROR"},
  };
  for (const auto& row : rows) EXPECT_EQ(mis.GetMessage(row.Key), row.Without) << row.Key;
  mis.EndMessages();
  mis.SetShippedDir(FsPath::FromUtf8(shipped.Path()));
  for (const auto& row : rows) EXPECT_EQ(mis.GetMessage(row.Key), row.With) << row.Key;
  mis.EndMessages();
}

// The message component parses its file once, and again only after the file changed on disk: a
// large file costs one read per change, not one per message.
TEST(Lng, MessagesReadTheFileOncePerChange) {
  TempDir dir;
  std::string text = "[Project_Messages]\r\n";
  for (int i = 0; i < 20000; ++i) text += "Key" + std::to_string(i) + "=text " + std::to_string(i) + "\r\n";
  dir.Write("big.lng", text);
  FakeHost host;
  TLngINISupp lns(FsPath::FromUtf8(dir.Path()), host);
  lns.SetFileName("big.lng");
  TMsgINISupp mis(FsPath::FromUtf8(dir.Path()), &lns, nullptr);
  // Counts every opening of the file.
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.File("big.lng").c_str(), IN_OPEN), 0);
  const auto opens = [watch] {
    int n = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
      n += static_cast<int>(got / sizeof(inotify_event));
    return n;
  };
  for (int i = 0; i < 1000; ++i) {
    const TMessageScope scope(mis);
    ASSERT_EQ(mis.GetMessage("key" + std::to_string(i * 17)), "text " + std::to_string(i * 17));
  }
  EXPECT_EQ(opens(), 1);
  dir.Write("big.lng", "[Project_Messages]\r\nKey1=changed\r\n");
  opens();  // the writing itself
  for (int i = 0; i < 100; ++i) {
    const TMessageScope scope(mis);
    ASSERT_EQ(mis.GetMessage("Key1"), "changed");
  }
  EXPECT_EQ(opens(), 1);
  ::close(watch);
}

TEST(Lng, CaptionsAreWrittenWhenMissingAndAppliedExactly) {
  TempDir dir;
  FakeForm form1("Form1", {{"Button1", "Design one"}, {"Button2", "Design two"}, {"Bar.Panels[0]", "p0"}});
  FakeForm form2("Form2", {{"Button1", "Other form"}});
  FakeHost host;
  host.forms = {&form1};
  TLngINISupp lns(FsPath::FromUtf8(dir.Path()), host);
  lns.SetFileName("new.lng");

  // A missing file: warning, then created from the captions shown now.
  lns.ApplyLanguage();
  EXPECT_EQ(host.messages, std::vector<std::string>{kFileNotFoundText});
  TIniFile ini(dir.File("new.lng"));
  EXPECT_EQ(ini.ReadSectionValues("Form1"),
            (std::vector<std::pair<std::string, std::string>>{
                {"Button1", "Design one"}, {"Button2", "Design two"}, {"Bar.Panels[0]", "p0"}}));

  // Translated values win; a deleted key is written back with the caption shown; letter case counts.
  dir.Write("new.lng",
            "[Form1]\r\nButton1=First\r\nbutton2=lower case key\r\nBar.Panels[0]=panel\r\n"
            "[form2]\r\nButton1=lower case section\r\n");
  host.forms = {&form1, &form2};
  host.messages.clear();
  lns.ApplyLanguage();
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(form1.Text("Button1"), "First");
  EXPECT_EQ(form1.Text("Button2"), "Design two");
  EXPECT_EQ(form1.Text("Bar.Panels[0]"), "panel");
  EXPECT_EQ(form2.Text("Button1"), "Other form");
  EXPECT_EQ(ini.ReadString("Form1", "button2", ""), "lower case key");  // never changed
  EXPECT_EQ(ini.ReadString("form2", "Button1", ""), "lower case section");

  // No file name: the error is shown and nothing else happens.
  lns.SetFileName("");
  host.messages.clear();
  lns.ApplyLanguage();
  EXPECT_EQ(host.messages, std::vector<std::string>{kNoFileNameText});
}

TEST(Lng, LanguageListAndChoosingALanguage) {
  TempDir dir;
  dir.Write("english.lng", "[Language]\r\nLanguage=English\r\n[Form1]\r\nButton1=Send\r\n");
  dir.Write("russian.lng", "[Language]\r\nLanguage=\xd0\xf3\xf1\xf1\xea\xe8\xe9\r\n");
  dir.Write("zz-bad.lng", "[Language]\r\nLanguage=Bad\r\n");
  dir.Write("untitled.lng", "");
  dir.Write("notes.txt", "");
  const TLanguageList list = ListLanguages(FsPath::FromUtf8(dir.Path()));
  ASSERT_EQ(list.Entries.size(), 3u);
  EXPECT_EQ(list.Entries[0].BaseName, "english");
  EXPECT_EQ(list.Entries[0].Caption, "English");
  EXPECT_EQ(list.Entries[1].Caption, "\xd0\xf3\xf1\xf1\xea\xe8\xe9");
  EXPECT_EQ(list.Entries[2].Caption, "ERROR");
  EXPECT_NE(list.Error.find("zz-bad"), std::string::npos);
  EXPECT_FALSE(IsComponentName("1abc"));
  EXPECT_TRUE(IsComponentName("_abc1"));

  FakeForm form("Form1", {{"Button1", "\xce\xf2\xef\xf0\xe0\xe2\xe8\xf2\xfc"}});
  FakeHost host;
  host.forms = {&form};
  TLngINISupp lns(FsPath::FromUtf8(dir.Path()), host);
  lns.SetFileName("russian.lng");
  lns.ApplyLanguage();
  lns.ApplyLanguage();
  ASSERT_EQ(host.menus.size(), 1u);  // built once per run
  EXPECT_EQ(host.menus[0].size(), 3u);
  EXPECT_EQ(host.messages, std::vector<std::string>{list.Error});
  lns.ChooseLanguage(host.menus[0][0]);
  EXPECT_EQ(lns.ShortFileName(), "english.lng");
  EXPECT_EQ(form.Text("Button1"), "Send");
}

TEST(Lng, FormatTextFillsArgumentsAndNeverFails) {
  EXPECT_EQ(FormatText("%s sent bell %d", {"ann", "7"}), "ann sent bell 7");
  EXPECT_EQ(FormatText("%1:s before %0:s, then %s", {"a", "b"}), "b before a, then b");
  EXPECT_EQ(FormatText("100%% [%5s|%-3s]", {"ab", "c"}), "100% [   ab|c  ]");
  EXPECT_EQ(FormatText("%s and %s", {"only"}), "only and %s");
  EXPECT_EQ(FormatText("odd %q and %", {"x"}), "odd %q and %");
}

// The shipped language files cover every message key and every caption of both windows, and use
// double quotes in messages only as line separators.
TEST(Lng, ShippedFilesAreComplete) {
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::map<std::string, std::map<std::string, int>> directives;
  for (const char* name : {"russian.lng", "english.lng"}) {
    SCOPED_TRACE(name);
    const TIniFile ini(std::string(source) + "/data/lang/" + name);
    ASSERT_TRUE(ini.Exists());
    EXPECT_NE(ini.ReadString("Language", "Language", "ERROR"), "ERROR");
    for (const char* key : kMessageKeys) {
      const auto value = ini.Read("Project_Messages", key);
      ASSERT_TRUE(value.has_value()) << key;
      std::string rest = *value;
      for (std::size_t p; (p = rest.find("\"#13#10\"")) != std::string::npos;) rest.erase(p, 8);
      EXPECT_EQ(rest.find('"'), std::string::npos) << key;
      int count = 0;
      for (std::size_t p = 0; (p = rest.find('%', p)) != std::string::npos; p += 2) ++count;
      directives[key][name] = count;
    }
    for (const auto& c : kDesignCaptions)
      EXPECT_TRUE(ini.ValueExists(c.Form, c.Key)) << c.Form << "." << c.Key;
    // Text is code page 1251, not UTF-8: the Russian name reads back as cp1251 bytes.
    if (std::string(name) == "russian.lng") {
      EXPECT_EQ(ini.ReadString("Language", "Language", ""),
                Utf8ToCp1251("\xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb9"));
    }
  }
  for (const auto& [key, counts] : directives)
    EXPECT_EQ(counts.at("russian.lng"), counts.at("english.lng")) << key;
}

// Every message key the program's source asks for by name (a lookup, a text helper, a key or a
// problem's text given as a literal) is listed in kMessageKeys, so the test above holds the
// shipped files to it: a key the files lack would show "ERROR".
TEST(Lng, EveryKeyTheSourceAsksForIsListed) {
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::set<std::string> listed(kMessageKeys.begin(), kMessageKeys.end());
  const std::regex asked(
      R"re((?:\b(?:GetMessage|MsgAlone|Msg|Message|text|FileFilter)\(|\bkey = |\.Text = )"(\w+)"\s*[),;])re");
  int found = 0;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(std::filesystem::path(source) / "src")) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    std::ifstream code(entry.path());
    for (std::string line; std::getline(code, line);) {
      if (line.find('"') == std::string::npos) continue;
      for (std::sregex_iterator m(line.begin(), line.end(), asked), end; m != end; ++m, ++found)
        EXPECT_TRUE(listed.count((*m)[1])) << entry.path().filename().string() << ": " << (*m)[1];
    }
  }
  EXPECT_GT(found, 50);  // the pattern still finds the lookups
}

}  // namespace
}  // namespace plumo
