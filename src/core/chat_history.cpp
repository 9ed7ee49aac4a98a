// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chat_history.h"

#include <algorithm>
#include <fstream>

#include "core/texts.h"
#include "lang/codepage.h"
#include "lang/textcase.h"

namespace plumo {

namespace {

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;
// The most lines OpenAt loads to reach a line far back; beyond it the tab opens at its last page.
constexpr int kOpenAtLimit = 20000;

}  // namespace

std::string TChatHistory::Key(const std::string& channel) {
  return Cp1251UpperCase(channel);
}

TChatHistory::TChatHistory(const TSettings& settings, const TClock& clock, const TEngineSlot& engine,
                           TMsgINISupp& messages, TConversationList& channels,
                           const TConversationList& inputs, TTabControl& tabs)
    : settings_(settings),
      clock_(clock),
      engine_(engine),
      texts_(messages),
      channels_(channels),
      inputs_(inputs),
      tabs_(tabs) {
  // A notice about the history itself is shown but not stored.
  channels_.SetStoredLines([this] { return Enabled() && !recordingNotice_; });
}

TChatHistory::~TChatHistory() {
  Close();
  channels_.SetStoredLines(nullptr);
}

void TChatHistory::UpdateWindow() {
  channels_.SetWindow(Enabled() ? shownLines_ : 0);
}

void TChatHistory::Open(const FsPath& path, const THistoryOptions& options) {
  Close();
  path_ = path;
  options_ = options;
  if (!settings_.KeepHistory) return;
  store_ = THistoryStore::Open(path.Utf8(), options);
  UpdateWindow();
  DropExpired();
  TellNotices();
  TConversationList& channels = channels_;
  for (int i = 1; i < channels.Count(); ++i) ShowOnOpen(i);
}

void TChatHistory::SettingsChanged() {
  if (settings_.KeepHistory && !store_ && !path_.Empty()) {
    Open(path_, options_);
  } else if (!settings_.KeepHistory && store_) {
    Close();
  } else if (settings_.HistoryDays != dropDays_ || clock_.NowMs() - lastDrop_ >= kDayMs) {
    // Every save of the settings comes here (the dialog saves whenever it loses activation): an
    // expiry starts only when the kept days changed, or when the daily one is due.
    DropExpired();
  }
}

void TChatHistory::DropExpired() {
  lastDrop_ = clock_.NowMs();
  dropDays_ = settings_.HistoryDays;
  if (Enabled() && settings_.HistoryDays > 0)
    store_->ExpireOlderThan(lastDrop_ - settings_.HistoryDays * kDayMs);
}

void TChatHistory::Close() {
  if (!store_) return;
  store_->Flush();
  store_.reset();
  UpdateWindow();
  // What the tabs show stays: history switched off and on again must not show it a second time.
}

void TChatHistory::Record(THistoryLine line) {
  if (!Enabled()) {
    // The writer thread turns a failing store off between two lines: its notice is told by the
    // first line that finds it off (once; the notice itself is not stored).
    TellNotices();
    return;
  }
  line.TimeMs = clock_.NowMs();
  // A chat that runs for weeks drops expired lines once a day.
  if (line.TimeMs - lastDrop_ >= kDayMs) DropExpired();
  store_->Append(std::move(line));
  TellNotices();
}

void TChatHistory::ChannelLine(const std::string& channel, const std::string& address,
                               const std::string& nick, const std::string& text) {
  RecordInChannel(HistoryKind::ChannelLine, channel, address, nick, text);
}

void TChatHistory::Topic(const std::string& channel, const std::string& address, const std::string& nick,
                         const std::string& text) {
  RecordInChannel(HistoryKind::Topic, channel, address, nick, text);
}

void TChatHistory::RecordInChannel(HistoryKind kind, const std::string& channel, const std::string& address,
                                   const std::string& nick, const std::string& text) {
  THistoryLine line;
  line.Kind = kind;
  line.Conversation = {ConversationKind::Channel, channel};
  line.SenderAddress = address;
  line.SenderNick = nick;
  line.Markup = text;
  Record(std::move(line));
}

void TChatHistory::Message(HistoryKind kind, bool outgoing, const std::string& peerAddress,
                           const std::string& peerNick, const std::string& text, std::int64_t messageId) {
  THistoryLine line;
  line.Message = messageId;
  line.Kind = kind;
  line.Outgoing = outgoing;
  if (peerAddress == "@") {
    line.Conversation = {ConversationKind::Everybody, "@"};
  } else {
    line.Conversation = {ConversationKind::Peer, peerAddress};
    line.PeerNick = peerNick;
  }
  if (outgoing) {
    if (engine_) {
      line.SenderAddress = engine_->MyAddress;
      line.SenderNick = engine_->Nick();
    }
  } else {
    line.SenderAddress = peerAddress;
    line.SenderNick = peerNick;
  }
  line.Markup = text;
  Record(std::move(line));
}

void TChatHistory::Notice(const std::string& text) {
  // A notice about the history itself is not stored again (a full disk would report itself).
  if (recordingNotice_) return;
  THistoryLine line;
  line.Kind = HistoryKind::Notice;
  line.Conversation = {ConversationKind::Channel, "#"};
  line.Markup = text;
  Record(std::move(line));
}

std::string TChatHistory::Caption(const TConversationKey& key, const std::string& peerNick,
                                  const std::string& everybody) {
  switch (key.Kind) {
    case ConversationKind::Channel:
      return key.Name;
    case ConversationKind::Peer:
      return "@" + (peerNick.empty() ? key.Name : peerNick + " [" + key.Name + "]");
    case ConversationKind::Everybody:
      break;
  }
  return everybody;
}

std::string TChatHistory::Shown(const THistoryLine& line, const std::string& topic) {
  return kGrey + Text(line, topic, true);
}

std::string TChatHistory::Text(const THistoryLine& line, const std::string& topic, bool keepBreaks) {
  std::string who;
  switch (line.Kind) {
    case HistoryKind::ChannelLine:
      who = line.SenderNick + ": ";
      break;
    case HistoryKind::Topic:
      who = line.SenderNick + " -> " + topic + ": ";
      break;
    case HistoryKind::Private:
    case HistoryKind::Mass:
      who = line.Outgoing ? "-> " +
                                (line.Conversation.Kind == ConversationKind::Everybody ? std::string("@")
                                                                                       : line.PeerNick) +
                                ": "
                          : line.SenderNick + (line.Kind == HistoryKind::Mass ? " (@)" : "") + ": ";
      break;
    case HistoryKind::Notice:
      break;
  }
  std::string text;
  text.reserve(line.Plain.size());
  // Every break (CR LF, CR, LF) becomes one CR LF, as a line on the wire has it, or one blank.
  for (std::size_t i = 0; i < line.Plain.size(); ++i) {
    const char c = line.Plain[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < line.Plain.size() && line.Plain[i + 1] == '\n') ++i;
      text += keepBreaks ? "\r\n" : " ";
    } else {
      text += c;
    }
  }
  const std::string status = line.Status.empty() ? std::string() : "  [" + line.Status + "]";
  return "[" + DateTimeText(line.TimeMs) + "] " + who + text + status;
}

