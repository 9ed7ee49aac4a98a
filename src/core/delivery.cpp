// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "core/chat_history.h"
#include "core/deliveries.h"
#include "core/feedback.h"
#include "core/private_talk.h"
#include "core/roster_list.h"
#include "core/tabstrips.h"
#include "lang/markup.h"
#include "lang/text_helpers.h"
#include "net/plumo.h"

namespace plumo {

namespace {

// How much of a message its row shows.
constexpr std::size_t kExcerptBytes = 40;
// How many recipients a roll-call's tooltip names before it says how many more there are.
constexpr int kTooltipNames = 12;

std::uint32_t SeqKey(std::uint16_t type, std::uint16_t seq) {
  return (static_cast<std::uint32_t>(type) << 16) | seq;
}

std::uint16_t PacketTypeOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Everybody:
      return pkMassMessage;
    case MessageKind::Bell:
      return pkBell;
    case MessageKind::Private:
      break;
  }
  return pkPrivateMessage;
}

// "14:02" of a local clock time.
std::string HourMinute(std::int64_t localMs) {
  return TimeText(localMs).substr(0, 5);
}

std::string Excerpt(const std::string& markup) {
  std::string plain = MarkupToPlain(markup);
  std::replace(plain.begin(), plain.end(), '\r', ' ');
  std::replace(plain.begin(), plain.end(), '\n', ' ');
  if (plain.size() <= kExcerptBytes) return plain;
  return plain.substr(0, kExcerptBytes) + "...";
}

}  // namespace

int TSentMessage::CountOf(RecipientStatus status) const {
  return static_cast<int>(std::count_if(Recipients.begin(), Recipients.end(),
                                        [status](const TRecipient& r) { return r.Status == status; }));
}

int TSentMessage::AcknowledgedCount() const {
  return static_cast<int>(std::count_if(Recipients.begin(), Recipients.end(),
                                        [](const TRecipient& r) { return r.Acknowledged; }));
}

TDeliveries::TDeliveries(const TSettings& settings, TMsgINISupp& messages, const TClock& clock,
                         const TEngineSlot& engine, TTabStrips& tabs, TFeedback& feedback,
                         TPrivateTalk& privateTalk, TChatHistory& history, WindowSurface& window,
                         CoreTimers& timers)
    : settings_(settings),
      texts_(messages),
      clock_(clock),
      engine_(engine),
      tabs_(tabs),
      feedback_(feedback),
      private_(privateTalk),
      history_(history),
      window_(window),
      timers_(timers) {
  tabs_.Inputs().OnAdded = [this](int index) { ShowWaitingIn(index); };
}

TDeliveries::~TDeliveries() {
  *alive_ = false;
  tabs_.Inputs().OnAdded = nullptr;
}

void TDeliveries::ShowWaitingIn(int tab) {
  const std::vector<std::string> addresses = SplitCommas(tabs_.Inputs().At(tab).Recipients);
  for (const auto& [id, m] : messages_) {
    const bool waitsHere = std::any_of(m.Recipients.begin(), m.Recipients.end(), [&](const TRecipient& r) {
      return r.Status == RecipientStatus::Waiting &&
             std::find(addresses.begin(), addresses.end(), r.Address) != addresses.end();
    });
    if (!waitsHere) continue;
    tabs_.Inputs().AddNotice(tab, Row(m, TimeText(m.SentAtMs)));
    tabs_.Inputs().AddMark(tab, MarkOf(m));
  }
}

std::string TDeliveries::Fmt(const char* key, const std::vector<std::string>& args) const {
  return FormatText(texts_.MsgAlone(key), args);
}

void TDeliveries::Start() {
  THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr;
  if (!store) return;
  lastId_ = std::max<MessageId>(lastId_, static_cast<MessageId>(store->HighestMessageId()));
  for (const TWaitingMessage& kept : store->WaitingMessages()) {
    if (messages_.count(static_cast<MessageId>(kept.Id)) != 0) continue;
    TSentMessage message;
    message.Id = static_cast<MessageId>(kept.Id);
    message.Kind = MessageKind::Private;
    message.SentAtMs = kept.TimeMs;
    message.Text = kept.Text;
    message.PacketType = pkPrivateMessage;
    TRecipient r;
    r.Nick = kept.Nick;
    r.Address = kept.Address;
    r.KeyHex = kept.KeyHex;
    r.Status = RecipientStatus::Waiting;
    r.AtMs = kept.TimeMs;
    message.Recipients.push_back(std::move(r));
    messages_.emplace(message.Id, std::move(message));
  }
}

