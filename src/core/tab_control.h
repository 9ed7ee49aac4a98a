// SPDX-License-Identifier: GPL-3.0-or-later
// TTabControl: what a part of the core that the tab strips do not know asks of them: a line in the
// console, and showing the tab of a conversation. TTabStrips implements it; the conversation
// history uses it to tell its notices and to open the conversation of a stored line.
#pragma once

#include <string>

#include "core/texts.h"

namespace plumo {

class TTabControl {
 public:
  // A line in the console tab (every program notice goes there); marks the tab unless it is shown.
  virtual void ConsoleAdd(const std::string& line) = 0;
  // A red console line, "#^FF0000" + the text.
  void ConsoleError(const std::string& text) { ConsoleAdd(kRed + text); }
  // Shows a tab, marks it seen and focuses the editor; false for an invalid index.
  virtual bool SelectChannelTab(int index) = 0;
  virtual bool SelectMessageTab(int index) = 0;
  // Opens and shows a reply tab to recipients (",addr,addr" or "@..."), captioned with the time and
  // names; returns its index.
  virtual int OpenReplyTab(const std::string& recipients, const std::string& names, bool mass) = 0;

 protected:
  TTabControl() = default;
  ~TTabControl() = default;
  TTabControl(const TTabControl&) = default;
  TTabControl& operator=(const TTabControl&) = default;
};

}  // namespace plumo