void TChatHistory::ShowOnOpen(int channelIndex) {
  const std::optional<TConversationKey> key = ChannelKey(channelIndex);
  if (!key || !Enabled() || settings_.HistoryLines <= 0) return;
  TShownHistory& shown = shown_[Key(key->Name)];
  if (shown.Oldest != 0) return;
  AddPage(channelIndex, shown, store_->Last(*key, std::min(settings_.HistoryLines, 10000)), true);
}

bool TChatHistory::LoadOlder(int channelIndex) {
  const std::optional<TConversationKey> key = ChannelKey(channelIndex);
  if (!key || !Enabled()) return false;
  TShownHistory& shown = shown_[Key(key->Name)];
  FollowDropped(channelIndex, *key, shown);
  if (shown.Oldest <= 0) return false;
  const int page = std::clamp(settings_.HistoryLines, 50, 10000);
  return AddPage(channelIndex, shown, store_->Last(*key, page, shown.Oldest), false);
}

bool TChatHistory::AddPage(int channelIndex, TShownHistory& shown, const std::vector<THistoryLine>& lines,
                           bool divider) {
  if (lines.empty()) {
    shown.Oldest = -1;
    return false;
  }
  shown.Oldest = lines.front().Id;
  shown.Rows += static_cast<int>(lines.size());
  std::vector<std::string> texts;
  texts.reserve(lines.size() + 1);
  const std::string topic = texts_.MsgAlone("HistoryTopic");
  for (const auto& line : lines) texts.push_back(Shown(line, topic));
  if (divider) texts.push_back(kGrey + texts_.MsgAlone("HistoryDivider"));
  channels_.AddHistory(channelIndex, texts, divider);
  return true;
}