TSentMessage* TDeliveries::Mutable(MessageId id) {
  const auto it = messages_.find(id);
  return it == messages_.end() ? nullptr : &it->second;
}

const TSentMessage* TDeliveries::Find(MessageId id) const {
  const auto it = messages_.find(id);
  return it == messages_.end() ? nullptr : &it->second;
}

void TDeliveries::Index(const TSentMessage& message, std::size_t recipient) {
  const TRecipient& r = message.Recipients[recipient];
  const std::uint16_t seq = message.Kind == MessageKind::Private ? r.Seq : message.Seq;
  bySeq_[{SeqKey(message.PacketType, seq), r.Address}] = message.Id;
}

std::string TDeliveries::Row(const TSentMessage& m, const std::string& time) const {
  std::string who;
  if (m.Kind == MessageKind::Everybody) {
    who = texts_.MsgAlone("Everybody");
  } else {
    for (const auto& r : m.Recipients) who += (who.empty() ? "" : ", ") + r.Nick;
  }
  const std::string what = m.Kind == MessageKind::Bell ? Fmt("DeliveryBell", {m.Text}) : Excerpt(m.Text);
  return kOlive + Fmt("DeliveryRow", {time, who, what});
}

void TDeliveries::Sent(TSentMessage message) {
  if (message.SentAtMs == 0) message.SentAtMs = clock_.NowMs();
  message.PacketType = PacketTypeOf(message.Kind);
  const MessageId id = message.Id;
  auto [it, added] = messages_.insert_or_assign(id, std::move(message));
  TSentMessage& m = it->second;
  for (std::size_t i = 0; i < m.Recipients.size(); ++i) {
    if (m.Recipients[i].Status == RecipientStatus::Sending) Index(m, i);
  }
  const std::string row = Row(m, clock_.NowTime());
  const TDeliveryMark mark = MarkOf(m);
  drawn_[id] = mark;
  if (tabs_.Channels().Count() > 0) {
    tabs_.ConsoleShow(row);
    tabs_.Channels().AddMark(0, mark);
  }
  std::set<int> tabsShown;
  for (const auto& r : m.Recipients) {
    const int tab = feedback_.PeerMessageTab(r.Address);
    if (tab <= 0 || !tabsShown.insert(tab).second) continue;
    tabs_.Inputs().AddNotice(tab, row);
    tabs_.Inputs().AddMark(tab, mark);
  }
  Persist(m);
  for (TDeliveryObserver* o : observers_) o->DeliveryChanged(m, -1);
  Prune();
}

void TDeliveries::Prune() {
  // A tenth at a time, so that the cost is paid once per so many messages.
  if (messages_.size() + asked_.size() <= kKeptMessages + kKeptMessages / 10) return;
  std::size_t excess = messages_.size() + asked_.size() - kKeptMessages;
  while (excess > 0 && !asked_.empty() &&
         (messages_.empty() || asked_.begin()->first < messages_.begin()->first)) {
    asked_.erase(asked_.begin());
    --excess;
  }
  std::set<MessageId> gone;
  for (auto it = messages_.begin(); it != messages_.end() && excess > 0;) {
    const TSentMessage& m = it->second;
    if (m.CountOf(RecipientStatus::Sending) > 0 || m.CountOf(RecipientStatus::Waiting) > 0 ||
        dirty_.count(it->first) != 0) {
      ++it;
      continue;
    }
    gone.insert(it->first);
    drawn_.erase(it->first);
    it = messages_.erase(it);
    --excess;
  }
  for (auto it = bySeq_.begin(); it != bySeq_.end();)
    it = gone.count(it->second) != 0 ? bySeq_.erase(it) : std::next(it);
}

