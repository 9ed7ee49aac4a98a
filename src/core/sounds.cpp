// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/soundboard.h"

namespace plumo {

FsPath TSoundBoard::ResolveSoundFile(const std::string& file) const {
  if (file.empty()) return {};
  FsPath named = FsPath::FromCp1251(file);
  if (system_.FileExists(named)) return named;
  FsPath inSounds = appDir_ / "sounds" / named;
  if (system_.FileExists(inSounds)) return inSounds;
  return {};
}

void TSoundBoard::PlayEventSound(const std::string& key) {
  TNameValueList& table = settings_.SoundTable;
  if (!table.Has("mute")) {
    table.Add("mute", "0");
  } else if (table.Value("mute") == "1") {
    return;
  }
  const std::string on = "on_" + key;
  if (!table.Has(on)) {
    // The first occurrence of an event only registers it.
    table.Add(on, "1");
    return;
  }
  if (table.Value(on) != "1") return;
  const std::string srcKey = key + "_src";
  const std::string src = table.Value(srcKey);
  if (src.empty()) {
    // An absent or empty file name becomes the default one: set, not added, so that a table that
    // names an empty file does not grow by an entry on every event.
    table.SetValue(srcKey, key + ".wav");
    return;
  }
  const FsPath path = ResolveSoundFile(src);
  if (!path.Empty()) sound_.PlayFile(path);
}

void TSoundBoard::PlayBell(std::uint16_t number) {
  const std::string name = std::to_string(number);
  if (!settings_.BellTable.Has(name)) return;
  const FsPath path = ResolveSoundFile(settings_.BellTable.Value(name));
  if (!path.Empty()) sound_.PlayFile(path);
}

void TSoundBoard::UpdateMuteImage() {
  window_.SetMuteImage(settings_.SoundTable.Value("mute") == "1" ? icon::kMuted : icon::kSound);
}

void TSoundBoard::MuteClick() {
  TNameValueList& table = settings_.SoundTable;
  if (!table.Has("mute")) return;
  table.SetValue("mute", table.Value("mute") != "1" ? "1" : "0");
  UpdateMuteImage();
}

// The sets are loaded with the settings and edited in memory by the settings dialog, so that the
// full save writes what is in force; states '2' and '3' have no set of their own and keep the table.
void TSoundBoard::LoadSoundsForState(char state) {
  if (const TNameValueList* set = SoundSetOfState(settings_, state)) {
    settings_.SoundTable = *set;
    setInForce_ = state;
  }
}

void TSoundBoard::AdoptTableAs(char state) {
  if (SoundSetOfState(settings_, state) != nullptr) setInForce_ = state;
}

}  // namespace plumo
