// Composing and sending: the line editor's submit path, channel lines, reply tabs for private and
// mass messages, and the input history.
#include "core/chatcore.h"
#include "core/texts.h"
#include "lang/text_helpers.h"

namespace plumo {

namespace {
constexpr std::size_t kHistoryMax = 10;
}

void TChatCore::ReportNoUserSelected() {
  ConsoleAdd("#^FF0000" + MsgAlone("NoUsersSelect"));
  ActivateConsole();
}

void TChatCore::ReportTooLong() {
  std::string text = MsgAlone("MessageTooLong");
  if (text == kMissingText) {
    text = "The message is too long to send: one datagram takes at most " + std::to_string(kMaxDatagram) +
           " bytes. It was not sent.";
  }
  ConsoleAdd("#^FF0000" + text);
}

void TChatCore::SubmitLine() {
  AddToHistory(s_.editor.ContentToMarkup());
  if (RunConsoleCommand(s_.editor.PlainText())) return;
  SendMes();
}

void TChatCore::SendMes() {
  s_.editor.FormatView();
  const std::string text = TrimText(s_.editor.ContentToMarkup());
  const int index = channels_.CurrentIndex();
  if (text.empty() || index <= 0 || !engine_) return;
  if (engine_->SendChannelLine(channels_.At(index).Name, text, engine_->BroadcastAddress)) {
    s_.editor.ClearInput();
  } else {
    // Too long for one datagram: nothing left, so the text stays in the editor.
    ReportTooLong();
  }
}

int TChatCore::OpenReplyTab(const std::string& recipients, const std::string& names, bool mass) {
  const std::string caption = "[" + NowTime() + "] " + names + "->";
  Conversation c;
  c.Name = caption;
  c.IconIndex = mass ? icon::kMass : icon::kPrivate;
  c.Seen = true;
  c.Recipients = recipients;
  c.MassMessage = mass;
  c.Mode = ModeReply;
  int index = inputs_.Add(c);
  if (index < 0) index = inputs_.IndexOf(caption);
  inputs_.Show(index);
  inputs_.RefreshIcons();
  if (windowVisible_) s_.editor.Focus();
  return index;
}

void TChatCore::ComposeMessage(bool mass) {
  std::string recipients;
  std::string names;
  for (const auto& row : rows_) {
    if (!row.Selected) continue;
    recipients += "," + row.Address;
    names += "," + row.Nick;
  }
  if (recipients.empty() && !mass) {
    ReportNoUserSelected();
    return;
  }
  if (mass) {
    recipients = names = "@" + MsgAlone("MultiMessage");
  }
  OpenReplyTab(recipients, names, mass);
}

bool TChatCore::SendComposedMessage() {
  const int index = inputs_.CurrentIndex();
  if (index < 0 || !engine_) return true;
  const std::string text = TrimText(s_.editor.ContentToMarkup());
  if (text.empty()) return true;
  const Conversation& view = inputs_.At(index);
  if (view.MassMessage) {
    if (engine_->SendMassMessage(text)) return true;
    ReportTooLong();
    return false;
  }
  bool result = true;
  bool tooLong = false;
  const std::vector<std::string> items = DecodeList(view.Recipients);
  const std::vector<std::string> captionItems = DecodeList(view.Name);
  {
    const TMessageScope scope(*mis_);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string& address = items[i];
      if (address.empty()) continue;
      bool matched = false;
      // Copy the targets first: sending never changes the roster, but keep the loop independent of it.
      std::vector<std::pair<std::string, std::string>> targets;
      for (const auto& entry : engine_->Users().Entries()) {
        if (entry->Address == address && entry->State != stOffline)
          targets.emplace_back(entry->Nick, entry->Address);
      }
      for (const auto& [nick, addr] : targets) {
        matched = true;
        if (!engine_->SendPrivateMessage(nick, text, addr)) tooLong = true;
      }
      if (!matched) {
        result = false;
        if (captionItems.size() > i) {
          ConsoleAdd("#^FF0000" + Msg("CantSendMessage") + " " + captionItems[i] + "[" + address + "]");
        }
      }
    }
  }
  if (tooLong) {
    ReportTooLong();
    result = false;
  }
  return result;
}

bool TChatCore::SendReply() {
  if (SendComposedMessage()) {
    CloseMessageTab();
    return true;
  }
  ActivateConsole();
  return false;
}

bool TChatCore::SendPrivateByNick(const std::string& nick, const std::string& text) {
  std::string recipients;
  std::string names;
  for (const auto& entry : engine_->Users().Entries()) {
    if (entry->Nick != nick) continue;
    recipients += "," + entry->Address;
    names += "," + entry->Nick;
  }
  if (recipients.empty()) {
    ConsoleAdd("#^FF0000" + MsgAlone("CantSendMessage") + " " + nick + "[]");
    ActivateConsole();
    return false;
  }
  OpenReplyTab(recipients, names, false);
  s_.editor.SetText(text);
  return SendReply();
}

void TChatCore::AddToHistory(const std::string& line) {
  const std::string stored = ReplaceAll(TrimText(line), "\r\n", "/n", false);
  if (stored.empty()) return;
  historyCursor_ = 0;
  auto& history = settings_.InputHistory;
  history.insert(history.begin(), stored);
  if (history.size() > kHistoryMax) history.resize(kHistoryMax);
}

// The cursor counts steps back from the empty line being typed: 0 is that line, 1 the newest
// entry, up to the oldest entry (at most 10).
std::string TChatCore::HistoryOlder() {
  const auto& history = settings_.InputHistory;
  if (historyCursor_ < kHistoryMax && historyCursor_ < history.size()) ++historyCursor_;
  if (historyCursor_ == 0 || historyCursor_ > history.size()) return {};
  return ReplaceAll(history[historyCursor_ - 1U], "/n", "\r\n", false);
}

std::string TChatCore::HistoryNewer() {
  const auto& history = settings_.InputHistory;
  if (historyCursor_ > 0) --historyCursor_;
  if (historyCursor_ == 0 || historyCursor_ > history.size()) return {};
  return ReplaceAll(history[historyCursor_ - 1U], "/n", "\r\n", false);
}

void TChatCore::RecallOlder() {
  s_.editor.SetText(HistoryOlder());
  s_.editor.FormatView();
}

void TChatCore::RecallNewer() {
  s_.editor.SetText(HistoryNewer());
  s_.editor.FormatView();
}

}  // namespace plumo