MessageId TDeliveries::Keep(const std::string& nick, const std::string& address, const std::string& text) {
  THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr;
  if (!store) {
    tabs_.ConsoleError(texts_.MsgAlone("WaitingNeedsHistory"));
    return 0;
  }
  int forPeer = 0;
  int all = 0;
  for (const auto& [id, m] : messages_) {
    for (const auto& r : m.Recipients) {
      if (r.Status != RecipientStatus::Waiting) continue;
      ++all;
      if (r.Nick == nick) ++forPeer;
    }
  }
  if (forPeer >= kWaitingPerPeer) {
    tabs_.ConsoleError(Fmt("WaitingFullPeer", {nick, std::to_string(kWaitingPerPeer)}));
    return 0;
  }
  if (all >= kWaitingTotal) {
    tabs_.ConsoleError(Fmt("WaitingFull", {std::to_string(kWaitingTotal)}));
    return 0;
  }
  TSentMessage message;
  message.Id = NextId();
  message.Kind = MessageKind::Private;
  message.SentAtMs = clock_.NowMs();
  message.Text = text;
  TRecipient r;
  r.Nick = nick;
  r.Address = address;
  if (const auto key = private_.KeyOfPeer(nick, address)) r.KeyHex = secure::KeyText(*key);
  r.Status = RecipientStatus::Waiting;
  r.AtMs = message.SentAtMs;
  message.Recipients.push_back(r);
  if (!store->AddWaiting(
          {static_cast<std::int64_t>(message.Id), message.SentAtMs, nick, address, r.KeyHex, text})) {
    history_.TellNotices();
    return 0;
  }
  const MessageId id = message.Id;
  Sent(std::move(message));
  return id;
}

void TDeliveries::OfferKeeping(const std::string& tab, const std::string& nick, const std::string& address,
                               const std::string& text) {
  const auto answered = keepAnswers_.find(tab);
  if (settings_.KeepForAbsent || (answered != keepAnswers_.end() && answered->second)) {
    Keep(nick, address, text);
    return;
  }
  if (answered != keepAnswers_.end()) return;
  std::weak_ptr<bool> alive = alive_;
  window_.AskYesNo(Fmt("WaitingAsk", {nick, nick}), [this, alive, tab, nick, address, text](bool yes) {
    if (alive.expired()) return;
    keepAnswers_[tab] = yes;
    if (yes) Keep(nick, address, text);
  });
}

TSentMessage* TDeliveries::MessageFor(std::uint16_t type, std::uint16_t seq, const std::string& address) {
  const auto found = bySeq_.find({SeqKey(type, seq), address});
  if (found != bySeq_.end()) return Mutable(found->second);
  if (type != pkMassMessage) return nullptr;
  // A peer that joined after the roll-call began: the message it answers is the one with that
  // number sent to everybody.
  TSentMessage* m = nullptr;
  for (auto& [id, candidate] : messages_) {
    if (candidate.PacketType == pkMassMessage && candidate.Seq == seq) m = &candidate;
  }
  return m;
}

TRecipient* TDeliveries::RecipientAt(TSentMessage& m, const std::string& nick, const std::string& address) {
  auto r = std::find_if(m.Recipients.begin(), m.Recipients.end(),
                        [&](const TRecipient& x) { return x.Address == address; });
  if (r != m.Recipients.end()) return &*r;
  if (m.Kind != MessageKind::Everybody) return nullptr;
  TRecipient added;
  added.Nick = nick;
  added.Address = address;
  m.Recipients.push_back(added);
  Index(m, m.Recipients.size() - 1);
  return &m.Recipients.back();
}

void TDeliveries::Report(const TDeliveryReport& report) {
  TSentMessage* m = MessageFor(report.PacketType, report.Seq, report.Address);
  TRecipient* r = m ? RecipientAt(*m, report.Nick, report.Address) : nullptr;
  if (!r) return;
  if (report.Outcome == DeliveryOutcome::Delivered) {
    // A repeated confirmation changes nothing; a late one turns "not delivered" into delivered.
    if (r->Status == RecipientStatus::Delivered) return;
    r->Later = r->Later || report.Late || r->Status == RecipientStatus::NotDelivered;
    r->Status = RecipientStatus::Delivered;
  } else {
    // Once delivered, it stays delivered.
    if (r->Status == RecipientStatus::Delivered || r->Status == RecipientStatus::NotDelivered) return;
    r->Status = RecipientStatus::NotDelivered;
    r->Reason = report.Outcome;
  }
  r->AtMs = clock_.NowMs();
  Changed(*m, static_cast<int>(r - m->Recipients.data()));
}

void TDeliveries::Acknowledged(const std::string& nick, const std::string& address, std::uint16_t seq) {
  TSentMessage* m = MessageFor(pkMassMessage, seq, address);
  if (!m || !m->AskedAcknowledge) return;
  TRecipient* r = RecipientAt(*m, nick, address);
  if (!r || r->Acknowledged) return;
  const std::int64_t now = clock_.NowMs();
  r->Acknowledged = true;
  r->AcknowledgedAtMs = now;
  // Whoever acknowledges has it.
  if (r->Status != RecipientStatus::Delivered) {
    r->Status = RecipientStatus::Delivered;
    r->AtMs = now;
  }
  Changed(*m, static_cast<int>(r - m->Recipients.data()));
}

