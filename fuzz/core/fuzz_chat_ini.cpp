// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as chat.ini through the settings loader and the savers. Checks that a
// load never fails, that saving what was loaded adds no section beyond those the settings table owns,
// and that one save normalises the settings: loading, saving and loading again gives the same; and
// that the indexed reads of a file read many times agree with a first read.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "core/settings.h"
#include "lang/textcase.h"

namespace {

std::string Dir() {
  static const std::string dir = [] {
    std::string tmpl =
        (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/fuzz_chat_ini-XXXXXX");
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    return tmpl;
  }();
  return dir;
}

bool SameMain(const plumo::TSettings& a, const plumo::TSettings& b) {
  return a.AutoStart == b.AutoStart && a.Language == b.Language &&
         a.ShowBallonIfNotFocused == b.ShowBallonIfNotFocused && a.FormH == b.FormH && a.FormW == b.FormW &&
         a.FormL == b.FormL && a.FormT == b.FormT && a.DesableMultiMessage == b.DesableMultiMessage &&
         a.MyNiks == b.MyNiks && a.MyName == b.MyName && a.Chanels == b.Chanels &&
         a.MultiLineH == b.MultiLineH && a.SingleLineH == b.SingleLineH && a.ChanelHotNik == b.ChanelHotNik &&
         a.MessagesHotNik == b.MessagesHotNik && a.MyColor == b.MyColor && a.CustomColors == b.CustomColors &&
         a.MyIP == b.MyIP && a.Broadcast == b.Broadcast && a.About == b.About &&
         a.MyStateDescr == b.MyStateDescr && a.MyState == b.MyState && a.InputHistory == b.InputHistory &&
         a.AboutPresent == b.AboutPresent && a.SmileTable == b.SmileTable && a.SoundTable == b.SoundTable &&
         a.SoundSets == b.SoundSets && a.BellTable == b.BellTable && a.StateTable == b.StateTable;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = Dir() + "/chat.ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  plumo::TIniFile ini(path);
  plumo::TSettingsEnv env;
  env.UserName = "fuzz user";
  const plumo::TSettings first = plumo::LoadSettings(ini, env);
  std::set<std::string> before;
  for (const auto& s : ini.ReadSections()) before.insert(plumo::Cp1251UpperCase(s));
  // Reads through the index (the loader read many times) find what a first read's scan finds.
  for (const auto& s : ini.ReadSections()) {
    for (const auto& k : ini.ReadSection(s)) {
      if (ini.Read(s, k) != plumo::TIniFile(path).Read(s, k)) std::abort();
    }
  }

  plumo::TSaveContext ctx;
  for (const auto& tab : plumo::ChannelTabs(first.Chanels)) {
    if (tab != "#") ctx.Topics.push_back(plumo::ReadTopic(ini, tab, "Welcome", 1700000000));
  }
  plumo::SaveSettings(ini, first, ctx, true);
  static const std::set<std::string> owned = [] {
    std::set<std::string> sections;
    for (const auto& d : plumo::SettingsTable()) sections.insert(plumo::Cp1251UpperCase(d.Section));
    return sections;
  }();
  for (const auto& s : ini.ReadSections()) {
    const std::string up = plumo::Cp1251UpperCase(s);
    if (!before.count(up) && !owned.count(up)) std::abort();  // a value made a section of its own
  }

  const plumo::TSettings second = plumo::LoadSettings(ini, env);
  plumo::SaveSettings(ini, second, ctx, true);
  const plumo::TSettings third = plumo::LoadSettings(ini, env);
  if (!SameMain(second, third)) std::abort();
  return 0;
}
