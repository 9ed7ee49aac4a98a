// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation log's records: markup removed, one record per displayed line, the name kept
// apart from the text; and a file that cannot be opened is reported, not ignored.
#include "app/conversation_log.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace plumo {
namespace {

TEST(ConversationLogTest, RecordsAreThePlainTextOfEachDisplayedLine) {
  struct Case {
    const char* name;
    std::string conversation;
    std::string line;
    std::string records;
  };
  const Case cases[] = {
      {"colour markers and the nick link go", "Main", "#^808080[12:00:01] #^000000:#anna^#K: hi#^000000",
       "Main\t[12:00:01] anna: hi\n"},
      {"a line break starts a record of the same conversation", "[12:00:02] <-anna,",
       "\r\n#^808080>anna\r\nok",
       "[12:00:02] <-anna,\t\n[12:00:02] <-anna,\t>anna\n[12:00:02] <-anna,\tok\n"},
      {"code page 1251 becomes UTF-8", "\xCA\xE0\xED\xE0\xEB", "\xEF\xF0\xE8\xE2\xE5\xF2",
       "\xD0\x9A\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB\t\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n"},
      {"a tab or line break in the name cannot end the name early", "a\tb\r\nc", "x\ty", "a b  c\tx\ty\n"},
      {"a lone # is text, not a colour", "#", "#1 #^12 x", "#\t#1 #^12 x\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConversationLogRecords(c.conversation, c.line), c.records) << c.name;
  }
}

// A conversation view that records each call it gets as one word, with its index.
class NullView : public ConversationView {
 public:
  void ConversationAdded(int index, const Conversation&) override { Got("added", index); }
  void ConversationRemoved(int index) override { Got("removed", index); }
  void CurrentChanged(int, int to, ViewMode) override { Got("current", to); }
  void LineAdded(int index, const std::string&, const std::string&) override { Got("line", index); }
  void IconsChanged(const std::vector<Conversation>&) override { Got("icons", 0); }
  void ModeChanged(int index, ViewMode) override { Got("mode", index); }
  void ScrollToEnd() override { Got("end", 0); }
  void HistoryAdded(int index, const std::vector<std::string>& lines) override {
    Got("history" + std::to_string(lines.size()), index);
  }
  void ShowHistoryRow(int index, int row) override { Got("row" + std::to_string(row), index); }
  void OldestDropped(int index, int rows) override { Got("dropped" + std::to_string(rows), index); }
  void NoticeAdded(int index, const std::string&, const std::string&) override { Got("notice", index); }
  void MarkAdded(int index, const TDeliveryMark&) override { Got("mark", index); }
  void MarkChanged(const TDeliveryMark&) override { Got("markchanged", -1); }
  void Got(const std::string& what, int index) {
    calls.push_back(what + "@" + std::to_string(index));
    lastIndex = index;
  }
  std::vector<std::string> calls;
  int lastIndex = -1;
};
struct NullSeams : InputEditor, RosterView, WindowSurface, SoundOutput, CoreTimers {
  std::string ContentToMarkup() override { return {}; }
  std::string PlainText() override { return {}; }
  void ClearInput() override {}
  void SetText(const std::string&) override {}
  void RosterRebuilt(const std::vector<RosterRow>&) override {}
  void RowIconChanged(int, int) override {}
  void SelectionChanged(const std::vector<RosterRow>&) override {}
  void TotalChanged(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void AskText(const std::string&, const std::string&, const std::string&, TextAnswer) override {}
  void ConfirmLostCharacters(const std::string&, const std::vector<TUnencodableChar>&,
                             std::function<void(bool)>) override {}
  void PlayFile(const FsPath&) override {}
  void SetCoreTimer(CoreTimer, bool, int) override {}
};

TEST(ConversationLogTest, WrappedViewsStillGetTheirLinesAndTheFileGetsThemAppended) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("plumo-log-test-" + std::to_string(::getpid()));
  std::ofstream(file) << "earlier\n";
  std::string error;
  std::unique_ptr<ConversationLog> log = ConversationLog::Open(file.string(), &error);
  ASSERT_NE(log, nullptr) << error;
  NullView channels, inputs;
  NullSeams seams;
  PosixSystem system;
  const CoreSurfaces wrapped =
      log->Wrap(CoreSurfaces{channels, inputs, seams, seams, seams, seams, seams, system});
  wrapped.Channels.LineAdded(2, "Main", "one");
  wrapped.Inputs.LineAdded(1, "[1] <-bob,", "two");
  EXPECT_EQ(channels.lastIndex, 2);
  EXPECT_EQ(inputs.lastIndex, 1);
  std::stringstream text;
  text << std::ifstream(file).rdbuf();
  EXPECT_EQ(text.str(), "earlier\nMain\tone\n[1] <-bob,\ttwo\n");

  // Every other call reaches the wrapped view unchanged (the stored history of a channel was lost in
  // the window when the wrapper swallowed its calls); of them only a notice is logged.
  const std::vector<std::pair<std::function<void(ConversationView&)>, std::string>> calls = {
      {[](ConversationView& v) { v.ConversationAdded(3, Conversation{}); }, "added@3"},
      {[](ConversationView& v) { v.ConversationRemoved(3); }, "removed@3"},
      {[](ConversationView& v) { v.CurrentChanged(1, 2, ModeLog); }, "current@2"},
      {[](ConversationView& v) { v.IconsChanged({}); }, "icons@0"},
      {[](ConversationView& v) { v.ModeChanged(2, ModeReply); }, "mode@2"},
      {[](ConversationView& v) { v.ScrollToEnd(); }, "end@0"},
      {[](ConversationView& v) {
         v.HistoryAdded(2, {"old", "older"});
       },
       "history2@2"},
      {[](ConversationView& v) { v.ShowHistoryRow(2, 7); }, "row7@2"},
      {[](ConversationView& v) { v.OldestDropped(2, 500); }, "dropped500@2"},
      {[](ConversationView& v) { v.NoticeAdded(2, "Main", "#^FF0000not sent"); }, "notice@2"},
  };
  for (const auto& [call, expected] : calls) {
    channels.calls.clear();
    call(wrapped.Channels);
    EXPECT_EQ(channels.calls, std::vector<std::string>{expected});
  }
  std::stringstream after;
  after << std::ifstream(file).rdbuf();
  EXPECT_EQ(after.str(), text.str() + "Main\tnot sent\n");
  std::filesystem::remove(file);

  EXPECT_EQ(ConversationLog::Open("/nonexistent-dir/x.log", &error), nullptr);
  EXPECT_NE(error, "");
}

}  // namespace
}  // namespace plumo
