// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sender.h"

#include "core/chat_history.h"
#include "core/texts.h"
#include "lang/text_helpers.h"

namespace plumo {

void TSender::SubmitLine() {
  history_.Add(editor_.ContentToMarkup());
  if (commands_.Run(editor_.PlainText())) return;
  SendMes();
}

namespace {

// The outcome of an intent as the window's send operations report it.
SendOutcome AsSendOutcome(Outcome outcome) {
  switch (outcome) {
    case Outcome::Sent:
      return SendOutcome::Sent;
    case Outcome::TooLong:
      return SendOutcome::TooLong;
    case Outcome::Unreachable:
      return SendOutcome::Unreachable;
    case Outcome::Refused:
      return SendOutcome::Refused;
    default:
      return SendOutcome::Nothing;
  }
}

}  // namespace

SendOutcome TSender::SendMes() {
  editor_.FormatView();
  const TConversationList& channels = tabs_.Channels();
  const int index = channels.CurrentIndex();
  if (index <= 0) return SendOutcome::Nothing;
  const Outcome outcome = intents_.Say(channels.At(index).Name, editor_.ContentToMarkup()).Kind;
  // Too long for one datagram: nothing left, so the text stays in the editor.
  if (outcome == Outcome::Sent) editor_.ClearInput();
  return AsSendOutcome(outcome);
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

SendOutcome TSender::SendComposedMessage(bool sendClear) {
  const TConversationList& inputs = tabs_.Inputs();
  const int index = inputs.CurrentIndex();
  if (index < 0) return SendOutcome::Nothing;
  const std::string text = editor_.ContentToMarkup();
  const Conversation& view = inputs.At(index);
  if (view.MassMessage)
    return AsSendOutcome(intents_.SendToEverybody(text, true, AskAcknowledge && AskAcknowledge()).Kind);
  // The nick of each recipient names one that cannot be reached.
  return AsSendOutcome(
      intents_
          .SendPrivate(DecodeList(view.Recipients), text, SplitCommas(view.RecipientNames), true, sendClear)
          .Kind);
}

bool TSender::SendReply(bool sendClear) {
  const SendOutcome outcome = SendComposedMessage(sendClear);
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
    std::string report = texts_.MsgAlone("NickAmbiguous");
    report = report == kMissingText ? "The nick " + nick + " is used by more than one address: " + list +
                                          ". The message was not sent; send it to one address instead."
                                    : FormatText(report, {nick, list});
    tabs_.ConsoleError(report);
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