MessageId TDeliveries::AskedToAcknowledge(const std::string& nick, const std::string& address,
                                          std::uint16_t seq) {
  const MessageId id = NextId();
  asked_[id] = {nick, address, seq, false, 0};
  Prune();
  if (THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr) {
    const TDeliveryMark mark = ReceivedMark(id);
    store->SetDeliveryStatus(static_cast<std::int64_t>(id), mark.Text, mark.Tooltip);
  }
  for (TDeliveryObserver* o : observers_) o->AcknowledgeAsked(id, nick, address, false, 0);
  return id;
}

TDeliveryMark TDeliveries::ReceivedMark(MessageId id) const {
  TDeliveryMark mark;
  mark.Id = id;
  const auto it = asked_.find(id);
  if (it == asked_.end()) return mark;
  if (it->second.Done) {
    mark.Icon = icon::kDelivered;
    mark.Text = Fmt("DeliveryAcknowledged", {HourMinute(it->second.AtMs)});
    mark.Tooltip = Fmt("DeliveryAcknowledgedTip", {it->second.Nick, DateTimeText(it->second.AtMs)});
  } else {
    mark.Icon = icon::kAcknowledge;
    mark.Text = texts_.MsgAlone("DeliveryAcknowledge");
    mark.Tooltip = Fmt("DeliveryAcknowledgeTip", {it->second.Nick});
    mark.Click = TDeliveryMark::Action::Acknowledge;
  }
  return mark;
}

bool TDeliveries::Acknowledge(MessageId id) {
  const auto it = asked_.find(id);
  TPlumo* engine = engine_.Get();
  if (it == asked_.end() || it->second.Done || !engine) return false;
  if (engine->SendAcknowledge(it->second.Address, it->second.Seq) != SendResult::Sent) return false;
  it->second.Done = true;
  it->second.AtMs = clock_.NowMs();
  const TDeliveryMark mark = ReceivedMark(id);
  tabs_.Channels().ChangeMark(mark);
  tabs_.Inputs().ChangeMark(mark);
  ++marksDrawn_;
  if (THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr)
    store->SetDeliveryStatus(static_cast<std::int64_t>(id), mark.Text, mark.Tooltip);
  for (TDeliveryObserver* o : observers_)
    o->AcknowledgeAsked(id, it->second.Nick, it->second.Address, true, it->second.AtMs);
  return true;
}

void TDeliveries::Changed(TSentMessage& message, int recipient) {
  for (TDeliveryObserver* o : observers_) o->DeliveryChanged(message, recipient);
  dirty_.insert(message.Id);
  if (!timerOn_) {
    timerOn_ = true;
    timers_.SetCoreTimer(CoreTimer::DeliveryMarks, true, kMarkIntervalMs);
  }
}

void TDeliveries::Tick() {
  const std::set<MessageId> dirty = std::exchange(dirty_, {});
  for (const MessageId id : dirty) {
    const TSentMessage* m = Find(id);
    if (!m) continue;
    const TDeliveryMark mark = MarkOf(*m);
    auto& drawn = drawn_[id];
    if (drawn == mark) continue;
    drawn = mark;
    tabs_.Channels().ChangeMark(mark);
    tabs_.Inputs().ChangeMark(mark);
    ++marksDrawn_;
    Persist(*m);
  }
  if (dirty_.empty() && timerOn_) {
    timerOn_ = false;
    timers_.SetCoreTimer(CoreTimer::DeliveryMarks, false, 0);
  }
}

void TDeliveries::Persist(const TSentMessage& message) {
  THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr;
  if (!store) return;
  const TDeliveryMark mark = drawn_.count(message.Id) != 0 ? drawn_[message.Id] : MarkOf(message);
  store->SetDeliveryStatus(static_cast<std::int64_t>(message.Id), mark.Text, mark.Tooltip);
}

