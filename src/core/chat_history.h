// SPDX-License-Identifier: GPL-3.0-or-later
// TChatHistory: what the conversations showed, kept across runs in history.db beside chat.ini, and
// shown again. Every part of the core that shows a line hands it here as well (channel lines,
// topics, private and mass messages in both directions, console notices); a channel tab gets its
// last lines from the store when it opens, older pages when the user scrolls up; search, deletion
// and export work on the store. With history off (or the store turned off after a failure) all of it
// is a quiet no-op. While the store keeps lines, a channel tab shows only its newest kShownLines
// rows (see TConversationList::SetWindow); LoadOlder continues from the last row it dropped.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/conversations.h"
#include "core/history_store.h"
#include "core/line_events.h"
#include "core/settings.h"
#include "core/slots.h"
#include "core/tab_control.h"
#include "core/texts.h"

namespace plumo {

// The history database's file name in the program's directory.
inline constexpr char kHistoryFile[] = "history.db";
// The most rows a channel tab (the console included) keeps while the history store keeps its lines:
// older rows leave memory and come back from the store when the user scrolls up. With history off
// a tab keeps everything.
inline constexpr int kShownLines = 5000;

class TChatHistory final : public TLineObserver {
 public:
  // channels and inputs: the conversations of the two tab strips (the keys of their tabs; a page of
  // older lines goes to a channel's view); tabs shows the conversation of a stored line and tells
  // the history's notices in the console; engine gives the own address and nick of sent messages.
  TChatHistory(const TSettings& settings, const TClock& clock, const TEngineSlot& engine,
               TMsgINISupp& messages, TConversationList& channels, const TConversationList& inputs,
               TTabControl& tabs);
  ~TChatHistory() override;

  // Opens the store when the settings keep history (after the settings are loaded), drops lines
  // older than the kept days, and shows each channel tab's last lines.
  void Open(const FsPath& path, const THistoryOptions& options = {});
  // Commits what is queued and closes the store.
  void Close();
  // The settings changed: history switched on opens the store (at the path of the last Open),
  // switched off closes it; lines older than the kept days go.
  void SettingsChanged();
  bool Enabled() const { return store_ && store_->Enabled(); }
  // The most rows a channel tab keeps while the store keeps lines (kShownLines unless a test sets
  // fewer).
  void SetShownLines(int rows) {
    shownLines_ = rows;
    UpdateWindow();
  }
  // The store itself (tests and benchmarks); null while history is off.
  THistoryStore* Store() { return store_.get(); }

  // --- Recording: the lines the conversations show (code page 1251 as everywhere in the core).
  void ChannelLine(const std::string& channel, const std::string& address, const std::string& nick,
                   const std::string& text) override;
  void Topic(const std::string& channel, const std::string& address, const std::string& nick,
             const std::string& text) override;
  // A private or mass message received from, or sent to, a peer; own mass messages go to the
  // conversation with everybody (peerAddress "@").
  void Message(HistoryKind kind, bool outgoing, const std::string& peerAddress, const std::string& peerNick,
               const std::string& text, std::int64_t messageId) override;
  void Notice(const std::string& line) override;

  // --- Showing.
  // Shows the last lines of the channel tab at index above what it shows (once per tab and run).
  void ShowOnOpen(int channelIndex);
  void ChannelOpened(int channelIndex) override { ShowOnOpen(channelIndex); }
  // The channel's tab was closed with what it showed: a tab opened for it again starts afresh.
  void ChannelClosed(const std::string& channel) override { shown_.erase(Key(channel)); }
  // The user scrolled to the top of the channel tab at index: the next older page goes above what
  // it shows. False when there is nothing older.
  bool LoadOlder(int channelIndex);
  // The last `count` stored lines of a conversation (for a peer: the private and mass messages of
  // both directions), oldest first, as Text gives them with their line breaks. When OpenAt asked to
  // show a line of this conversation, enough lines to hold it are given and *markedRow (if given)
  // is its row among them (once; -1 otherwise).
  std::vector<std::string> LastLines(const TConversationKey& conversation, int count,
                                     int* markedRow = nullptr);
  // How a conversation is named to the user: a channel by its name, a peer as "@nick [address]"
  // ("@address" without a nick), everybody as `everybody` (the language file's "Everybody" where a
  // person reads it, "@" in the headless peer's output).
  static std::string Caption(const TConversationKey& key, const std::string& peerNick = {},
                             const std::string& everybody = "@");
  // One stored line as the history shows it: grey, with date and time, the sender and the text,
  // whose line breaks stay (as CR LF), and the stored delivery status in brackets after it. A topic change
  // reads "nick -> topic: text", topic being the language file's "HistoryTopic".
  static std::string Shown(const THistoryLine& line, const std::string& topic);
  // The same without the colour; without keepBreaks each line break becomes a blank, so that a
  // stored line is one line of text (an exported file, the headless peer's output).
  static std::string Text(const THistoryLine& line, const std::string& topic, bool keepBreaks = false);

