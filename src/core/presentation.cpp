// The handlers of the engine's events: each writes its line into the right conversation with its
// colour and language text, marks the tab and plays the event's sound; RefreshUserList rebuilds
// the roster list.
#include <algorithm>
#include <set>

#include "core/chatcore.h"
#include "core/texts.h"
#include "lang/text_helpers.h"
#include "lang/textcase.h"

namespace plumo {

namespace {

const std::string kCrLf = "\r\n";

std::string Field0(const TMStigs& fields) {
  return fields.empty() ? std::string() : fields[0];
}

}  // namespace

void TChatCore::HandleNewUser(const TMStigs& fields, const std::string& address) {
  {
    const TMessageScope scope(*mis_);
    ConsoleAdd("#^888866[" + NowTime() + "] " + Msg("NewUser") + " : " + Field0(fields) + " [" + address +
               "]");
  }
  PlayEventSound("join_network");
}

void TChatCore::HandleUserExit(const TMStigs& fields, const std::string& address) {
  {
    const TMessageScope scope(*mis_);
    ConsoleAdd("#^666666[" + NowTime() + "] " + Msg("UserExit") + " : " + Field0(fields) + " [" + address +
               "]");
  }
  PlayEventSound("leave_network");
}

void TChatCore::HandleUserLost(const std::string& nick, const AChuvakInfo& entry) {
  const TMessageScope scope(*mis_);
  ConsoleAdd("#^666666[" + NowTime() + "] " + Msg("UserLost") + " : " + nick + " [" + entry.Address + "]");
}

void TChatCore::HandleUserState(const AChuvakInfo& entry, char oldState) {
  const int image = StateImageIndex(entry.State);
  if (image >= 0) {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
      if (rows_[row].Address == entry.Address) {
        rows_[row].State = entry.State;
        rows_[row].Icon = image;
        s_.roster.RowIconChanged(static_cast<int>(row), image);
        break;
      }
    }
  }
  const char now = entry.State;
  if (oldState == now || now == stAway || (oldState == stAway && now == stActive)) return;
  const TMessageScope scope(*mis_);
  ConsoleAdd("#^666666[" + NowTime() + "] " +
             FormatText(Msg("UserChangeStatus"), {entry.Nick, StateCaption(now), entry.StateDescription}));
}

void TChatCore::HandleTopicChange(const std::string& channelName) {
  const TChanel* ch = engine_->FindChannel(channelName);
  if (ch == nullptr) return;
  const std::string when = DateTimeText(UnixToLocalMs(ch->TopicTime));
  const int index = channels_.IndexOf(channelName);
  const bool current = index >= 0 && index == channels_.CurrentIndex();
  if (index >= 0) {
    channels_.At(index).IconIndex = current ? icon::kChannelSeen : icon::kChannelUnseen;
    channels_.At(index).Seen = current;
  }
  if (current) ShowChannelTopicCaption(*ch);
  {
    const TMessageScope scope(*mis_);
    channels_.AddLine(channelName, "#^0022FF" + FormatText(Msg("TopicChange"),
                                                           {ch->SetterNick, ch->Topic + "#^0022FF", when}));
    ConsoleAdd("#^0022FF" +
               FormatText(Msg("TopicChangeC"), {ch->SetterNick, ch->Name, ch->Topic + "#^0022FF", when}));
  }
  PlayEventSound("topic_change");
}

void TChatCore::HandleChannelLine(const TMStigs& fields, const std::string& channel,
                                  const std::string& text) {
  if (channel == "#") return;
  const int index = channels_.IndexOf(channel);
  if (index <= 0) return;  // no tab for it (the console takes no channel lines)
  const bool current = index == channels_.CurrentIndex();
  channels_.At(index).IconIndex = current ? icon::kChannelSeen : icon::kChannelUnseen;
  channels_.At(index).Seen = current;
  std::string nick = Field0(fields);
  if (settings_.ChanelHotNik) nick = ":#" + nick + "^#K";
  channels_.AddLine(channel, "#^666666[" + NowTime() + "] " + "#^000000" + nick + ": " + text);
  channels_.RefreshIcons();
  PlayEventSound("chat_line");
}

void TChatCore::HandlePrivateMessage(const TMStigs& fields, const std::string& text,
                                     const std::string& address) {
  const std::string t = NowTime();
  const std::string caption = "[" + t + "] " + "<-" + Field0(fields) + ",";
  Conversation c;
  c.Name = caption;
  c.IconIndex = icon::kPrivate;
  c.Seen = false;
  c.Recipients = address;
  c.MassMessage = false;
  c.Mode = ModeReply;
  // Two messages from one nick within the same second share the tab rather than lose one.
  inputs_.Add(c);
  inputs_.AddLine(caption, kCrLf + "#^666666>" + Field0(fields) + " [" + t + "]" + "#^" +
                               ColorToRgb(ownColor_) + kCrLf + text);
  inputs_.RefreshIcons();
  PlayEventSound("message");
}

