// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <ctime>

#include "core/chat_history.h"
#include "core/console_commands.h"
#include "core/deliveries.h"
#include "core/private_talk.h"
#include "core/texts.h"
#include "lang/textcase.h"

namespace plumo {

namespace {

// Lines ended by CR, LF or CR LF, each written again with CR LF.
std::string AsCrLfLines(const std::string& text) {
  std::string out;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += line + "\r\n";
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) out += line + "\r\n";
  return out;
}

std::string Msg(TIntents& in, const char* key) {
  return in.Texts().MsgAlone(key);
}

// A language text with its arguments filled; the argument after them is a double quote, which a
// language file cannot hold (it separates lines there).
std::string Fmt(TIntents& in, const char* key, std::vector<std::string> args) {
  args.emplace_back("\"");
  return FormatText(Msg(in, key), args);
}

// The first word of a command line and the rest after one blank.
std::pair<std::string, std::string> SplitWord(const std::string& text) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return {text, {}};
  return {text.substr(0, blank), text.substr(blank + 1)};
}

std::string JoinNicks(const std::vector<std::string>& nicks) {
  std::string text;
  for (const auto& nick : nicks) text += (text.empty() ? "" : ", ") + nick;
  return text;
}

// The roster's nicks that the typed nick names, each once, or the typed text itself when it is a
// peer's address (a nick that two addresses use is reached by address); a problem when none.
std::vector<std::string> RosterNicks(TIntents& in, TCommandFront& front, const std::string& typed) {
  std::vector<std::string> roster;
  for (const auto& peer : in.Peers()) {
    if (peer.Address == typed) return {typed};
    if (std::find(roster.begin(), roster.end(), peer.Nick) == roster.end()) roster.push_back(peer.Nick);
  }
  std::vector<std::string> nicks = MatchNicks(roster, typed);
  if (nicks.empty()) {
    const std::vector<std::string> close = CloseNicks(roster, typed);
    front.Problem(Fmt(in, "NoSuchNick", {typed}) +
                  (close.empty() ? std::string() : Fmt(in, "CloseNicks", {JoinNicks(close)})));
  }
  return nicks;
}

// The addresses a resolved nick (or address) stands for, in roster order, each once.
std::vector<std::string> AddressesOf(TIntents& in, const std::string& nick) {
  std::vector<std::string> addresses;
  for (const auto& peer : in.Peers()) {
    if ((peer.Nick == nick || peer.Address == nick) &&
        std::find(addresses.begin(), addresses.end(), peer.Address) == addresses.end())
      addresses.push_back(peer.Address);
  }
  return addresses;
}

