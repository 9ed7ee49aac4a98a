// SPDX-License-Identifier: GPL-3.0-or-later
// TRosterList: the roster panel's rows as the core keeps them (sorted by nick, with the user's
// selection) and the actions on the selected peers: bells and their lookup by nick. The window's
// list shows these rows through the RosterView seam and reports its selection back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/roster_moves.h"
#include "core/slots.h"
#include "core/tabstrips.h"
#include "core/texts.h"

namespace plumo {

// A bell number as the user types it: one to five digits naming a bell that fits the 16-bit number
// a bell travels as (five digits reach 99999, and a larger number would ring another bell than the
// one asked for); nullopt for anything else.
std::optional<std::uint16_t> ParseBellNumber(std::string_view text);

class TRosterList {
 public:
  TRosterList(RosterView& view, WindowSurface& window, TMsgINISupp& messages, const TClock& clock,
              const TEngineSlot& engine, const TWindowShown& windowShown, TTabStrips& tabs)
      : view_(view),
        window_(window),
        texts_(messages),
        clock_(clock),
        engine_(engine),
        windowShown_(windowShown),
        tabs_(tabs) {}

  const std::vector<RosterRow>& Rows() const { return rows_; }
  // The first selected row, or null.
  const RosterRow* FirstSelected() const;
  // The selection of the roster list (row indices of Rows(); others are ignored).
  void SetSelection(const std::vector<int>& rows);
  // The same by the rows' addresses, for a list that may show older rows than the core's.
  void SetSelectionByAddress(const std::vector<std::string>& addresses);

  // Ctrl or Shift with Up or Down in the editor: the selection moves, and the list shows it.
  void Move(RosterMove move);
  // Selects rows (nick completion found one) and shows it in the list.
  void ShowSelection(const std::vector<int>& rows);

  // Brings the rows up to the engine's roster, keeping the selection by address; only while the
  // window is shown (it is rebuilt when it is shown again). When the roster changed by exactly one
  // step since the rows last followed it (a peer added, renamed or removed), only that row moves:
  // a flood of new peers costs one sort key and one insertion each, not a re-sort of the roster.
  // Anything else rebuilds all rows.
  void Refresh();
  // Sort keys (upper-cased nicks) computed so far: what the rows have cost.
  std::uint64_t KeysComputed() const { return keysComputed_; }
  // A peer's state changed: its row's state and picture.
  void UpdateState(const AChuvakInfo& entry);
  // The tip of a row: nick, address, state, description and the seconds since it was last heard;
  // empty for a row whose peer has left.
  std::string Tip(const RosterRow& row) const;
  // The user-count button: the roster is announced to everybody.
  void AnnounceRoster();

  // Sends bell number to the first selected row; "NoUsersSelect" when none.
  void SendBellToSelected(std::uint16_t number);
  // The roster menu's chosen bell: asks for the number ("NumBell", default "0") until
  // ParseBellNumber accepts the answer, then sends it to the first selected row; a cancelled box
  // answers "0".
  void ChosenBellClick();
  // Sends bell number to the first roster entry with that nick; "NoUsersSelect" when none.
  bool SendBellToNick(const std::string& nick, std::uint16_t number);
  // The red console line "NoUsersSelect", then the console is shown.
  void ReportNoUserSelected();

 private:
  void AskBellNumber(const std::string& title);
  void Rebuild();
  bool Follow(const TRosterChange& change);
  RosterRow MakeRow(const AChuvakInfo& entry) const;
  std::string Key(const std::string& nick);
  // Position of the row of address among the rows sorted under key, or -1.
  int RowOf(const std::string& key, const std::string& address) const;
  void InsertRow(int engineIndex, RosterRow row, std::string key);

  RosterView& view_;
  WindowSurface& window_;
  TTexts texts_;
  const TClock& clock_;
  const TEngineSlot& engine_;
  const TWindowShown& windowShown_;
  TTabStrips& tabs_;
  std::vector<RosterRow> rows_;
  std::vector<std::string> keys_;  // the sort key of each row
  bool synced_ = false;            // rows_ followed the roster up to version_
  std::uint64_t version_ = 0;
  std::uint64_t keysComputed_ = 0;
};

}  // namespace plumo
