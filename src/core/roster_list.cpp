#include "core/roster_list.h"

#include <algorithm>
#include <set>

#include "core/ownstate.h"
#include "lang/textcase.h"

namespace plumo {

std::optional<std::uint16_t> ParseBellNumber(std::string_view text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  unsigned number = 0;
  for (const char c : text) number = number * 10 + static_cast<unsigned>(c - '0');
  if (number > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(number);
}

const RosterRow* TRosterList::FirstSelected() const {
  for (const auto& row : rows_) {
    if (row.Selected) return &row;
  }
  return nullptr;
}

void TRosterList::SetSelection(const std::vector<int>& rows) {
  for (auto& row : rows_) row.Selected = false;
  for (int r : rows) {
    if (r >= 0 && r < static_cast<int>(rows_.size())) rows_[static_cast<std::size_t>(r)].Selected = true;
  }
}

void TRosterList::Move(RosterMove move) {
  RosterSelection selection;
  for (const auto& row : rows_) selection.push_back(row.Selected);
  selection = MoveRosterSelection(std::move(selection), move);
  for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i].Selected = selection[i];
  c_.s.roster.SelectionChanged(rows_);
}

void TRosterList::ShowSelection(const std::vector<int>& rows) {
  SetSelection(rows);
  c_.s.roster.SelectionChanged(rows_);
}

void TRosterList::Refresh() {
  if (!c_.windowVisible || !c_.engine) return;
  std::set<std::string> selected;
  for (const auto& row : rows_) {
    if (row.Selected) selected.insert(row.Address);
  }
  rows_.clear();
  for (const auto& entry : c_.engine->Users().Entries()) {
    RosterRow row;
    row.Nick = entry->Nick;
    row.Address = entry->Address;
    row.State = entry->State;
    row.Description = entry->StateDescription;
    const int image = StateImageIndex(entry->State);
    row.Icon = image >= 0 ? image : StateImageIndex(stActive);
    row.Selected = selected.count(entry->Address) != 0;
    rows_.push_back(std::move(row));
  }
  std::stable_sort(rows_.begin(), rows_.end(), [](const RosterRow& a, const RosterRow& b) {
    return Cp1251UpperCase(a.Nick) < Cp1251UpperCase(b.Nick);
  });
  c_.s.roster.RosterRebuilt(rows_);
  c_.s.roster.TotalChanged(c_.MsgAlone("Total") + " : " + std::to_string(c_.engine->Users().Count()));
}

void TRosterList::UpdateState(const AChuvakInfo& entry) {
  const int image = StateImageIndex(entry.State);
  if (image < 0) return;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].Address != entry.Address) continue;
    rows_[row].State = entry.State;
    rows_[row].Description = entry.StateDescription;
    rows_[row].Icon = image;
    c_.s.roster.RowIconChanged(static_cast<int>(row), image);
    return;
  }
}

std::string TRosterList::Tip(const RosterRow& row) const {
  if (!c_.engine) return {};
  const TUsers& users = c_.engine->Users();
  const AChuvakInfo* entry = users.Entry(users.Find(row.Nick, row.Address));
  if (entry == nullptr) return {};
  const TMessageScope scope(c_.mis);
  return RosterTip(*entry, StateCaption(c_.mis, entry->State), c_.s.system.NowLocalMs());
}

void TRosterList::AnnounceRoster() {
  if (c_.engine) c_.engine->SendRosterList();
}

void TRosterList::ReportNoUserSelected() {
  tabs_.ConsoleError(c_.MsgAlone("NoUsersSelect"));
  tabs_.ActivateConsole();
}

void TRosterList::SendBellToSelected(std::uint16_t number) {
  if (!c_.engine) return;
  if (const RosterRow* row = FirstSelected()) {
    const int index = c_.engine->Users().Find(row->Nick, row->Address);
    if (const AChuvakInfo* entry = c_.engine->Users().Entry(index)) c_.engine->SendBell(*entry, number);
    return;
  }
  ReportNoUserSelected();
}

void TRosterList::ChosenBellClick() {
  AskBellNumber(c_.MsgAlone("NumBell"));
}

// Asks again until the answer is a bell number; the selection is read when the answer comes.
void TRosterList::AskBellNumber(const std::string& title) {
  c_.s.window.AskText(title, title, "0", [this, title](const std::optional<std::string>& answer) {
    const std::optional<std::uint16_t> number = ParseBellNumber(answer.value_or("0"));
    if (number) {
      SendBellToSelected(*number);
    } else {
      AskBellNumber(title);
    }
  });
}

bool TRosterList::SendBellToNick(const std::string& nick, std::uint16_t number) {
  if (!c_.engine) return false;
  for (const auto& entry : c_.engine->Users().Entries()) {
    if (entry->Nick == nick) return c_.engine->SendBell(*entry, number) == SendResult::Sent;
  }
  ReportNoUserSelected();
  return false;
}

}  // namespace plumo