std::string TopicTimeText(std::uint32_t seconds) {
  const std::time_t t = seconds;
  char text[32];
  std::tm utc{};
  gmtime_r(&t, &utc);
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

bool Info(TIntents& in, TCommandFront&, const std::string& rest) {
  std::string arg = Cp1251UpperCase(TrimText(rest));
  if (arg == "*") arg.clear();
  bool found = false;
  const TMessageScope scope(in.Messages());
  for (const auto& row : in.Roster().Rows()) {
    if (Cp1251UpperCase(row.Nick).compare(0, arg.size(), arg) != 0) continue;
    found = true;
    in.Tabs().ConsoleAdd(kGrey + FormatText(in.Messages().GetMessage("UserInfoLine"),
                                            {row.Nick, row.Address, in.Own().StateCaption(row.State)}));
  }
  if (!found) in.Tabs().ConsoleAdd(in.Messages().GetMessage("UserNotFound"));
  return true;
}

bool Help(TIntents& in, TCommandFront& front, const std::string&) {
  const std::vector<std::string> lines = HelpLines(in.Messages(), front.Kind());
  if (front.Kind() == CommandFront::Window) {
    // The window's keys follow the commands in the same grey block.
    std::string text = kGrey + "Plumo v. Plumo " + kPlumoVersion + Msg(in, "CommandsHeading") + "\r\n";
    for (const auto& line : lines) text += line + "\r\n";
    in.Tabs().ConsoleAdd(text + Msg(in, "KeysHelp"));
    return true;
  }
  front.Notice(Fmt(in, "HeadlessHelp", {kPlumoVersion}));
  for (const auto& line : lines) front.Notice("  " + line);
  return true;
}

bool About(TIntents& in, TCommandFront&, const std::string& rest) {
  const bool everybody = TrimText(rest) == "*";
  std::vector<std::string> addresses;
  for (const auto& row : in.Roster().Rows()) {
    if (row.Selected || everybody) addresses.push_back(row.Address);
  }
  return in.AskInfo(addresses).Kind == Outcome::Sent;
}

bool ClearHistory(TIntents& in, TCommandFront& front, const std::string& rest) {
  if (!in.History().Enabled()) {
    front.Problem(Msg(in, "HistoryNotKept"));
    return true;
  }
  // "/clearhistory" forgets the channel's history, "/clearhistory *" all of it.
  if (TrimText(rest) == "*") {
    in.History().DeleteAll();
  } else {
    in.History().Delete({ConversationKind::Channel, front.Channel()});
  }
  return true;
}

bool JoinOrLeave(TIntents& in, TCommandFront& front, const std::string& rest, bool join) {
  // The name as typed: channel names keep their letter case.
  std::string name = TrimText(rest);
  if (!join && name.empty()) name = front.Channel();
  const TTabStrips::ChannelChange change = join ? in.Tabs().JoinChannel(name) : in.Tabs().LeaveChannel(name);
  const std::string problem = in.Tabs().ChannelChangeText(change, name);
  if (!problem.empty()) {
    front.Problem(problem);
  } else {
    front.ChannelsChanged(join);
  }
  return true;
}

bool Join(TIntents& in, TCommandFront& front, const std::string& rest) {
  return JoinOrLeave(in, front, rest, true);
}

bool Leave(TIntents& in, TCommandFront& front, const std::string& rest) {
  return JoinOrLeave(in, front, rest, false);
}

bool Netstat(TIntents& in, TCommandFront&, const std::string&) {
  in.Tabs().ConsoleAdd(kGrey + AsCrLfLines(in.System().Interfaces()));
  return true;
}

// Takes a leading option ("--clear") off rest; whether it was there.
bool TakeOption(std::string& rest, const std::string& option) {
  if (rest.compare(0, option.size() + 1, option + " ") != 0) return false;
  rest.erase(0, option.size() + 1);
  return true;
}

// Tells the id a send returned ("message 12"), so that /resend and /rollcall can name it.
void TellId(TIntents& in, TCommandFront& front, MessageId id) {
  if (id != 0) front.Notice(Fmt(in, "MessageSentAs", {std::to_string(id)}));
}

// The address a nick that is not in the roster was last seen at: the newest conversation with it.
std::string LastAddressOf(TIntents& in, const std::string& nick) {
  if (THistoryStore* store = in.History().Enabled() ? in.History().Store() : nullptr) {
    const std::string upper = Cp1251UpperCase(nick);
    for (const TStoredConversation& c : store->Conversations()) {
      if (c.Key.Kind == ConversationKind::Peer && Cp1251UpperCase(c.LastPeerNick) == upper) return c.Key.Name;
    }
  }
  return {};
}

// "/msg --wait NICK TEXT" keeps the message for a nick that is not there now.
void KeepFor(TIntents& in, TCommandFront& front, const std::string& nick, const std::string& text) {
  std::vector<std::string> roster;
  std::string address;
  for (const auto& peer : in.Peers()) {
    if (Cp1251UpperCase(peer.Nick) == Cp1251UpperCase(nick) || peer.Address == nick) {
      address = peer.Address;
      // A peer that is there gets the message now.
      if (peer.State != stOffline) {
        const TOutcome sent = in.SendPrivate({peer.Address}, text, {peer.Nick});
        TellId(in, front, sent.Id);
        return;
      }
    }
  }
  if (address.empty()) address = LastAddressOf(in, nick);
  if (address.empty()) {
    front.Problem(Fmt(in, "NoSuchNick", {nick}));
    return;
  }
  const TOutcome kept = in.KeepForAbsent(nick, address, text);
  if (kept.Id != 0) front.Notice(Fmt(in, "MessageKeptAs", {std::to_string(kept.Id), nick}));
}

bool PrivateMessage(TIntents& in, TCommandFront& front, const std::string& rest) {
  // "--clear": the user chose clear text for this message to a peer that no longer encrypts;
  // "--wait": kept for a peer that is not there, until it comes back.
  std::string args = rest;
  bool clear = false;
  bool wait = false;
  for (bool more = true; more;) {
    more = false;
    if (TakeOption(args, "--clear")) more = clear = true;
    if (TakeOption(args, "--wait")) more = wait = true;
  }
  const std::optional<NickArgument> arg = TakeNick(args);
  if (!arg || arg->Rest.empty()) {
    front.Problem(Fmt(in, "UsageMsg", {}));
    return true;
  }
  if (wait) {
    KeepFor(in, front, arg->Nick, arg->Rest);
    return true;
  }
  for (const auto& nick : RosterNicks(in, front, arg->Nick)) {
    const std::vector<std::string> addresses = AddressesOf(in, nick);
    if (addresses.size() > 1) {
      // One of the two may be an impostor: the user chooses by address.
      front.Problem(Fmt(in, "NickAmbiguous", {nick, JoinNicks(addresses)}));
      continue;
    }
    const TOutcome outcome = in.SendPrivate(addresses, arg->Rest, {nick}, false, clear);
    TellId(in, front, outcome.Id);
    if (outcome.Kind != Outcome::Sent && outcome.Kind != Outcome::Nothing) in.Tabs().ActivateConsole();
  }
  return true;
}

bool Mass(TIntents& in, TCommandFront& front, const std::string& rest) {
  std::string text = rest;
  const bool ask = TakeOption(text, "--ack");
  if (text.empty()) {
    front.Problem(Msg(in, "UsageMass"));
    return true;
  }
  const TOutcome outcome = in.SendToEverybody(text, false, ask);
  TellId(in, front, outcome.Id);
  if (outcome.Kind != Outcome::Sent && outcome.Kind != Outcome::Nothing) in.Tabs().ActivateConsole();
  return true;
}

// The message a command names by its id; a problem when there is none.
std::optional<MessageId> MessageArgument(TIntents& in, TCommandFront& front, const std::string& rest,
                                         const char* command) {
  const std::string typed = TrimText(rest);
  MessageId id = 0;
  bool digits = !typed.empty() && typed.size() <= 15;
  for (const char c : typed) {
    digits = digits && c >= '0' && c <= '9';
    if (digits) id = id * 10 + static_cast<MessageId>(c - '0');
  }
  if (!digits || id == 0) {
    front.Problem(Fmt(in, "UsageMessageId", {command}));
    return std::nullopt;
  }
  return id;
}

bool Resend(TIntents& in, TCommandFront& front, const std::string& rest) {
  const std::optional<MessageId> id = MessageArgument(in, front, rest, "/resend");
  if (!id) return true;
  if (!in.Delivery().Find(*id)) {
    front.Problem(Fmt(in, "MessageIdUnknown", {std::to_string(*id)}));
  } else if (const int sent = in.Delivery().SendAgain(*id); sent > 0) {
    front.Notice(Fmt(in, "ResentCount", {std::to_string(*id), std::to_string(sent)}));
  } else {
    front.Problem(Fmt(in, "ResendNothing", {std::to_string(*id)}));
  }
  return true;
}

// "/rollcall ID": the mark's text, then every recipient with its status, the missing ones first.
bool RollCall(TIntents& in, TCommandFront& front, const std::string& rest) {
  const std::optional<MessageId> id = MessageArgument(in, front, rest, "/rollcall");
  if (!id) return true;
  TDeliveries& ledger = in.Delivery();
  const TSentMessage* message = ledger.Find(*id);
  if (!message) {
    front.Problem(Fmt(in, "MessageIdUnknown", {std::to_string(*id)}));
    return true;
  }
  if (front.ShowRollCall(*message)) return true;
  front.Notice(Fmt(in, "RollCallHead", {std::to_string(*id), ledger.MarkOf(*message).Text}));
  for (const bool missing : {true, false}) {
    for (const TRecipient& r : message->Recipients) {
      if ((r.Status != RecipientStatus::Delivered) != missing) continue;
      std::string line = Fmt(in, "RollCallLine", {r.Nick, r.Address, ledger.StatusText(r)});
      if (r.Acknowledged) line += Fmt(in, "RollCallAckedBy", {TimeText(r.AcknowledgedAtMs).substr(0, 5)});
      front.Notice(line);
    }
  }
  return true;
}

bool Ack(TIntents& in, TCommandFront& front, const std::string& rest) {
  const std::optional<MessageId> id = MessageArgument(in, front, rest, "/ack");
  if (!id) return true;
  if (in.Delivery().Acknowledge(*id)) {
    front.Notice(Fmt(in, "AckDone", {std::to_string(*id)}));
  } else {
    front.Problem(Fmt(in, "AckNot", {std::to_string(*id)}));
  }
  return true;
}

bool Cancel(TIntents& in, TCommandFront& front, const std::string& rest) {
  const std::optional<MessageId> id = MessageArgument(in, front, rest, "/cancel");
  if (!id) return true;
  if (const int cancelled = in.Delivery().CancelWaiting(*id); cancelled > 0) {
    front.Notice(Fmt(in, "CancelDone", {std::to_string(*id), std::to_string(cancelled)}));
  } else {
    front.Problem(Fmt(in, "CancelNothing", {std::to_string(*id)}));
  }
  return true;
}

bool Waiting(TIntents& in, TCommandFront& front, const std::string&) {
  const std::vector<const TSentMessage*> waiting = in.Delivery().Waiting();
  if (waiting.empty()) front.Notice(Msg(in, "WaitingNone"));
  for (const TSentMessage* m : waiting) {
    for (const TRecipient& r : m->Recipients) {
      if (r.Status != RecipientStatus::Waiting) continue;
      front.Notice(
          Fmt(in, "WaitingLine",
              {std::to_string(m->Id), r.Nick, r.Address, DateTimeText(m->SentAtMs), MarkupToPlain(m->Text)}));
    }
  }
  return true;
}

bool Bell(TIntents& in, TCommandFront& front, const std::string& rest) {
  const std::optional<NickArgument> arg = TakeNick(rest);
  // Without a number, bell 0 rings.
  const std::optional<std::uint16_t> n =
      !arg || arg->Rest.empty() ? std::uint16_t{0} : ParseBellNumber(arg->Rest);
  if (!arg) {
    front.Problem(Msg(in, "UsageBell"));
  } else if (!n) {
    front.Problem(Fmt(in, "BellNumberBad", {arg->Rest}));
  } else if (const auto nicks = RosterNicks(in, front, arg->Nick); !nicks.empty()) {
    const std::vector<std::string> addresses = AddressesOf(in, nicks.front());
    if (!addresses.empty()) TellId(in, front, in.RingBell(addresses.front(), *n).Id);
  }
  return true;
}

bool Nick(TIntents& in, TCommandFront& front, const std::string& rest) {
  if (rest.empty()) {
    front.Problem(Msg(in, "UsageNick"));
    return true;
  }
  const TPlumo* engine = in.Engine();
  const std::string me = engine ? engine->MyAddress : std::string();
  for (const auto& peer : in.Peers()) {
    if (peer.Address != me && Cp1251UpperCase(peer.Nick) == Cp1251UpperCase(rest)) {
      front.Notice(Fmt(in, "NickTaken", {peer.Address, peer.Nick}));
      break;
    }
  }
  in.SetNick(rest);
  return true;
}

bool State(TIntents& in, TCommandFront& front, const std::string& rest) {
  const auto [tag, description] = SplitWord(rest);
  const std::optional<int> state = ParseStateName(tag);
  if (!state) {
    front.Problem(Msg(in, "UsageState"));
    return true;
  }
  in.SetState(*state, description.empty() ? std::nullopt : std::optional<std::string>(description));
  return true;
}

// "/topic" shows the channel's topic; "/topic TEXT" sets it; "/topic """ clears it.
bool Topic(TIntents& in, TCommandFront& front, const std::string& rest) {
  const std::string channel = front.Channel();
  if (channel == "#" || in.Tabs().Channels().IndexOf(channel) <= 0) {
    front.Problem(Msg(in, "ConsoleNoTopic"));
    return true;
  }
  if (!rest.empty()) {
    in.SetTopic(channel, rest == "\"\"" ? std::string() : rest);
    return true;
  }
  TPlumo* engine = in.Engine();
  if (const TChanel* t = engine ? engine->FindChannel(channel) : nullptr) {
    const std::string setter =
        t->SetterNick.empty() ? Msg(in, "TopicNobody") : t->SetterNick + " [" + t->SetterAddress + "]";
    front.Notice(Fmt(in, "TopicOf", {t->Name, t->Topic, setter}) +
                 (t->TopicTime != 0 ? Fmt(in, "TopicSetAt", {TopicTimeText(t->TopicTime)}) : std::string()) +
                 ")");
  }
  return true;
}

bool Select(TIntents& in, TCommandFront& front, const std::string& rest) {
  std::vector<std::string> nicks;
  std::string remaining = rest;
  while (const std::optional<NickArgument> arg = TakeNick(remaining)) {
    for (const auto& nick : RosterNicks(in, front, arg->Nick)) nicks.push_back(nick);
    remaining = arg->Rest;
  }
  TRosterList& roster = in.Roster();
  roster.Refresh();
  std::vector<int> rows;
  for (std::size_t i = 0; i < roster.Rows().size(); ++i) {
    for (const auto& nick : nicks) {
      if (roster.Rows()[i].Nick == nick) rows.push_back(static_cast<int>(i));
    }
  }
  roster.SetSelection(rows);
  return true;
}

bool Channel(TIntents&, TCommandFront& front, const std::string& rest) {
  front.ChooseChannel(rest);
  return true;
}
bool Channels(TIntents&, TCommandFront& front, const std::string&) {
  front.ListChannels();
  return true;
}
bool Roster(TIntents&, TCommandFront& front, const std::string&) {
  front.ListRoster();
  return true;
}
bool History(TIntents&, TCommandFront& front, const std::string& rest) {
  front.ListHistory(rest);
  return true;
}
bool Search(TIntents&, TCommandFront& front, const std::string& rest) {
  front.Search(rest);
  return true;
}
bool Quit(TIntents&, TCommandFront& front, const std::string&) {
  front.Quit();
  return true;
}

// A key that a typed nick (or address) names: a roster entry's, or one the keyring knows by that
// label.
struct TNamedKey {
  secure::PublicKey Key;
  std::string Nick;
  std::string Address;
};

std::vector<TNamedKey> KeysNamed(TIntents& in, const std::string& typed) {
  std::vector<TNamedKey> keys;
  TPrivateTalk& talk = in.Private();
  const auto add = [&keys](const secure::PublicKey& key, const std::string& nick,
                           const std::string& address) {
    if (std::none_of(keys.begin(), keys.end(), [&](const TNamedKey& k) { return k.Key == key; }))
      keys.push_back({key, nick, address});
  };
  // The keys of the peers in the roster come first: a key they replaced keeps the label too.
  const std::string upper = Cp1251UpperCase(typed);
  for (const auto& peer : in.Peers()) {
    if (peer.Address != typed && Cp1251UpperCase(peer.Nick) != upper) continue;
    if (const auto key = talk.Keyring().KeyOf(peer.Nick, peer.Address)) add(*key, peer.Nick, peer.Address);
  }
  if (keys.empty()) {
    for (const TKnownKey* known : talk.Keyring().WithNick(typed))
      add(known->Key, known->Nick, known->Address);
  }
  return keys;
}

// The one key a typed nick names, or a problem (none, or several: the user names an address).
std::optional<TNamedKey> OneKeyNamed(TIntents& in, TCommandFront& front, const std::string& typed) {
  if (!in.Private().Ready()) {
    front.Problem(Fmt(in, "IdentityDamaged", {in.Private().Damaged()}));
    return std::nullopt;
  }
  const std::vector<TNamedKey> keys = KeysNamed(in, TrimText(typed));
  if (keys.size() == 1) return keys.front();
  if (keys.empty()) {
    front.Problem(Fmt(in, "KeyNone", {TrimText(typed)}));
  } else {
    std::string addresses;
    for (const auto& k : keys) addresses += (addresses.empty() ? "" : ", ") + k.Address;
    front.Problem(Fmt(in, "KeySeveral", {TrimText(typed), addresses}));
  }
  return std::nullopt;
}

// "/key": the own fingerprint; "/key NICK": each key of that nick with its address, and the safety
// number when there is one.
bool Key(TIntents& in, TCommandFront& front, const std::string& rest) {
  TPrivateTalk& talk = in.Private();
  if (!talk.Ready()) {
    front.Problem(Fmt(in, "IdentityDamaged", {talk.Damaged()}));
    return true;
  }
  const std::string typed = TrimText(rest);
  if (typed.empty()) {
    front.Notice(Fmt(in, "KeyOwn", {talk.OwnFingerprint()}));
    return true;
  }
  const std::vector<TNamedKey> keys = KeysNamed(in, typed);
  if (keys.empty()) front.Notice(Fmt(in, "KeyNone", {typed}));
  for (const auto& k : keys) {
    const TKnownKey* known = talk.Keyring().Find(k.Key);
    const bool checked = known != nullptr && known->Checked;
    front.Notice(Fmt(in, "KeyOfPeer",
                     {k.Nick, k.Address, secure::Fingerprint(k.Key),
                      checked ? Msg(in, "KeyCheckedMark") : std::string()}));
  }
  if (keys.size() == 1) {
    front.Notice(Fmt(in, "SafetyNumberOf", {keys.front().Nick}));
    const std::string number = talk.SafetyNumber(keys.front().Key);
    std::size_t at = 0;
    while (at <= number.size()) {
      const std::size_t end = number.find('\n', at);
      front.Notice("  " + number.substr(at, end == std::string::npos ? std::string::npos : end - at));
      if (end == std::string::npos) break;
      at = end + 1;
    }
  }
  return true;
}

// "/verify", "/unverify", "/trust": the mark of a peer's key.
bool MarkKey(TIntents& in, TCommandFront& front, const std::string& rest, const char* done,
             void (*mark)(TKeyring&, const secure::PublicKey&)) {
  if (TrimText(rest).empty()) {
    front.Problem(Msg(in, "UsageKeyNick"));
    return true;
  }
  if (const auto k = OneKeyNamed(in, front, rest)) {
    mark(in.Private().Keyring(), k->Key);
    in.Private().Tick();
    front.Notice(Fmt(in, done, {k->Nick, k->Address}));
  }
  return true;
}

bool Verify(TIntents& in, TCommandFront& front, const std::string& rest) {
  return MarkKey(in, front, rest, "KeyVerified", [](TKeyring& ring, const secure::PublicKey& key) {
    ring.Trust(key);
    ring.SetChecked(key, true);
  });
}

bool Unverify(TIntents& in, TCommandFront& front, const std::string& rest) {
  return MarkKey(in, front, rest, "KeyUnverified",
                 [](TKeyring& ring, const secure::PublicKey& key) { ring.SetChecked(key, false); });
}

bool Trust(TIntents& in, TCommandFront& front, const std::string& rest) {
  return MarkKey(in, front, rest, "KeyTrusted",
                 [](TKeyring& ring, const secure::PublicKey& key) { ring.Trust(key); });
}

// "/check NICK" starts the six-digit check; "/check same|differ|cancel" answers the running one.
bool Check(TIntents& in, TCommandFront& front, const std::string& rest) {
  TPrivateTalk& talk = in.Private();
  const std::string word = TrimText(rest);
  const std::string upper = Cp1251UpperCase(word);
  if (word.empty()) {
    front.Problem(Msg(in, "UsageCheck"));
  } else if (upper == "SAME" || upper == "DIFFER" || upper == "CANCEL") {
    const TKeyCheckState::Phase phase = talk.Check().What;
    if (phase != TKeyCheckState::Waiting && phase != TKeyCheckState::Compare) {
      front.Problem(Msg(in, "CheckNone"));
    } else if (upper == "CANCEL") {
      talk.CancelCheck();
    } else if (phase != TKeyCheckState::Compare) {
      front.Problem(Msg(in, "CheckNotYet"));
    } else {
      talk.ConfirmCheck(upper == "SAME");
    }
  } else if (const auto k = OneKeyNamed(in, front, word)) {
    if (!talk.StartCheck(k->Nick, k->Address)) front.Problem(Fmt(in, "CheckCannot", {k->Nick}));
  }
  return true;
}

// Levenshtein distance, stopping early: only "at most two" matters.
std::size_t Distance(const std::string& a, const std::string& b) {
  if (a.size() > b.size() + 2 || b.size() > a.size() + 2) return 3;
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

bool ForFront(const TCommand& command, CommandFront front) {
  return command.Front == CommandFront::Both || command.Front == front;
}

}  // namespace

const std::vector<TCommand>& CommandTable() {
  using F = CommandFront;
  static const std::vector<TCommand> kCommands = {
      {"/channel", "NAME", "HelpChannel", F::Headless, Channel},
      {"/channels", "", "HelpChannels", F::Headless, Channels},
      {"/join", "NAME", "HelpJoin", F::Both, Join},
      {"/leave", "[NAME]", "HelpLeave", F::Both, Leave},
      {"/msg", "[--clear] [--wait] NICK TEXT", "HelpMsg", F::Headless, PrivateMessage},
      {"/mass", "[--ack] TEXT", "HelpMass", F::Headless, Mass},
      {"/bell", "NICK [N]", "HelpBell", F::Headless, Bell},
      {"/nick", "NEW", "HelpNick", F::Headless, Nick},
      {"/state", "active|dnd|offline [TEXT]", "HelpState", F::Headless, State},
      {"/topic", "[TEXT]", "HelpTopic", F::Headless, Topic},
      {"/select", "NICK [NICK...]", "HelpSelect", F::Headless, Select},
      {"/roster", "", "HelpRoster", F::Headless, Roster},
      {"/info", "[NICK]", "HelpInfo", F::Both, Info},
      {"/about", "[*]", "HelpAbout", F::Both, About},
      {"/netstat", "", "HelpNetstat", F::Both, Netstat},
      {"/history", "[N]", "HelpHistory", F::Headless, History},
      {"/search", "TEXT", "HelpSearch", F::Headless, Search},
      {"/clearhistory", "[*]", "HelpClearHistory", F::Both, ClearHistory},
      {"/key", "[NICK]", "HelpKey", F::Both, Key},
      {"/verify", "NICK", "HelpVerify", F::Both, Verify},
      {"/unverify", "NICK", "HelpUnverify", F::Both, Unverify},
      {"/trust", "NICK", "HelpTrust", F::Both, Trust},
      {"/check", "NICK|same|differ|cancel", "HelpCheck", F::Both, Check},
      {"/resend", "ID", "HelpResend", F::Both, Resend},
      {"/rollcall", "ID", "HelpRollcall", F::Both, RollCall},
      {"/ack", "ID", "HelpAck", F::Both, Ack},
      {"/cancel", "ID", "HelpCancel", F::Both, Cancel},
      {"/waiting", "", "HelpWaiting", F::Both, Waiting},
      {"/help", "", "HelpHelp", F::Both, Help},
      {"/quit", "", "HelpQuit", F::Headless, Quit},
  };
  return kCommands;
}

const TCommand* FindCommand(const std::string& word, CommandFront front) {
  const std::string upper = Cp1251UpperCase(word);
  for (const TCommand& command : CommandTable()) {
    if (ForFront(command, front) && upper == Cp1251UpperCase(command.Name)) return &command;
  }
  return nullptr;
}

std::vector<std::string> HelpLines(TMsgINISupp& messages, CommandFront front) {
  std::vector<std::string> lines;
  const TMessageScope scope(messages);
  for (const TCommand& command : CommandTable()) {
    if (!ForFront(command, front)) continue;
    lines.push_back(std::string(command.Name) + (*command.Args != 0 ? " " + std::string(command.Args) : "") +
                    " - " + FormatText(messages.GetMessage(command.HelpKey), {"\""}));
  }
  return lines;
}

TypedLine ClassifyLine(const std::string& line, CommandFront front) {
  TypedLine typed;
  if (line.empty() || line[0] != '/') {
    typed.Rest = line;
    return typed;
  }
  if (line.size() > 1 && line[1] == '/') {
    typed.Rest = line.substr(1);
    return typed;
  }
  const auto [word, rest] = SplitWord(line);
  typed.Word = word;
  typed.Rest = rest;
  typed.Kind = TypedLine::Unknown;
  if (const TCommand* command = FindCommand(word, front)) {
    typed.Word = command->Name;
    typed.Kind = TypedLine::Command;
  }
  return typed;
}

bool RunCommandLine(TIntents& intents, TCommandFront& front, const std::string& line) {
  const TypedLine typed = ClassifyLine(line, front.Kind());
  if (typed.Kind != TypedLine::Command) return false;
  if (!FindCommand(typed.Word, front.Kind())->Run(intents, front, typed.Rest)) return false;
  front.Done();
  return true;
}

std::optional<NickArgument> TakeNick(const std::string& text) {
  if (text.empty()) return std::nullopt;
  if (text[0] == '"') {
    const std::size_t close = text.find('"', 1);
    if (close == std::string::npos || close == 1) return std::nullopt;
    std::string rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return NickArgument{text.substr(1, close - 1), rest};
  }
  const std::size_t blank = text.find(' ');
  if (blank == 0) return std::nullopt;
  if (blank == std::string::npos) return NickArgument{text, {}};
  return NickArgument{text.substr(0, blank), text.substr(blank + 1)};
}

std::vector<std::string> MatchNicks(const std::vector<std::string>& roster, const std::string& typed) {
  if (std::find(roster.begin(), roster.end(), typed) != roster.end()) return {typed};
  std::vector<std::string> found;
  const std::string upper = Cp1251UpperCase(typed);
  for (const auto& nick : roster) {
    if (Cp1251UpperCase(nick) == upper && std::find(found.begin(), found.end(), nick) == found.end())
      found.push_back(nick);
  }
  return found;
}

std::vector<std::string> CloseNicks(const std::vector<std::string>& roster, const std::string& typed) {
  std::vector<std::string> close;
  const std::string upper = Cp1251UpperCase(typed);
  for (const auto& nick : roster) {
    if (close.size() == 5) break;
    const std::string other = Cp1251UpperCase(nick);
    const bool contains = !upper.empty() && !other.empty() &&
                          (other.find(upper) != std::string::npos || upper.find(other) != std::string::npos);
    if ((contains || Distance(upper, other) <= 2) &&
        std::find(close.begin(), close.end(), nick) == close.end())
      close.push_back(nick);
  }
  return close;
}

std::optional<int> ParseStateName(const std::string& word) {
  const std::string name = Cp1251UpperCase(word);
  if (name == "ACTIVE" || name == "1") return 1;
  if (name == "DND" || name == "4") return 4;
  if (name == "OFFLINE" || name == "5") return 5;
  return std::nullopt;
}

void TConsoleCommands::Notice(const std::string& text) {
  tabs_.ConsoleAdd(kGrey + text);
}

void TConsoleCommands::Done() {
  const TConversationList& inputs = tabs_.Inputs();
  if (inputs.CurrentIndex() < 0 || inputs.At(inputs.CurrentIndex()).Mode != ModeReply) editor_.ClearInput();
}

void TConsoleCommands::AboutUserClick() {
  if (const RosterRow* row = roster_.FirstSelected()) {
    Run("/about " + row->Nick);
    tabs_.ActivateConsole();
  }
}

}  // namespace plumo
