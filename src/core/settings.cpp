#include "core/settings.h"

#include <algorithm>
#include <climits>
#include <functional>

#include "lang/lng.h"
#include "lang/text_helpers.h"
#include "lang/textcase.h"

namespace plumo {

// ---------------------------------------------------------------------------------------------
// The table.

const std::vector<SettingDef> kMainSettings = {
    {"StartHidden", SettingType::Bool, DefaultSource::Literal, "0"},
    {"AutoStart", SettingType::Bool, DefaultSource::Literal, "1"},
    {"Language", SettingType::String, DefaultSource::Literal, kDefaultLanguageFile},
    {"ShowBallonIfNotFocused", SettingType::Bool, DefaultSource::Literal, "1"},
    {"FormH", SettingType::Int, DefaultSource::Literal, "576"},
    {"FormW", SettingType::Int, DefaultSource::Literal, "655"},
    {"FormL", SettingType::Int, DefaultSource::Literal, "233"},
    {"FormT", SettingType::Int, DefaultSource::Literal, "107"},
    {"DesableMultiMessage", SettingType::Bool, DefaultSource::Literal, "0"},
    {"MyNiks", SettingType::List, DefaultSource::UserName, ""},
    {"MyName", SettingType::String, DefaultSource::UserName, ""},
    {"Chanels", SettingType::List, DefaultSource::Literal, "Main,Cs,Quake,StarCraft"},
    {"MultiLineH", SettingType::Int, DefaultSource::Literal, "50"},
    {"SingleLineH", SettingType::Int, DefaultSource::Literal, "25"},
    {"ChanelHotNik", SettingType::Bool, DefaultSource::Literal, "0"},
    {"MessagesHotNik", SettingType::Bool, DefaultSource::Literal, "0"},
    {"MyColor", SettingType::Colour, DefaultSource::Literal, "000000"},
    {"CustomColors", SettingType::List, DefaultSource::Literal, "ColorA=FF0000,ColorB=00FF00,ColorC=0000FF"},
    {"MyIP", SettingType::String, DefaultSource::Literal, ""},
    {"Broadcast", SettingType::String, DefaultSource::Literal, "255.255.255.255"},
    {"About", SettingType::MultiLine, DefaultSource::Message, "About"},
    {"MyStateDescr", SettingType::String, DefaultSource::Literal, " "},
    {"MyState", SettingType::Char, DefaultSource::Literal, "1"},
    {"state4", SettingType::String, DefaultSource::Message, "StateDND"},
    {"state5", SettingType::String, DefaultSource::Message, "StateOffline"},
};

const std::vector<const char*> kWindowGroupOrder = {
    "Broadcast", "MyIP",  "Chanels", "MultiLineH", "SingleLineH", "ChanelHotNik", "MessagesHotNik",
    "FormH",     "FormW", "FormL",   "FormT",      "MyState",     "MyStateDescr", "CustomColors",
};

const std::vector<const char*> kFullGroupOrder = {
    "Language", "MyName",    "About", "MyNiks", "ShowBallonIfNotFocused", "DesableMultiMessage",
    "MyColor",  "AutoStart",
};

const SettingDef* FindSetting(std::string_view key) {
  for (const auto& d : kMainSettings) {
    if (SameText1251(d.Key, key)) return &d;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Encodings.

namespace {

bool IsControl(unsigned char c) {
  return (c < 0x20 && c != '\t') || c == 0x7F;
}

}  // namespace

std::string SingleLineValue(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (IsControl(static_cast<unsigned char>(c))) c = ' ';
  }
  return out;
}

std::string EncodeMultiLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "/n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (IsControl(static_cast<unsigned char>(c))) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeMultiLine(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '/' && i + 1 < stored.size() && stored[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out += stored[i];
    }
  }
  return out;
}