void TChatCore::HandleMassMessage(const TMStigs& fields, const std::string& text,
                                  const std::string& address) {
  if (settings_.DesableMultiMessage) return;
  const std::string t = NowTime();
  const std::string caption = "[" + t + "] " + "<-@" + Field0(fields);
  Conversation c;
  c.Name = caption;
  c.IconIndex = icon::kMass;
  c.Seen = false;
  c.Recipients = address;
  c.MassMessage = false;  // a reply goes to the sender alone
  c.Mode = ModeReply;
  inputs_.Add(c);
  {
    const TMessageScope scope(*mis_);
    inputs_.AddLine(caption, kCrLf + "#^666666>" + Field0(fields) + " " + Msg("MultiMessage") + " [" + t +
                                 "] " + "#^" + ColorToRgb(ownColor_) + kCrLf + text);
  }
  inputs_.RefreshIcons();
  PlayEventSound("mass_message");
}

void TChatCore::HandleConfirm(const AChuvakInfo& entry, std::uint16_t packetType) {
  const char* key = nullptr;
  if (packetType == pkPrivateMessage || packetType == pkMassMessage) {
    key = "Message_received";
  } else if (packetType == pkBell) {
    key = "Bell_received";
  } else {
    return;
  }
  {
    const TMessageScope scope(*mis_);
    ConsoleAdd("#^888866" + FormatText(Msg(key), {NowTime(), entry.Nick, entry.StateDescription}));
  }
  PlayEventSound("confirm");
}

void TChatCore::HandleUnknownCommand(const std::string& text) {
  ConsoleAdd(NowDateTime() + " " + text);
}

void TChatCore::HandleNickChange(const TMStigs& fields, const std::string& newNick,
                                 const std::string& address) {
  const TMessageScope scope(*mis_);
  ConsoleAdd("#^666666" + FormatText(Msg("User_change_Nik"), {NowTime(), Field0(fields), newNick, address}));
}

void TChatCore::HandleInfo(const TMStigs& fields, const std::string& infoText, const std::string& address) {
  const TMessageScope scope(*mis_);
  ConsoleAdd(kCrLf + kCrLf + kCrLf + "#^666666" +
             FormatText(Msg("Info"), {NowTime(), Field0(fields), address, infoText}));
}

void TChatCore::HandleSendError() {
  SetTimer1(true);
}

void TChatCore::HandleBell(const AChuvakInfo& entry, std::uint16_t bellNumber) {
  if (engine_->State() == stOffline) return;
  {
    const TMessageScope scope(*mis_);
    ConsoleAdd("#^888866" + FormatText(Msg("Bell"), {NowTime(), entry.Nick, std::to_string(bellNumber)}));
  }
  PlayBell(bellNumber);
}

void TChatCore::RefreshUserList() {
  if (!windowVisible_ || !engine_) return;
  std::set<std::string> selected;
  for (const auto& row : rows_) {
    if (row.Selected) selected.insert(row.Address);
  }
  rows_.clear();
  for (const auto& entry : engine_->Users().Entries()) {
    RosterRow row;
    row.Nick = entry->Nick;
    row.Address = entry->Address;
    row.State = entry->State;
    const int image = StateImageIndex(entry->State);
    row.Icon = image >= 0 ? image : StateImageIndex(stActive);
    row.Selected = selected.count(entry->Address) != 0;
    rows_.push_back(std::move(row));
  }
  std::stable_sort(rows_.begin(), rows_.end(), [](const RosterRow& a, const RosterRow& b) {
    return Cp1251UpperCase(a.Nick) < Cp1251UpperCase(b.Nick);
  });
  s_.roster.RosterRebuilt(rows_);
  const TMessageScope scope(*mis_);
  s_.roster.TotalChanged(Msg("Total") + " : " + std::to_string(engine_->Users().Count()));
}

void TChatCore::SetRosterSelection(const std::vector<int>& rows) {
  for (auto& row : rows_) row.Selected = false;
  for (int r : rows) {
    if (r >= 0 && r < static_cast<int>(rows_.size())) rows_[static_cast<std::size_t>(r)].Selected = true;
  }
}

void TChatCore::SetWindowVisible(bool visible) {
  windowVisible_ = visible;
  if (visible) RefreshUserList();
}

}  // namespace plumo