std::string TDeliveries::StatusText(const TRecipient& r) const {
  switch (r.Status) {
    case RecipientStatus::Sending:
      return texts_.MsgAlone("DeliverySending");
    case RecipientStatus::Delivered:
      return Fmt(r.Later ? "DeliveredLater" : "Delivered", {HourMinute(r.AtMs)});
    case RecipientStatus::NotDelivered: {
      const char* reason = "DeliveryNoAnswer";
      switch (r.Reason) {
        case DeliveryOutcome::PeerLeft:
          reason = "DeliveryPeerLeft";
          break;
        case DeliveryOutcome::PeerLost:
          reason = "DeliveryPeerLost";
          break;
        case DeliveryOutcome::PeerOffline:
          reason = "DeliveryPeerOffline";
          break;
        case DeliveryOutcome::Overwritten:
          reason = "DeliveryOverwritten";
          break;
        default:
          break;
      }
      return Fmt("NotDeliveredBecause", {texts_.MsgAlone(reason)});
    }
    case RecipientStatus::Waiting:
      return Fmt("DeliveryWaiting", {r.Nick});
    case RecipientStatus::Cancelled:
      return texts_.MsgAlone("DeliveryCancelled");
  }
  return {};
}

TDeliveryMark TDeliveries::MarkOf(const TSentMessage& m) const {
  TDeliveryMark mark;
  mark.Id = m.Id;
  const int total = static_cast<int>(m.Recipients.size());
  const int delivered = m.CountOf(RecipientStatus::Delivered);
  const int sending = m.CountOf(RecipientStatus::Sending);
  const int failed = m.CountOf(RecipientStatus::NotDelivered);
  // The tooltip names everybody who does not have it first, then those who do.
  std::string tip;
  int named = 0;
  for (const bool missing : {true, false}) {
    for (const TRecipient& r : m.Recipients) {
      if ((r.Status != RecipientStatus::Delivered) != missing) continue;
      if (named++ == kTooltipNames) {
        tip += "\r\n" + Fmt("DeliveryMore", {std::to_string(total - kTooltipNames)});
        break;
      }
      if (named > kTooltipNames) break;
      std::string line = r.Nick + " [" + r.Address + "]: " + StatusText(r);
      if (r.Acknowledged) line += ", " + Fmt("DeliveryAcknowledged", {HourMinute(r.AcknowledgedAtMs)});
      tip += (tip.empty() ? "" : "\r\n") + line;
    }
  }
  mark.Tooltip = tip;
  if (m.Kind == MessageKind::Everybody || total > 1) {
    mark.Icon = m.Kind == MessageKind::Everybody ? icon::kRollCall
                : failed > 0 && sending == 0     ? icon::kNotDelivered
                : delivered == total             ? icon::kDelivered
                                                 : icon::kDeliverySending;
    mark.Text = m.AskedAcknowledge
                    ? Fmt("RollCallAcknowledged", {std::to_string(delivered), std::to_string(total),
                                                   std::to_string(m.AcknowledgedCount())})
                    : Fmt("RollCall", {std::to_string(delivered), std::to_string(total)});
    mark.Click = m.Kind != MessageKind::Everybody && failed > 0 && sending == 0
                     ? TDeliveryMark::Action::SendAgain
                     : TDeliveryMark::Action::RollCall;
    return mark;
  }
  if (total == 0) return mark;
  const TRecipient& r = m.Recipients.front();
  mark.Text = StatusText(r);
  switch (r.Status) {
    case RecipientStatus::Sending:
      mark.Icon = icon::kDeliverySending;
      break;
    case RecipientStatus::Delivered:
      mark.Icon = icon::kDelivered;
      break;
    case RecipientStatus::NotDelivered:
      mark.Icon = icon::kNotDelivered;
      mark.Click = TDeliveryMark::Action::SendAgain;
      break;
    case RecipientStatus::Waiting:
      mark.Icon = icon::kDeliveryWaiting;
      mark.Click = TDeliveryMark::Action::CancelWaiting;
      break;
    case RecipientStatus::Cancelled:
      mark.Icon = icon::kNotDelivered;
      break;
  }
  return mark;
}

void TDeliveries::Activate(MessageId id, TDeliveryMark::Action action) {
  switch (action) {
    case TDeliveryMark::Action::SendAgain:
      SendAgain(id);
      break;
    case TDeliveryMark::Action::Acknowledge:
      Acknowledge(id);
      break;
    case TDeliveryMark::Action::CancelWaiting:
      CancelWaiting(id);
      break;
    case TDeliveryMark::Action::RollCall:
    case TDeliveryMark::Action::None:
      // The window shows the roll-call from Find itself.
      break;
  }
}