void TChatHistory::FollowDropped(int channelIndex, const TConversationKey& key, TShownHistory& shown) {
  TShownRows& rows = channels_.Rows(channelIndex);
  if (!rows.Trimmed()) return;
  rows.ClearTrimmed();
  const int kept = rows.StoredRows();
  // With no stored row left in the tab, the newest stored line is the first one dropped.
  shown.Oldest = INT64_MAX;
  if (kept > 0) {
    const std::vector<THistoryLine> newest = store_->Last(key, kept);
    if (static_cast<int>(newest.size()) == kept)
      shown.Oldest = newest.front().Id;
    else
      shown.Oldest = -1;  // the store holds no more than the tab shows
  }
  // The rows at the top that are stored lines stand for the stored lines from Oldest on (OpenAt).
  shown.Rows = rows.LeadingStored();
}

std::vector<std::string> TChatHistory::LastLines(const TConversationKey& conversation, int count,
                                                 int* markedRow) {
  std::vector<std::string> lines;
  if (markedRow != nullptr) *markedRow = -1;
  if (!Enabled() || count <= 0) return lines;
  // The line OpenAt asked for is marked by the display that follows it, or not at all.
  std::optional<THistoryLine> marked;
  if (markedRow != nullptr) marked.swap(marked_);
  if (marked && !(marked->Conversation == conversation)) marked.reset();
  // A line to mark that is older than the last `count`: as many lines as reach back to it.
  if (marked) {
    const auto since = static_cast<int>(store_->From(conversation, marked->Id, kOpenAtLimit).size());
    count = std::max(count, since);
  }
  const std::vector<THistoryLine> stored = store_->Last(conversation, count);
  const std::string topic = texts_.MsgAlone("HistoryTopic");
  for (const auto& line : stored) {
    if (marked && line.Id == marked->Id) *markedRow = static_cast<int>(lines.size());
    lines.push_back(Text(line, topic, true));
  }
  return lines;
}

std::vector<THistoryHit> TChatHistory::Search(const std::string& query, int limit, std::int64_t beforeId,
                                              const TConversationKey* conversation) {
  if (!Enabled()) return {};
  return store_->Search(query, limit, beforeId, conversation);
}

std::optional<TConversationKey> TChatHistory::ChannelKey(int channelIndex) const {
  const TConversationList& channels = channels_;
  if (channelIndex < 0 || channelIndex >= channels.Count()) return std::nullopt;
  return TConversationKey{ConversationKind::Channel, channels.At(channelIndex).Name};
}

std::optional<TConversationKey> TChatHistory::MessageKey(int messageIndex) const {
  const TConversationList& inputs = inputs_;
  if (messageIndex <= 0 || messageIndex >= inputs.Count()) return std::nullopt;
  const Conversation& c = inputs.At(messageIndex);
  if (c.MassMessage) return TConversationKey{ConversationKind::Everybody, "@"};
  std::string address = c.Recipients;
  if (!address.empty() && address[0] == ',') address.erase(0, 1);
  if (address.empty() || address.find(',') != std::string::npos) return std::nullopt;
  return TConversationKey{ConversationKind::Peer, address};
}

