// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chat_history.h"

#include <algorithm>
#include <fstream>

#include "core/tabstrips.h"
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

TChatHistory::TChatHistory(TCoreContext& ctx, TTabStrips& tabs) : c_(ctx), tabs_(tabs) {}

TChatHistory::~TChatHistory() {
  Close();
}

void TChatHistory::Open(const FsPath& path, const THistoryOptions& options) {
  Close();
  path_ = path;
  options_ = options;
  if (!c_.Settings.KeepHistory) return;
  store_ = THistoryStore::Open(path.Utf8(), options);
  DropExpired();
  TellNotices();
  TConversationList& channels = tabs_.Channels();
  for (int i = 1; i < channels.Count(); ++i) ShowOnOpen(i);
}

void TChatHistory::SettingsChanged() {
  if (c_.Settings.KeepHistory && !store_ && !path_.Empty()) {
    Open(path_, options_);
  } else if (!c_.Settings.KeepHistory && store_) {
    Close();
  } else if (c_.Settings.HistoryDays != dropDays_ || c_.Surfaces.System.NowLocalMs() - lastDrop_ >= kDayMs) {
    // Every save of the settings comes here (the dialog saves whenever it loses activation): an
    // expiry starts only when the kept days changed, or when the daily one is due.
    DropExpired();
  }
}

void TChatHistory::DropExpired() {
  lastDrop_ = c_.Surfaces.System.NowLocalMs();
  dropDays_ = c_.Settings.HistoryDays;
  if (Enabled() && c_.Settings.HistoryDays > 0)
    store_->ExpireOlderThan(lastDrop_ - c_.Settings.HistoryDays * kDayMs);
}

void TChatHistory::Close() {
  if (!store_) return;
  store_->Flush();
  store_.reset();
  // What the tabs show stays: history switched off and on again must not show it a second time.
}