bool TDeliveries::SendPrivateCopy(TSentMessage& message, TRecipient& r) {
  TPlumo* engine = engine_.Get();
  if (!engine) return false;
  const TPrivateRoute route = private_.Route(r.Nick, r.Address);
  SendResult sent = SendResult::TooLong;
  if (route.How == TPrivateRoute::Encrypted) {
    // A sealed message goes sealed again, and only to the key it was sealed to.
    if (!r.KeyHex.empty() && secure::KeyText(*route.Key) != r.KeyHex) return false;
    const std::optional<secure::TSealed> sealed =
        private_.Seal(*route.Key, r.Address, engine->Nick(), message.Text);
    if (!sealed) return false;
    sent = engine->SendPrivateMessage(r.Nick, sealed->Field, r.Address, sealed->Receipt);
    r.KeyHex = secure::KeyText(*route.Key);
  } else if (route.How == TPrivateRoute::Clear && r.KeyHex.empty()) {
    sent = engine->SendPrivateMessage(r.Nick, message.Text, r.Address);
  }
  if (sent == SendResult::TooLong) return false;
  r.Seq = engine->LastSeq(pkPrivateMessage);
  return true;
}

int TDeliveries::SendAgain(MessageId id) {
  TSentMessage* m = Mutable(id);
  TPlumo* engine = engine_.Get();
  if (!m || !engine) return 0;
  int sent = 0;
  for (std::size_t i = 0; i < m->Recipients.size(); ++i) {
    TRecipient& r = m->Recipients[i];
    if (r.Status != RecipientStatus::NotDelivered) continue;
    const std::uint16_t seq = m->Kind == MessageKind::Private ? r.Seq : m->Seq;
    bool again = engine->SendAgain(r.Address, m->PacketType, seq) == SendResult::Sent;
    if (!again && m->Kind == MessageKind::Private) {
      again = SendPrivateCopy(*m, r);
    } else if (!again && m->Kind == MessageKind::Bell) {
      for (const auto& entry : engine->Users().Entries()) {
        if (entry->Address != r.Address) continue;
        const auto number = ParseBellNumber(m->Text);
        again = number && engine->SendBell(*entry, *number) == SendResult::Sent;
        if (again) m->Seq = engine->LastSeq(pkBell);
        break;
      }
    }
    if (!again) continue;
    ++sent;
    r.Status = RecipientStatus::Sending;
    r.AtMs = clock_.NowMs();
    Index(*m, i);
    Changed(*m, static_cast<int>(i));
  }
  return sent;
}

int TDeliveries::CancelWaiting(MessageId id) {
  TSentMessage* m = Mutable(id);
  if (!m) return 0;
  int cancelled = 0;
  for (std::size_t i = 0; i < m->Recipients.size(); ++i) {
    TRecipient& r = m->Recipients[i];
    if (r.Status != RecipientStatus::Waiting) continue;
    r.Status = RecipientStatus::Cancelled;
    r.AtMs = clock_.NowMs();
    ++cancelled;
    Changed(*m, static_cast<int>(i));
  }
  if (cancelled > 0) {
    if (THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr)
      store->RemoveWaiting(static_cast<std::int64_t>(id));
  }
  return cancelled;
}

std::vector<const TSentMessage*> TDeliveries::Waiting() const {
  std::vector<const TSentMessage*> waiting;
  for (const auto& [id, m] : messages_) {
    if (m.CountOf(RecipientStatus::Waiting) > 0) waiting.push_back(&m);
  }
  return waiting;
}

void TDeliveries::PeerSeen(const std::string& nick, const std::string& address) {
  TPlumo* engine = engine_.Get();
  if (!engine) return;
  const AChuvakInfo* entry = engine->Users().Entry(engine->Users().Find(nick, address));
  if (entry && entry->State == stOffline) return;
  std::string keyHex;
  if (const auto key = private_.KeyOfPeer(nick, address)) keyHex = secure::KeyText(*key);
  for (auto& [id, m] : messages_) {
    for (std::size_t i = 0; i < m.Recipients.size(); ++i) {
      TRecipient& r = m.Recipients[i];
      if (r.Status != RecipientStatus::Waiting) continue;
      const bool same = (r.Nick == nick && r.Address == address) || (!r.KeyHex.empty() && r.KeyHex == keyHex);
      if (!same) continue;
      TRecipient copy = r;
      copy.Nick = nick;
      copy.Address = address;
      if (!SendPrivateCopy(m, copy)) continue;
      r = copy;
      r.Status = RecipientStatus::Sending;
      r.Later = true;
      r.AtMs = clock_.NowMs();
      Index(m, i);
      if (THistoryStore* store = history_.Enabled() ? history_.Store() : nullptr)
        store->RemoveWaiting(static_cast<std::int64_t>(id));
      Changed(m, static_cast<int>(i));
    }
  }
}

}  // namespace plumo