  // --- Search, deletion, export.
  std::vector<THistoryHit> Search(const std::string& query, int limit, std::int64_t beforeId = INT64_MAX,
                                  const TConversationKey* conversation = nullptr);
  // Opens the conversation of a stored line: a channel tab is shown with history loaded down to
  // that line (whose row among the loaded lines the view is told to show); a peer conversation or
  // the one with everybody shows its message tab (an open one, else a new one), whose history then
  // marks the line (LastLines). False when there is no tab for it.
  bool OpenAt(const THistoryLine& line);
  // The conversation a tab of either strip stands for; nullopt for the line editor, message drafts
  // to several peers, and unknown tabs.
  std::optional<TConversationKey> ChannelKey(int channelIndex) const;
  std::optional<TConversationKey> MessageKey(int messageIndex) const;
  // Deletes a conversation's history (or all of it) and says so in the console.
  std::int64_t Delete(const TConversationKey& conversation);
  std::int64_t DeleteAll();
  // Writes a conversation's history to a UTF-8 text file (a path of the file system), one
  // line per stored line; false (with a red console line) when the file cannot be written.
  bool Export(const TConversationKey& conversation, const FsPath& path);

  // Takes the store's notices and tells them in the console (Open and every line recorded call this,
  // also once the store has turned itself off).
  void TellNotices();

 private:
  void Record(THistoryLine line);
  void RecordInChannel(HistoryKind kind, const std::string& channel, const std::string& address,
                       const std::string& nick, const std::string& text);
  // Deletes the lines older than the days the settings keep (none when they keep all).
  void DropExpired();
  // Bounds the channel tabs to kShownLines rows while the store keeps lines, else lets them keep all.
  void UpdateWindow();
  void TellDeleted(std::int64_t removed, const std::string& what);

  const TSettings& settings_;
  const TClock& clock_;
  const TEngineSlot& engine_;
  TTexts texts_;
  TConversationList& channels_;
  const TConversationList& inputs_;
  TTabControl& tabs_;
  std::unique_ptr<THistoryStore> store_;
  FsPath path_;
  std::int64_t lastDrop_ = 0;  // local clock of the last DropExpired
  int dropDays_ = 0;           // the kept days it expired with
  THistoryOptions options_;
  int shownLines_ = kShownLines;
  // The stored lines a channel tab shows above its own.
  struct TShownHistory {
    std::int64_t Oldest = 0;  // the oldest line's id; 0 before the tab opened, -1 when none is older
    int Rows = 0;             // how many stored lines it shows
  };
  // Adds a page of stored lines (oldest first) above what the tab shows, with the divider below
  // the first page; false when the page is empty (nothing older).
  bool AddPage(int channelIndex, TShownHistory& shown, const std::vector<THistoryLine>& lines, bool divider);
  // After the tab dropped its oldest rows: the rows it still shows that are stored are the newest
  // stored lines of its conversation, so the oldest of them is where the next page ends.
  void FollowDropped(int channelIndex, const TConversationKey& key, TShownHistory& shown);

  // By channel name (upper case).
  static std::string Key(const std::string& channel);
  std::map<std::string, TShownHistory> shown_;
  // The line of a peer conversation (or everybody's) that OpenAt opened, until LastLines marks it.
  std::optional<THistoryLine> marked_;
  // Set while the console shows a line about the history itself, which is not stored.
  bool recordingNotice_ = false;
};

}  // namespace plumo
