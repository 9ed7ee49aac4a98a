// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sender.h"

#include "core/chat_history.h"
#include "core/texts.h"
#include "lang/text_helpers.h"

namespace plumo {

void TSender::SubmitLine() {
  history_.Add(c_.Surfaces.Editor.ContentToMarkup());
  if (commands_.Run(c_.Surfaces.Editor.PlainText())) return;
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
    default:
      return SendOutcome::Nothing;
  }
}

}  // namespace

SendOutcome TSender::SendMes() {
  c_.Surfaces.Editor.FormatView();
  const TConversationList& channels = tabs_.Channels();
  const int index = channels.CurrentIndex();
  if (index <= 0) return SendOutcome::Nothing;
  const Outcome outcome = intents_.Say(channels.At(index).Name, c_.Surfaces.Editor.ContentToMarkup()).Kind;
  // Too long for one datagram: nothing left, so the text stays in the editor.
  if (outcome == Outcome::Sent) c_.Surfaces.Editor.ClearInput();
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
  if (mass) recipients = names = "@" + c_.MsgAlone("MultiMessage");
  tabs_.OpenReplyTab(recipients, names, mass);
}

SendOutcome TSender::SendComposedMessage() {
  const TConversationList& inputs = tabs_.Inputs();
  const int index = inputs.CurrentIndex();
  if (index < 0) return SendOutcome::Nothing;
  const std::string text = c_.Surfaces.Editor.ContentToMarkup();
  const Conversation& view = inputs.At(index);
  if (view.MassMessage) return AsSendOutcome(intents_.SendToEverybody(text, true).Kind);
  // The nick of each recipient names one that cannot be reached.
  return AsSendOutcome(
      intents_.SendPrivate(DecodeList(view.Recipients), text, SplitCommas(view.RecipientNames), true).Kind);
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
    std::string report = c_.MsgAlone("NickAmbiguous");
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
