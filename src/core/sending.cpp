// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sender.h"

#include "core/chat_history.h"
#include "core/texts.h"
#include "lang/text_helpers.h"

namespace plumo {

void TSender::ReportTooLong(bool inMessageTab) {
  feedback_.Tell(kRed, c_.MsgAlone("MessageTooLong"), "Plumo", TFeedbackPlace{inMessageTab, {}});
}

void TSender::SubmitLine() {
  history_.Add(c_.Surfaces.Editor.ContentToMarkup());
  if (commands_.Run(c_.Surfaces.Editor.PlainText())) return;
  SendMes();
}

SendOutcome TSender::SendMes() {
  c_.Surfaces.Editor.FormatView();
  const std::string text = TrimText(c_.Surfaces.Editor.ContentToMarkup());
  const TConversationList& channels = tabs_.Channels();
  const int index = channels.CurrentIndex();
  if (text.empty() || index <= 0 || !c_.Engine) return SendOutcome::Nothing;
  if (c_.Engine->SendChannelLine(channels.At(index).Name, text, c_.Engine->BroadcastAddress) ==
      SendResult::TooLong) {
    // Too long for one datagram: nothing left, so the text stays in the editor.
    ReportTooLong(false);
    return SendOutcome::TooLong;
  }
  c_.Surfaces.Editor.ClearInput();
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
  if (mass) recipients = names = "@" + c_.MsgAlone("MultiMessage");
  tabs_.OpenReplyTab(recipients, names, mass);
}

SendOutcome TSender::SendComposedMessage() {
  const TConversationList& inputs = tabs_.Inputs();
  const int index = inputs.CurrentIndex();
  if (index < 0 || !c_.Engine) return SendOutcome::Nothing;
  const std::string text = TrimText(c_.Surfaces.Editor.ContentToMarkup());
  if (text.empty()) return SendOutcome::Nothing;
  const Conversation& view = inputs.At(index);
  if (view.MassMessage) {
    if (c_.Engine->SendMassMessage(text) != SendResult::TooLong) {
      if (c_.History) c_.History->Message(HistoryKind::Mass, true, "@", std::string(), text);
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
    const TMessageScope scope(c_.Messages);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string& address = items[i];
      if (address.empty()) continue;
      // Collect the targets first, so that the loop does not depend on the roster staying put.
      std::vector<std::pair<std::string, std::string>> targets;
      for (const auto& entry : c_.Engine->Users().Entries()) {
        if (entry->Address == address && entry->State != stOffline)
          targets.emplace_back(entry->Nick, entry->Address);
      }
      for (const auto& [nick, addr] : targets) {
        if (c_.Engine->SendPrivateMessage(nick, text, addr) == SendResult::TooLong) {
          tooLong = true;
        } else if (c_.History) {
          c_.History->Message(HistoryKind::Private, true, addr, nick, text);
        }
      }
      if (targets.empty()) {
        unreachable = true;
        if (captionItems.size() > i)
          tabs_.ConsoleError(c_.Msg("CantSendMessage") + " " + captionItems[i] + "[" + address + "]");
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
  if (!c_.Engine) return false;
  std::string recipients;
  std::string names;
  const TUsers& users = c_.Engine->Users();
  std::vector<std::string> addresses = users.AddressesOf(nick);
  if (addresses.empty()) {
    if (const AChuvakInfo* entry = users.Entry(users.Find(std::string(), nick))) {
      recipients = "," + entry->Address;
      names = "," + entry->Nick;
    }
  } else if (addresses.size() > 1) {
    std::string list;
    for (const auto& a : addresses) list += (list.empty() ? "" : ", ") + a;
    tabs_.ConsoleError(FormatText(c_.MsgAlone("NickAmbiguous"), {nick, list}));
    tabs_.ActivateConsole();
    return false;
  } else {
    recipients = "," + addresses[0];
    names = "," + nick;
  }
  if (recipients.empty()) {
    tabs_.ConsoleError(c_.MsgAlone("CantSendMessage") + " " + nick + "[]");
    tabs_.ActivateConsole();
    return false;
  }
  tabs_.OpenReplyTab(recipients, names, false);
  c_.Surfaces.Editor.SetText(text);
  return SendReply();
}

void TSender::RecallOlder() {
  c_.Surfaces.Editor.SetText(history_.Older());
  c_.Surfaces.Editor.FormatView();
}

void TSender::RecallNewer() {
  c_.Surfaces.Editor.SetText(history_.Newer());
  c_.Surfaces.Editor.FormatView();
}

}  // namespace plumo
