// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sender.h"

#include "core/texts.h"
#include "lang/text_helpers.h"

namespace plumo {

void TSender::ReportTooLong(bool inMessageTab) {
  feedback_.Tell(kRed, texts_.MsgAlone("MessageTooLong"), "Plumo", TFeedbackPlace{inMessageTab, {}});
}

void TSender::SubmitLine() {
  history_.Add(editor_.ContentToMarkup());
  if (commands_.Run(editor_.PlainText())) return;
  SendMes();
}

SendOutcome TSender::SendMes() {
  editor_.FormatView();
  const std::string text = TrimText(editor_.ContentToMarkup());
  const TConversationList& channels = tabs_.Channels();
  const int index = channels.CurrentIndex();
  if (text.empty() || index <= 0 || !engine_) return SendOutcome::Nothing;
  if (engine_->SendChannelLine(channels.At(index).Name, text, engine_->BroadcastAddress) ==
      SendResult::TooLong) {
    // Too long for one datagram: nothing left, so the text stays in the editor.
    ReportTooLong(false);
    return SendOutcome::TooLong;
  }
  editor_.ClearInput();
  return SendOutcome::Sent;
}

void TSender::ComposeMessage(bool mass) {
  std::string recipients;
  std::string names;
  for (const auto& row : roster_.Rows()) {
    if (!row.Selected) continue;
    recipients += "," + row.Address;
    names += "," + row.Nick;
  }
  if (recipients.empty() && !mass) {
    roster_.ReportNoUserSelected();
    return;
  }
  if (mass) recipients = names = "@" + texts_.MsgAlone("MultiMessage");
  tabs_.OpenReplyTab(recipients, names, mass);
}

SendOutcome TSender::SendComposedMessage() {
  const TConversationList& inputs = tabs_.Inputs();
  const int index = inputs.CurrentIndex();
  if (index < 0 || !engine_) return SendOutcome::Nothing;
  const std::string text = TrimText(editor_.ContentToMarkup());
  if (text.empty()) return SendOutcome::Nothing;
  const Conversation& view = inputs.At(index);
  if (view.MassMessage) {
    if (engine_->SendMassMessage(text) != SendResult::TooLong) {
      lines_.Message(HistoryKind::Mass, true, "@", std::string(), text);
      return SendOutcome::Sent;
    }
    ReportTooLong(true);
    return SendOutcome::TooLong;
  }
  bool unreachable = false;
  bool tooLong = false;
  const std::vector<std::string> items = DecodeList(view.Recipients);
  // The nick of each recipient, for the report of one that cannot be reached.
  const std::vector<std::string> captionItems = SplitCommas(view.RecipientNames);
  {
    const TMessageScope scope(texts_.Messages());
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string& address = items[i];
      if (address.empty()) continue;
      // Collect the targets first, so that the loop does not depend on the roster staying put.
      std::vector<std::pair<std::string, std::string>> targets;
      for (const auto& entry : engine_->Users().Entries()) {
        if (entry->Address == address && entry->State != stOffline)
          targets.emplace_back(entry->Nick, entry->Address);
      }
      for (const auto& [nick, addr] : targets) {
        if (engine_->SendPrivateMessage(nick, text, addr) == SendResult::TooLong) {
          tooLong = true;
        } else {
          lines_.Message(HistoryKind::Private, true, addr, nick, text);
        }
      }
      if (targets.empty()) {
        unreachable = true;
        if (captionItems.size() > i)
          tabs_.ConsoleError(texts_.Msg("CantSendMessage") + " " + captionItems[i] + "[" + address + "]");
      }
    }
  }
  if (tooLong) {
    ReportTooLong(true);
    return SendOutcome::TooLong;
  }
  return unreachable ? SendOutcome::Unreachable : SendOutcome::Sent;
}

bool TSender::SendReply() {
  const SendOutcome outcome = SendComposedMessage();
  if (outcome == SendOutcome::Sent || outcome == SendOutcome::Nothing) {
    tabs_.CloseMessageTab();
    return true;
  }
  tabs_.ActivateConsole();
  return false;
}

// A nick that two addresses use is not sent to both: one may be an impostor, and the user has to
// choose by address. An address in place of the nick names its entry directly.
bool TSender::SendPrivateByNick(const std::string& nick, const std::string& text) {
  if (!engine_) return false;
  std::string recipients;
  std::string names;
  const TUsers& users = engine_->Users();
  std::vector<std::string> addresses = users.AddressesOf(nick);
  if (addresses.empty()) {
    if (const AChuvakInfo* entry = users.Entry(users.Find(std::string(), nick))) {
      recipients = "," + entry->Address;
      names = "," + entry->Nick;
    }
  } else if (addresses.size() > 1) {
    std::string list;
    for (const auto& a : addresses) list += (list.empty() ? "" : ", ") + a;
    tabs_.ConsoleError(FormatText(texts_.MsgAlone("NickAmbiguous"), {nick, list}));
    tabs_.ActivateConsole();
    return false;
  } else {
    recipients = "," + addresses[0];
    names = "," + nick;
  }
  if (recipients.empty()) {
    tabs_.ConsoleError(texts_.MsgAlone("CantSendMessage") + " " + nick + "[]");
    tabs_.ActivateConsole();
    return false;
  }
  tabs_.OpenReplyTab(recipients, names, false);
  editor_.SetText(text);
  return SendReply();
}

void TSender::RecallOlder() {
  editor_.SetText(history_.Older());
  editor_.FormatView();
}

void TSender::RecallNewer() {
  editor_.SetText(history_.Newer());
  editor_.FormatView();
}

}  // namespace plumo