std::string EncodeList(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    const std::string item = SingleLineValue(items[i]);
    const bool quote = item.empty() || std::any_of(item.begin(), item.end(), [](char c) {
                         return static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
                       });
    if (!quote) {
      out += item;
      continue;
    }
    out += '"';
    for (char c : item) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::vector<std::string> DecodeList(std::string_view value) {
  // A zero byte ends the text, as it ends a C string.
  value = value.substr(0, value.find('\0'));
  const auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
  std::vector<std::string> items;
  std::size_t p = 0;
  const std::size_t n = value.size();
  while (p < n && blank(value[p])) ++p;
  while (p < n) {
    std::string item;
    if (value[p] == '"') {
      ++p;
      while (p < n) {
        if (value[p] == '"') {
          if (p + 1 < n && value[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += value[p++];
      }
    } else {
      const std::size_t start = p;
      while (p < n && !blank(value[p]) && value[p] != ',') ++p;
      item.assign(value.substr(start, p - start));
    }
    items.push_back(std::move(item));
    while (p < n && blank(value[p])) ++p;
    if (p < n && value[p] == ',') {
      if (p + 1 == n) items.emplace_back();
      do {
        ++p;
      } while (p < n && blank(value[p]));
    }
  }
  return items;
}

std::string ColourToIni(std::uint32_t colour) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out(6, '0');
  for (int i = 5; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = digits[colour & 0xF];
    colour >>= 4;
  }
  return out;
}

bool IniToColour(std::string_view text, std::uint32_t& colour, std::string& error) {
  try {
    colour = HexToInt(text) & 0xFFFFFF;
    return true;
  } catch (const TextFormatError& e) {
    error = e.what();
    return false;
  }
}

// ---------------------------------------------------------------------------------------------
// TNameValueList.

int TNameValueList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (SameText1251(entries_[i].first, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TNameValueList::Value(std::string_view name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : entries_[static_cast<std::size_t>(i)].second;
}

void TNameValueList::SetValue(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  if (i < 0) {
    Add(name, value);
  } else {
    entries_[static_cast<std::size_t>(i)].second = std::string(value);
  }
}

void TNameValueList::Add(std::string_view name, std::string_view value) {
  entries_.emplace_back(std::string(name), std::string(value));
}

bool TNameValueList::Remove(std::string_view name) {
  const int i = IndexOfName(name);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  return true;
}

char SoundSectionDigit(char state) {
  switch (state) {
    case kStateActive:
      return '0';
    case kStateDoNotDisturb:
      return '1';
    case kStateOffline:
      return '2';
    default:
      return 0;
  }
}

std::string SoundSectionOfState(char state) {
  const char digit = SoundSectionDigit(state);
  return digit ? std::string(kSoundsSection) + digit : std::string();
}

// ---------------------------------------------------------------------------------------------
// Binding of [Main] keys to TSettings members.

namespace {

// How one key is read into and written from TSettings. Read gets the stored value, or nullopt
// when the key is absent, and applies the default from the table itself.
struct Binding {
  const char* Key;
  std::function<void(TSettings&, const std::optional<std::string>&, const SettingDef&, const TSettingsEnv&)>
      Read;
  std::function<std::string(const TSettings&)> Write;
};

std::string DefaultText(const SettingDef& d, const TSettingsEnv& env) {
  return d.Source == DefaultSource::UserName ? env.UserName : std::string(d.Default);
}

int IntOf(const std::optional<std::string>& raw, const SettingDef& d) {
  const int def = static_cast<int>(*TIniFile::ParseInteger(d.Default));
  if (!raw) return def;
  const auto v = TIniFile::ParseInteger(*raw);
  if (!v || *v < INT_MIN || *v > INT_MAX) return def;
  return static_cast<int>(*v);
}

Binding BoolField(const char* key, bool TSettings::*member) {
  return {key,
          [member](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv&) {
            s.*member = IntOf(raw, d) != 0;
          },
          [member](const TSettings& s) { return std::string(s.*member ? "1" : "0"); }};
}

Binding IntField(const char* key, int TSettings::*member) {
  return {key,
          [member](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv&) {
            s.*member = IntOf(raw, d);
          },
          [member](const TSettings& s) { return std::to_string(s.*member); }};
}

Binding StringField(const char* key, std::string TSettings::*member) {
  return {key,
          [member](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv& env) {
            s.*member = raw ? *raw : DefaultText(d, env);
          },
          [member](const TSettings& s) { return SingleLineValue(s.*member); }};
}

Binding ListField(const char* key, std::vector<std::string> TSettings::*member) {
  return {key,
          [member](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv& env) {
            if (raw) {
              s.*member = DecodeList(*raw);
            } else if (d.Source == DefaultSource::UserName) {
              s.*member = {env.UserName};
            } else {
              s.*member = DecodeList(d.Default);
            }
          },
          [member](const TSettings& s) { return EncodeList(s.*member); }};
}

const std::vector<Binding>& Bindings() {
  static const std::vector<Binding> bindings = {
      BoolField("StartHidden", &TSettings::StartHidden),
      BoolField("AutoStart", &TSettings::AutoStart),
      {"Language",
       [](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv& env) {
         s.Language = raw ? *raw : DefaultText(d, env);
       },
       [](const TSettings& s) {
         // Only the file-name part: a language file always lives in the program's directory.
         const std::size_t slash = s.Language.find_last_of("/\\");
         return SingleLineValue(slash == std::string::npos ? s.Language : s.Language.substr(slash + 1));
       }},
      BoolField("ShowBallonIfNotFocused", &TSettings::ShowBallonIfNotFocused),
      IntField("FormH", &TSettings::FormH),
      IntField("FormW", &TSettings::FormW),
      IntField("FormL", &TSettings::FormL),
      IntField("FormT", &TSettings::FormT),
      BoolField("DesableMultiMessage", &TSettings::DesableMultiMessage),
      ListField("MyNiks", &TSettings::MyNiks),
      StringField("MyName", &TSettings::MyName),
      ListField("Chanels", &TSettings::Chanels),
      IntField("MultiLineH", &TSettings::MultiLineH),
      IntField("SingleLineH", &TSettings::SingleLineH),
      BoolField("ChanelHotNik", &TSettings::ChanelHotNik),
      BoolField("MessagesHotNik", &TSettings::MessagesHotNik),
      {"MyColor",
       [](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv&) {
         std::string error;
         std::uint32_t colour = 0;
         if (!IniToColour(raw ? *raw : std::string(d.Default), colour, error)) {
           s.Problems.push_back({d.Key, error});
           colour = 0;  // black, the default
         }
         s.MyColor = colour;
       },
       [](const TSettings& s) { return ColourToIni(s.MyColor); }},
      ListField("CustomColors", &TSettings::CustomColors),
      StringField("MyIP", &TSettings::MyIP),
      StringField("Broadcast", &TSettings::Broadcast),
      {"About",
       [](TSettings& s, const auto& raw, const SettingDef&, const TSettingsEnv&) {
         s.AboutPresent = raw.has_value();
         s.About = raw ? DecodeMultiLine(*raw) : std::string();
       },
       [](const TSettings& s) { return EncodeMultiLine(s.About); }},
      StringField("MyStateDescr", &TSettings::MyStateDescr),
      {"MyState",
       [](TSettings& s, const auto& raw, const SettingDef& d, const TSettingsEnv&) {
         const std::string v = raw ? *raw : std::string(d.Default);
         s.MyState = v.empty() ? d.Default[0] : v[0];
       },
       [](const TSettings& s) { return std::string(1, s.MyState); }},
  };
  return bindings;
}

const Binding& BindingOf(std::string_view key) {
  for (const auto& b : Bindings()) {
    if (SameText1251(b.Key, key)) return b;
  }
  // Every key of the save orders has a binding; reaching here is a programming error.
  static const Binding none{"", nullptr, nullptr};
  return none;
}

void ReadMain(TSettings& s, const TIniFile* ini, const TSettingsEnv& env) {
  for (const auto& b : Bindings()) {
    const SettingDef* d = FindSetting(b.Key);
    const std::optional<std::string> raw = ini ? ini->Read(kMainSection, b.Key) : std::nullopt;
    b.Read(s, raw, *d, env);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Loading.

TSettings DefaultSettings(const TSettingsEnv& env) {
  TSettings s;
  ReadMain(s, nullptr, env);
  return s;
}

TNameValueList ReadTable(const TIniFile& ini, std::string_view section) {
  // A name that occurs twice reads the value of its first line for both entries, as a lookup by
  // name does; saving the table then leaves the section as it was.
  TNameValueList table;
  for (auto& [k, v] : ini.ReadSectionValues(section)) {
    const int first = table.IndexOfName(k);
    table.Add(k, first < 0 ? v : table.Entries()[static_cast<std::size_t>(first)].second);
  }
  return table;
}

TSettings LoadSettings(const TIniFile& ini, const TSettingsEnv& env) {
  TSettings s;
  ReadMain(s, &ini, env);
  s.SmileTable = ReadTable(ini, kSmilesSection);
  s.SoundTable = ReadTable(ini, kSoundsSection);
  s.BellTable = ReadTable(ini, kBellsSection);
  s.StateTable = ReadTable(ini, kStatesSection);
  const std::size_t n = ini.ReadSection(kHistorySection).size();
  s.InputHistory.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    s.InputHistory.push_back(DecodeMultiLine(ini.ReadString(kHistorySection, "z" + std::to_string(i), "")));
  }
  return s;
}

std::string DefaultAbout(const std::string& aboutMessage, const TSettingsEnv& env) {
  return FormatText(aboutMessage, {env.ComputerName, env.UserName});
}

std::string ReadLanguageSetting(const TIniFile& ini) {
  return ini.ReadString(kMainSection, "Language", FindSetting("Language")->Default);
}

std::vector<std::string> ChannelTabs(const std::vector<std::string>& chanels) {
  std::vector<std::string> tabs = chanels;
  if (!tabs.empty() && tabs.front() != "#") tabs.insert(tabs.begin(), "#");
  return tabs;
}

// ---------------------------------------------------------------------------------------------
// [Topics]

TTopicRecord ReadTopic(const TIniFile& ini, const std::string& channel, const std::string& wellcomText,
                       std::int64_t nowLocal) {
  TTopicRecord r;
  r.Channel = channel;
  r.Topic = ini.ReadString(kTopicsSection, channel, wellcomText);
  r.SetterNick = ini.ReadString(kTopicsSection, channel + "_uname", "");
  r.SetterAddress = ini.ReadString(kTopicsSection, channel + "_ip", "");
  const std::int64_t fallback = std::max<std::int64_t>(0, nowLocal - 999999999);
  const auto time = TIniFile::ParseInteger(ini.ReadString(kTopicsSection, channel + "_time", ""));
  r.TopicTime = static_cast<std::uint32_t>(time && *time >= 0 && *time <= 0xFFFFFFFFLL ? *time : fallback);
  return r;
}

bool WriteTopics(TIniFile& ini, const std::vector<TTopicRecord>& topics) {
  bool ok = ini.EraseSection(kTopicsSection);
  for (const auto& t : topics) {
    // A channel whose name cannot be a key would land under another key; it keeps no topic.
    if (!TIniFile::IsValidKeyName(t.Channel)) {
      ok = false;
      continue;
    }
    ok = ini.WriteString(kTopicsSection, t.Channel, SingleLineValue(t.Topic)) && ok;
    ok = ini.WriteInteger(kTopicsSection, t.Channel + "_time", t.TopicTime) && ok;
    ok = ini.WriteString(kTopicsSection, t.Channel + "_ip", SingleLineValue(t.SetterAddress)) && ok;
    ok = ini.WriteString(kTopicsSection, t.Channel + "_uname", SingleLineValue(t.SetterNick)) && ok;
  }
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Saving.

bool WriteTable(TIniFile& ini, std::string_view section, const TNameValueList& table) {
  bool ok = true;
  for (const auto& [name, value] : table.Entries()) {
    ok = ini.WriteString(section, name, SingleLineValue(value)) && ok;
  }
  return ok;
}

bool WriteHistory(TIniFile& ini, const std::vector<std::string>& history) {
  bool ok = ini.EraseSection(kHistorySection);
  for (std::size_t i = 0; i < history.size(); ++i) {
    ok = ini.WriteString(kHistorySection, "z" + std::to_string(i), EncodeMultiLine(history[i])) && ok;
  }
  return ok;
}

bool SaveFullSettings(TIniFile& ini, const TSettings& settings, const TSaveContext& context) {
  bool ok = WriteTable(ini, kSmilesSection, settings.SmileTable);
  for (const char* key : kFullGroupOrder) {
    ok = ini.WriteString(kMainSection, key, BindingOf(key).Write(settings)) && ok;
  }
  ok = WriteTable(ini, kSoundsSection, settings.SoundTable) && ok;
  ok = WriteTable(ini, kBellsSection, settings.BellTable) && ok;
  if (settings.StateTable.Empty()) {
    ok = ini.EraseSection(kStatesSection) && ok;
  } else {
    ok = WriteTable(ini, kStatesSection, settings.StateTable) && ok;
  }
  return WriteTopics(ini, context.Topics) && ok;
}

bool SaveSettings(TIniFile& ini, const TSettings& settings, const TSaveContext& context, bool full) {
  TSettings saved = settings;
  // The automatic states are never saved: away and screen saver come back as active.
  if (context.CurrentState == kStateAway ||
      (saved.MyState != kStateActive && saved.MyState != kStateDoNotDisturb &&
       saved.MyState != kStateOffline)) {
    saved.MyState = kStateActive;
  }
  bool ok = true;
  for (const char* key : kWindowGroupOrder) {
    if (!ini.WriteString(kMainSection, key, BindingOf(key).Write(saved))) {
      ok = false;  // the rest of the window group is skipped
      break;
    }
  }
  ok = WriteHistory(ini, saved.InputHistory) && ok;
  if (full) ok = SaveFullSettings(ini, saved, context) && ok;
  return ini.UpdateFile() && ok;
}

// ---------------------------------------------------------------------------------------------
// Immediate writes.

bool WriteStartHidden(TIniFile& ini, bool hidden) {
  return ini.WriteBool(kMainSection, "StartHidden", hidden);
}

bool WriteEditorHeight(TIniFile& ini, bool multiLine, int height) {
  return ini.WriteInteger(kMainSection, multiLine ? "MultiLineH" : "SingleLineH", height);
}

std::string ReadStateDescr(const TIniFile& ini, char state, const std::string& defaultText) {
  return ini.ReadString(kMainSection, std::string("state") + state, defaultText);
}

bool WriteStateDescr(TIniFile& ini, char state, const std::string& description) {
  if (state != kStateDoNotDisturb && state != kStateOffline) return false;
  return ini.WriteString(kMainSection, std::string("state") + state, SingleLineValue(description));
}

}  // namespace plumo