bool TChatHistory::OpenAt(const THistoryLine& line) {
  if (!Enabled()) return false;
  if (line.Conversation.Kind != ConversationKind::Channel) {
    // Marked when the message tab shows its history, which happens as it is shown.
    marked_ = line;
    const TConversationList& inputs = inputs_;
    for (int i = 1; i < inputs.Count(); ++i) {
      if (MessageKey(i) == line.Conversation) {
        tabs_.SelectMessageTab(i);
        return true;
      }
    }
    if (line.Conversation.Kind == ConversationKind::Everybody) {
      // The same tab as the toolbar's message to everybody.
      const std::string everybody = "@" + texts_.MsgAlone("MultiMessage");
      tabs_.OpenReplyTab(everybody, everybody, true);
      return true;
    }
    const std::string nick = line.PeerNick.empty() ? line.Conversation.Name : line.PeerNick;
    tabs_.OpenReplyTab("," + line.Conversation.Name, "," + nick, false);
    return true;
  }
  TConversationList& channels = channels_;
  const int index = channels.IndexOf(line.Conversation.Name);
  if (index < 0) return false;
  tabs_.SelectChannelTab(index);
  ShowOnOpen(index);
  TShownHistory& shown = shown_[Key(channels.At(index).Name)];
  FollowDropped(index, line.Conversation, shown);
  while (shown.Oldest > line.Id && shown.Rows < kOpenAtLimit && LoadOlder(index)) {
  }
  if (shown.Oldest <= 0 || shown.Oldest > line.Id) return true;
  // The row of the line among the loaded history: the loaded lines before it.
  const std::vector<THistoryLine> loaded = store_->From(line.Conversation, shown.Oldest, shown.Rows);
  const auto at = std::find_if(loaded.begin(), loaded.end(),
                               [&](const THistoryLine& stored) { return stored.Id == line.Id; });
  if (at != loaded.end()) channels.ShowHistoryRow(index, static_cast<int>(at - loaded.begin()));
  return true;
}

std::int64_t TChatHistory::Delete(const TConversationKey& conversation) {
  if (!Enabled()) return 0;
  const std::int64_t removed = store_->DeleteConversation(conversation);
  TellDeleted(removed, Caption(conversation, {}, texts_.MsgAlone("Everybody")));
  return removed;
}

std::int64_t TChatHistory::DeleteAll() {
  if (!Enabled()) return 0;
  const std::int64_t removed = store_->DeleteAll();
  shown_.clear();
  TellDeleted(removed, "*");
  return removed;
}

// The console says what was deleted; that line is not stored, so deleting everything leaves
// nothing behind.
void TChatHistory::TellDeleted(std::int64_t removed, const std::string& what) {
  recordingNotice_ = true;
  tabs_.ConsoleAdd(kGrey + FormatText(texts_.MsgAlone("HistoryDeleted"), {std::to_string(removed), what}));
  recordingNotice_ = false;
}

bool TChatHistory::Export(const TConversationKey& conversation, const FsPath& path) {
  bool written = false;
  if (Enabled()) {
    std::ofstream out(path.Native(), std::ios::binary | std::ios::trunc);
    const std::string topic = texts_.MsgAlone("HistoryTopic");
    std::int64_t from = 0;
    while (out) {
      const std::vector<THistoryLine> page = store_->From(conversation, from, 5000);
      for (const auto& line : page) {
        out << Cp1251ToUtf8(Text(line, topic)) << '\n';
      }
      if (page.size() < 5000) break;
      from = page.back().Id + 1;
    }
    out.flush();
    written = static_cast<bool>(out);
  }
  const TMessageScope scope(texts_.Messages());
  if (written) {
    tabs_.ConsoleAdd(kGrey + FormatText(texts_.Msg("HistoryExported"), {path.ToCp1251()}));
  } else {
    tabs_.ConsoleError(FormatText(texts_.Msg("HistoryExportFailed"), {path.ToCp1251()}));
  }
  return written;
}

void TChatHistory::TellNotices() {
  if (!store_) return;
  const std::vector<THistoryNotice> notices = store_->TakeNotices();
  if (notices.empty()) return;
  // A store that turned itself off keeps no more lines: the tabs keep theirs from now on.
  UpdateWindow();
  recordingNotice_ = true;
  const TMessageScope scope(texts_.Messages());
  for (const auto& notice : notices) {
    if (notice.Kind == THistoryNotice::SetAside) {
      tabs_.ConsoleError(FormatText(texts_.Msg("HistorySetAside"), {notice.Detail}));
    } else if (notice.Kind == THistoryNotice::QueueFull) {
      tabs_.ConsoleError(FormatText(texts_.Msg("HistoryQueueFull"), {notice.Detail}));
    } else {
      tabs_.ConsoleError(FormatText(texts_.Msg("HistoryOff"), {notice.Detail}));
    }
  }
  recordingNotice_ = false;
}

}  // namespace plumo