void TChatHistory::Record(THistoryLine line) {
  if (!Enabled()) return;
  line.TimeMs = c_.Surfaces.System.NowLocalMs();
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
                           const std::string& peerNick, const std::string& text) {
  THistoryLine line;
  line.Kind = kind;
  line.Outgoing = outgoing;
  if (peerAddress == "@") {
    line.Conversation = {ConversationKind::Everybody, "@"};
  } else {
    line.Conversation = {ConversationKind::Peer, peerAddress};
    line.PeerNick = peerNick;
  }
  if (outgoing) {
    if (c_.Engine) {
      line.SenderAddress = c_.Engine->MyAddress;
      line.SenderNick = c_.Engine->Nick();
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

std::string TChatHistory::Shown(const THistoryLine& line) {
  return kGrey + Text(line, true);
}

std::string TChatHistory::Text(const THistoryLine& line, bool keepBreaks) {
  std::string who;
  switch (line.Kind) {
    case HistoryKind::ChannelLine:
      who = line.SenderNick + ": ";
      break;
    case HistoryKind::Topic:
      who = line.SenderNick + " -> topic: ";
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
  return "[" + DateTimeText(line.TimeMs) + "] " + who + text;
}

void TChatHistory::ShowOnOpen(int channelIndex) {
  const std::optional<TConversationKey> key = ChannelKey(channelIndex);
  if (!key || !Enabled() || c_.Settings.HistoryLines <= 0) return;
  TShownHistory& shown = shown_[Key(key->Name)];
  if (shown.Oldest != 0) return;
  AddPage(channelIndex, shown, store_->Last(*key, std::min(c_.Settings.HistoryLines, 10000)), true);
}

bool TChatHistory::LoadOlder(int channelIndex) {
  const std::optional<TConversationKey> key = ChannelKey(channelIndex);
  if (!key || !Enabled()) return false;
  TShownHistory& shown = shown_[Key(key->Name)];
  if (shown.Oldest <= 0) return false;
  const int page = std::clamp(c_.Settings.HistoryLines, 50, 10000);
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
  for (const auto& line : lines) texts.push_back(Shown(line));
  if (divider) texts.push_back(kGrey + c_.MsgAlone("HistoryDivider"));
  tabs_.Channels().AddHistory(channelIndex, texts);
  return true;
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
  for (const auto& line : stored) {
    if (marked && line.Id == marked->Id) *markedRow = static_cast<int>(lines.size());
    lines.push_back(Text(line, true));
  }
  return lines;
}

std::vector<THistoryHit> TChatHistory::Search(const std::string& query, int limit, std::int64_t beforeId,
                                              const TConversationKey* conversation) {
  if (!Enabled()) return {};
  return store_->Search(query, limit, beforeId, conversation);
}

std::optional<TConversationKey> TChatHistory::ChannelKey(int channelIndex) const {
  const TConversationList& channels = tabs_.Channels();
  if (channelIndex < 0 || channelIndex >= channels.Count()) return std::nullopt;
  return TConversationKey{ConversationKind::Channel, channels.At(channelIndex).Name};
}

std::optional<TConversationKey> TChatHistory::MessageKey(int messageIndex) const {
  const TConversationList& inputs = tabs_.Inputs();
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
    const TConversationList& inputs = tabs_.Inputs();
    for (int i = 1; i < inputs.Count(); ++i) {
      if (MessageKey(i) == line.Conversation) {
        tabs_.SelectMessageTab(i);
        return true;
      }
    }
    if (line.Conversation.Kind == ConversationKind::Everybody) {
      // The same tab as the toolbar's message to everybody.
      const std::string everybody = "@" + c_.MsgAlone("MultiMessage");
      tabs_.OpenReplyTab(everybody, everybody, true);
      return true;
    }
    const std::string nick = line.PeerNick.empty() ? line.Conversation.Name : line.PeerNick;
    tabs_.OpenReplyTab("," + line.Conversation.Name, "," + nick, false);
    return true;
  }
  TConversationList& channels = tabs_.Channels();
  const int index = channels.IndexOf(line.Conversation.Name);
  if (index < 0) return false;
  tabs_.SelectChannelTab(index);
  ShowOnOpen(index);
  const TShownHistory& shown = shown_[Key(channels.At(index).Name)];
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
  TellDeleted(removed, Caption(conversation, {}, c_.MsgAlone("Everybody")));
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
  tabs_.ConsoleAdd(kGrey + FormatText(c_.MsgAlone("HistoryDeleted"), {std::to_string(removed), what}));
  recordingNotice_ = false;
}

bool TChatHistory::Export(const TConversationKey& conversation, const FsPath& path) {
  bool written = false;
  if (Enabled()) {
    std::ofstream out(path.Native(), std::ios::binary | std::ios::trunc);
    std::int64_t from = 0;
    while (out) {
      const std::vector<THistoryLine> page = store_->From(conversation, from, 5000);
      for (const auto& line : page) {
        out << Cp1251ToUtf8(Text(line)) << '\n';
      }
      if (page.size() < 5000) break;
      from = page.back().Id + 1;
    }
    out.flush();
    written = static_cast<bool>(out);
  }
  const TMessageScope scope(c_.Messages);
  if (written) {
    tabs_.ConsoleAdd(kGrey + FormatText(c_.Msg("HistoryExported"), {path.ToCp1251()}));
  } else {
    tabs_.ConsoleError(FormatText(c_.Msg("HistoryExportFailed"), {path.ToCp1251()}));
  }
  return written;
}

void TChatHistory::TellNotices() {
  if (!store_) return;
  const std::vector<THistoryNotice> notices = store_->TakeNotices();
  if (notices.empty()) return;
  recordingNotice_ = true;
  const TMessageScope scope(c_.Messages);
  for (const auto& notice : notices) {
    if (notice.Kind == THistoryNotice::SetAside) {
      tabs_.ConsoleError(FormatText(c_.Msg("HistorySetAside"), {notice.Detail}));
    } else if (notice.Kind == THistoryNotice::QueueFull) {
      tabs_.ConsoleError(FormatText(c_.Msg("HistoryQueueFull"), {notice.Detail}));
    } else {
      tabs_.ConsoleError(FormatText(c_.Msg("HistoryOff"), {notice.Detail}));
    }
  }
  recordingNotice_ = false;
}

}  // namespace plumo
