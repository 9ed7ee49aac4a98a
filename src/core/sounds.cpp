// Event sounds and bells: the sound table in force decides whether an event sounds and which
// file it plays, and completes itself with defaults as events occur.
#include "core/chatcore.h"

namespace plumo {

std::string TChatCore::ResolveSoundFile(const std::string& file) {
  if (file.empty()) return {};
  if (s_.system.FileExists(file)) return file;
  const std::string inSounds = appDir_ + "/sounds/" + file;
  if (s_.system.FileExists(inSounds)) return inSounds;
  return {};
}

void TChatCore::PlayEventSound(const std::string& key) {
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
  const std::string src = table.Value(key + "_src");
  if (src.empty()) {
    table.Add(key + "_src", key + ".wav");
    return;
  }
  const std::string path = ResolveSoundFile(src);
  if (!path.empty()) s_.sound.PlayFile(path);
}

void TChatCore::PlayBell(std::uint16_t number) {
  const std::string name = std::to_string(number);
  if (!settings_.BellTable.Has(name)) return;
  const std::string path = ResolveSoundFile(settings_.BellTable.Value(name));
  if (!path.empty()) s_.sound.PlayFile(path);
}

void TChatCore::UpdateMuteImage() {
  s_.window.SetMuteImage(settings_.SoundTable.Value("mute") == "1" ? icon::kMuted : icon::kSound);
}

void TChatCore::MuteClick() {
  TNameValueList& table = settings_.SoundTable;
  if (!table.Has("mute")) return;
  if (table.Value("mute") != "1") {
    table.SetValue("mute", "1");
    s_.window.SetMuteImage(icon::kMuted);
  } else {
    table.SetValue("mute", "0");
    s_.window.SetMuteImage(icon::kSound);
  }
}

void TChatCore::LoadSoundsForState(char state) {
  const std::string section = SoundSectionOfState(state);
  // States '2' and '3' have no set of their own: the table in force stays.
  if (section.empty()) return;
  settings_.SoundTable = ReadTable(TIniFile(IniPath()), section);
}

}  // namespace plumo
