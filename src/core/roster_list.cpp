// SPDX-License-Identifier: GPL-3.0-or-later
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

void TRosterList::SetSelectionByAddress(const std::vector<std::string>& addresses) {
  for (auto& row : rows_) {
    row.Selected = std::find(addresses.begin(), addresses.end(), row.Address) != addresses.end();
  }
}

void TRosterList::Move(RosterMove move) {
  RosterSelection selection;
  for (const auto& row : rows_) selection.push_back(row.Selected);
  selection = MoveRosterSelection(std::move(selection), move);
  for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i].Selected = selection[i];
  view_.SelectionChanged(rows_);
}

void TRosterList::ShowSelection(const std::vector<int>& rows) {
  SetSelection(rows);
  view_.SelectionChanged(rows_);
}

std::string TRosterList::Key(const std::string& nick) {
  ++keysComputed_;
  return Cp1251UpperCase(nick);
}

RosterRow TRosterList::MakeRow(const AChuvakInfo& entry) const {
  RosterRow row;
  row.Nick = entry.Nick;
  row.Address = entry.Address;
  row.State = entry.State;
  row.Description = entry.StateDescription;
  const int image = StateImageIndex(entry.State);
  row.Icon = image >= 0 ? image : StateImageIndex(stActive);
  return row;
}

void TRosterList::Rebuild() {
  std::set<std::string> selected;
  for (const auto& row : rows_) {
    if (row.Selected) selected.insert(row.Address);
  }
  const auto& entries = engine_->Users().Entries();
  std::vector<std::pair<std::string, RosterRow>> sorted;
  sorted.reserve(entries.size());
  for (const auto& entry : entries) {
    RosterRow row = MakeRow(*entry);
    row.Selected = selected.count(entry->Address) != 0;
    sorted.emplace_back(Key(entry->Nick), std::move(row));
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  rows_.clear();
  keys_.clear();
  for (auto& [key, row] : sorted) {
    keys_.push_back(std::move(key));
    rows_.push_back(std::move(row));
  }
}

int TRosterList::RowOf(const std::string& key, const std::string& address) const {
  auto [first, last] = std::equal_range(keys_.begin(), keys_.end(), key);
  for (auto it = first; it != last; ++it) {
    const auto r = static_cast<std::size_t>(it - keys_.begin());
    if (rows_[r].Address == address) return static_cast<int>(r);
  }
  return -1;
}

// Rows of equal keys stay in roster order, as a full rebuild (a stable sort) leaves them.
void TRosterList::InsertRow(int engineIndex, RosterRow row, std::string key) {
  const TUsers& users = engine_->Users();
  auto [first, last] = std::equal_range(keys_.begin(), keys_.end(), key);
  auto at = first;
  while (at != last) {
    const RosterRow& other = rows_[static_cast<std::size_t>(at - keys_.begin())];
    if (users.Find(other.Nick, other.Address) > engineIndex) break;
    ++at;
  }
  const auto pos = at - keys_.begin();
  keys_.insert(keys_.begin() + pos, std::move(key));
  rows_.insert(rows_.begin() + pos, std::move(row));
}

bool TRosterList::Follow(const TRosterChange& change) {
  const TUsers& users = engine_->Users();
  bool selected = false;
  if (change.Kind != TRosterChange::Added) {
    const int r =
        RowOf(Key(change.Kind == TRosterChange::Renamed ? change.OldNick : change.Nick), change.Address);
    if (r < 0) return change.Kind == TRosterChange::Renamed ? false : true;
    selected = rows_[static_cast<std::size_t>(r)].Selected;
    keys_.erase(keys_.begin() + r);
    rows_.erase(rows_.begin() + r);
  }
  if (change.Kind == TRosterChange::Removed) return true;
  const AChuvakInfo* entry = users.Entry(change.Index);
  if (entry == nullptr || entry->Address != change.Address) return false;
  RosterRow row = MakeRow(*entry);
  row.Selected = selected;
  InsertRow(change.Index, std::move(row), Key(entry->Nick));
  return true;
}

void TRosterList::Refresh() {
  if (!windowShown_.Visible() || !engine_) {
    synced_ = false;
    return;
  }
  const TUsers& users = engine_->Users();
  const bool oneStep = synced_ && users.Version() == version_ + 1;
  if (!oneStep || !Follow(users.LastChange()) || rows_.size() != static_cast<std::size_t>(users.Count()))
    Rebuild();
  synced_ = true;
  version_ = users.Version();
  view_.RosterRebuilt(rows_);
  view_.TotalChanged(texts_.MsgAlone("Total") + " : " + std::to_string(users.Count()));
}

void TRosterList::UpdateState(const AChuvakInfo& entry) {
  const int image = StateImageIndex(entry.State);
  if (image < 0) return;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].Address != entry.Address) continue;
    rows_[row].State = entry.State;
    rows_[row].Description = entry.StateDescription;
    rows_[row].Icon = image;
    view_.RowIconChanged(static_cast<int>(row), image);
    return;
  }
}

std::string TRosterList::Tip(const RosterRow& row) const {
  if (!engine_) return {};
  const TUsers& users = engine_->Users();
  const AChuvakInfo* entry = users.Entry(users.Find(row.Nick, row.Address));
  if (entry == nullptr) return {};
  std::string tip;
  {
    const TMessageScope scope(texts_.Messages());
    tip = RosterTip(*entry, StateCaption(texts_.Messages(), entry->State), texts_.Msg("LastHeard"),
                    clock_.NowMs());
  }
  // Two addresses under one nick: the tip names them all, since either may be an impostor.
  const std::vector<std::string> sharing = users.AddressesOf(row.Nick);
  if (sharing.size() > 1) {
    std::string list;
    for (const auto& a : sharing) list += (list.empty() ? "" : ", ") + a;
    tip += "\r\n" + row.Nick + ": " + list;
  }
  return tip;
}

void TRosterList::AnnounceRoster() {
  if (engine_) engine_->SendRosterList();
}

void TRosterList::ReportNoUserSelected() {
  tabs_.ConsoleError(texts_.MsgAlone("NoUsersSelect"));
  tabs_.ActivateConsole();
}

void TRosterList::SendBellToSelected(std::uint16_t number) {
  if (!engine_) return;
  if (const RosterRow* row = FirstSelected()) {
    const int index = engine_->Users().Find(row->Nick, row->Address);
    if (const AChuvakInfo* entry = engine_->Users().Entry(index)) engine_->SendBell(*entry, number);
    return;
  }
  ReportNoUserSelected();
}

void TRosterList::ChosenBellClick() {
  AskBellNumber(texts_.MsgAlone("NumBell"));
}

// Asks again until the answer is a bell number; the selection is read when the answer comes.
void TRosterList::AskBellNumber(const std::string& title) {
  window_.AskText(title, title, "0", [this, title](const std::optional<std::string>& answer) {
    const std::optional<std::uint16_t> number = ParseBellNumber(answer.value_or("0"));
    if (number) {
      SendBellToSelected(*number);
    } else {
      AskBellNumber(title);
    }
  });
}

bool TRosterList::SendBellToNick(const std::string& nick, std::uint16_t number) {
  if (!engine_) return false;
  for (const auto& entry : engine_->Users().Entries()) {
    if (entry->Nick == nick) return engine_->SendBell(*entry, number) == SendResult::Sent;
  }
  ReportNoUserSelected();
  return false;
}

}  // namespace plumo
