// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "lang/lng.h"
#include "lang/text_helpers.h"
#include "lang/textcase.h"

namespace plumo {

// ---------------------------------------------------------------------------------------------
// Encodings.

std::string SingleLineValue(std::string_view text) {
  return ControlsToBlanks(text);
}

std::string EncodeMultiLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "/n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (IsControlChar(c)) {
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
  return HexDigits(colour, 6);
}

bool IniToColour(std::string_view text, std::uint32_t& colour, std::string& bad) {
  for (const char c : text) {
    if (!IsHexDigit(c)) {
      bad = std::string(1, c);
      return false;
    }
  }
  colour = HexToInt(text) & 0xFFFFFF;
  return true;
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
    case stActive:
      return '0';
    case stDoNotDisturb:
      return '1';
    case stOffline:
      return '2';
    default:
      return 0;
  }
}

std::string SoundSectionOfState(char state) {
  const char digit = SoundSectionDigit(state);
  return digit ? std::string(kSoundsSection) + digit : std::string();
}

TNameValueList* SoundSetOfState(TSettings& settings, char state) {
  const char digit = SoundSectionDigit(state);
  return digit ? &settings.SoundSets[static_cast<std::size_t>(digit - '0')] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Stored text of each value type.

namespace {

std::optional<int> IntValue(std::string_view text) {
  const auto v = TIniFile::ParseInteger(text);
  if (!v || *v < INT_MIN || *v > INT_MAX) return std::nullopt;
  return static_cast<int>(*v);
}

// Decode turns a stored text (as TIniFile::Read gives it) into a value, or nullopt when the text
// is not one; problem is set when the failure is worth reporting. Encode gives the text to store.
template <SettingType T>
struct Codec;

template <>
struct Codec<SettingType::Bool> {
  static std::optional<bool> Decode(std::string_view text, TSettingsProblem&) {
    const auto v = IntValue(text);
    return v ? std::optional<bool>(*v != 0) : std::nullopt;
  }
  static std::string Encode(bool v) { return v ? "1" : "0"; }
};

template <>
struct Codec<SettingType::Int> {
  static std::optional<int> Decode(std::string_view text, TSettingsProblem&) { return IntValue(text); }
  static std::string Encode(int v) { return std::to_string(v); }
};

template <>
struct Codec<SettingType::String> {
  static std::optional<std::string> Decode(std::string_view text, TSettingsProblem&) {
    return std::string(text);
  }
  static std::string Encode(const std::string& v) { return SingleLineValue(v); }
};

template <>
struct Codec<SettingType::Char> {
  static std::optional<char> Decode(std::string_view text, TSettingsProblem&) {
    return text.empty() ? std::nullopt : std::optional<char>(text.front());
  }
  static std::string Encode(char v) { return SingleLineValue(std::string(1, v)); }
};

template <>
struct Codec<SettingType::List> {
  static std::optional<std::vector<std::string>> Decode(std::string_view text, TSettingsProblem&) {
    return DecodeList(text);
  }
  static std::string Encode(const std::vector<std::string>& v) { return EncodeList(v); }
};

template <>
struct Codec<SettingType::Colour> {
  static std::optional<std::uint32_t> Decode(std::string_view text, TSettingsProblem& problem) {
    std::uint32_t colour = 0;
    std::string bad;
    if (IniToColour(text, colour, bad)) return colour;
    problem.Text = "BadColour";
    problem.Args = {bad};
    return std::nullopt;
  }
  static std::string Encode(std::uint32_t v) { return ColourToIni(v); }
};

template <>
struct Codec<SettingType::MultiLine> {
  static std::optional<std::string> Decode(std::string_view text, TSettingsProblem&) {
    return DecodeMultiLine(text);
  }
  static std::string Encode(const std::string& v) { return EncodeMultiLine(v); }
};

bool WriteHistoryTo(TIniFile& ini, std::string_view section, const std::vector<std::string>& history) {
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(history.size());
  for (std::size_t i = 0; i < history.size(); ++i) {
    entries.emplace_back("z" + std::to_string(i), EncodeMultiLine(history[i]));
  }
  return ini.ReplaceSection(section, entries);
}

bool WriteTopicsTo(TIniFile& ini, std::string_view section, const std::vector<TTopicRecord>& topics) {
  bool ok = true;
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(topics.size() * 4);
  for (const auto& t : topics) {
    // A channel whose name cannot be a key would land under another key; it keeps no topic.
    if (!TIniFile::IsValidKeyName(t.Channel)) {
      ok = false;
      continue;
    }
    entries.emplace_back(t.Channel, SingleLineValue(t.Topic));
    entries.emplace_back(t.Channel + "_time", std::to_string(t.TopicTime));
    entries.emplace_back(t.Channel + "_ip", SingleLineValue(t.SetterAddress));
    entries.emplace_back(t.Channel + "_uname", SingleLineValue(t.SetterNick));
  }
  return ini.ReplaceSection(section, entries) && ok;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bindings: how a row meets TSettings.

class TSettingBinding {
 public:
  virtual ~TSettingBinding() = default;
  // Fills the row's value from the file, or with its default when ini is null or the value absent.
  virtual void Load(TSettings& s, const TIniFile* ini, const SettingDef& d,
                    const TSettingsEnv& env) const = 0;
  virtual bool Save(TIniFile& ini, const TSettings& s, const TSaveContext& c, const SettingDef& d) const = 0;
  // The value as stored text; nullopt for a row that is not one key.
  virtual std::optional<std::string> Get(const TSettings&) const { return std::nullopt; }
  virtual bool Set(TSettings&, std::string_view) const { return false; }
};

namespace {

// What a key needs beyond its type, typed on its value.
template <SettingType T>
struct KeyHooks {
  using Value = SettingValueT<T>;
  // The value a save writes instead of the one held; nullptr writes the one held.
  Value (*Stored)(const Value&, const TSaveContext&) = nullptr;
  // Whether a value read or set is taken; nullptr takes every value of the type.
  bool (*Accepts)(const Value&) = nullptr;
  // Why a value read or set is refused (reported at load), or no Text; nullptr refuses none.
  TSettingsProblem (*Refuses)(const Value&) = nullptr;
  // Set to whether the value came from the file or a set; while false and the value is neutral,
  // the saves leave the key alone.
  bool TSettings::*Present = nullptr;
};

template <SettingType T, class Access>
class TKeyBinding final : public TSettingBinding {
 public:
  using Value = SettingValueT<T>;
  TKeyBinding(Access access, KeyHooks<T> hooks) : access_(access), hooks_(hooks) {}

  void Load(TSettings& s, const TIniFile* ini, const SettingDef& d, const TSettingsEnv& env) const override {
    TSettingsProblem problem;
    std::optional<Value> v;
    if (ini) {
      if (const auto raw = ini->Read(d.Section, d.Key)) v = Take(*raw, problem);
    }
    if (hooks_.Present) s.*hooks_.Present = v.has_value();
    if (!v) {
      if (!problem.Text.empty()) {
        problem.Key = d.Key;
        s.Problems.push_back(std::move(problem));
      }
      v = DefaultValue(d, env);
    }
    std::invoke(access_, s) = std::move(*v);
  }

  bool Save(TIniFile& ini, const TSettings& s, const TSaveContext& c, const SettingDef& d) const override {
    const Value& v = std::invoke(access_, s);
    if (hooks_.Present && !(s.*hooks_.Present) && v == Value{}) return true;
    return ini.WriteString(d.Section, d.Key, Codec<T>::Encode(hooks_.Stored ? hooks_.Stored(v, c) : v));
  }

  std::optional<std::string> Get(const TSettings& s) const override {
    return Codec<T>::Encode(std::invoke(access_, s));
  }

  bool Set(TSettings& s, std::string_view text) const override {
    if (text.size() > TIniFile::kMaxValue || !TIniFile::IsStorableValue(text)) return false;
    TSettingsProblem unused;
    std::optional<Value> v = Take(text, unused);
    if (!v) return false;
    std::invoke(access_, s) = std::move(*v);
    if (hooks_.Present) s.*hooks_.Present = true;
    return true;
  }

 private:
  std::optional<Value> Take(std::string_view text, TSettingsProblem& problem) const {
    std::optional<Value> v = Codec<T>::Decode(text, problem);
    if (v && hooks_.Accepts && !hooks_.Accepts(*v)) v.reset();
    if (v && hooks_.Refuses) {
      problem = hooks_.Refuses(*v);
      if (!problem.Text.empty()) v.reset();
    }
    return v;
  }

  static Value DefaultValue(const SettingDef& d, const TSettingsEnv& env) {
    TSettingsProblem unused;
    switch (d.Source) {
      case DefaultSource::Literal:
        return Codec<T>::Decode(d.Default, unused).value_or(Value{});
      case DefaultSource::UserName:
        if constexpr (T == SettingType::List) {
          return Codec<T>::Decode(EncodeList({env.UserName}), unused).value_or(Value{});
        } else {
          return Codec<T>::Decode(env.UserName, unused).value_or(Value{});
        }
      case DefaultSource::Message:
        break;  // the caller knows the language text
    }
    return Value{};
  }

  Access access_;
  KeyHooks<T> hooks_;
};

template <class Access>
class TTableBinding final : public TSettingBinding {
 public:
  TTableBinding(Access access, bool eraseWhenEmpty) : access_(access), eraseWhenEmpty_(eraseWhenEmpty) {}

  void Load(TSettings& s, const TIniFile* ini, const SettingDef& d, const TSettingsEnv&) const override {
    std::invoke(access_, s) = ini ? ReadTable(*ini, d.Section) : TNameValueList();
  }

  bool Save(TIniFile& ini, const TSettings& s, const TSaveContext&, const SettingDef& d) const override {
    const TNameValueList& table = std::invoke(access_, s);
    if (eraseWhenEmpty_ && table.Empty()) return ini.EraseSection(d.Section);
    return WriteTable(ini, d.Section, table);
  }

 private:
  Access access_;
  bool eraseWhenEmpty_;
};

template <class Access>
class THistoryBinding final : public TSettingBinding {
 public:
  explicit THistoryBinding(Access access) : access_(access) {}

  // The number N of entries in the section is counted, then "z0" to "z" N-1 are read; a missing
  // one gives an empty line.
  void Load(TSettings& s, const TIniFile* ini, const SettingDef& d, const TSettingsEnv&) const override {
    std::vector<std::string>& history = std::invoke(access_, s);
    history.clear();
    if (!ini) return;
    // One pass over the section: the first line of each name counts, as a lookup by name finds it.
    const auto values = ini->ReadSectionValues(d.Section);
    std::unordered_map<std::string, const std::string*> byName;
    byName.reserve(values.size());
    for (const auto& [k, v] : values) byName.emplace(Cp1251UpperCase(k), &v);
    history.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const auto it = byName.find("Z" + std::to_string(i));
      history.push_back(it == byName.end() ? std::string() : DecodeMultiLine(*it->second));
    }
  }

  bool Save(TIniFile& ini, const TSettings& s, const TSaveContext&, const SettingDef& d) const override {
    return WriteHistoryTo(ini, d.Section, std::invoke(access_, s));
  }

 private:
  Access access_;
};

// [Topics] is read channel by channel at start-up (ReadTopic needs the welcome text and the
// clock) and written from the engine's records in TSaveContext.
class TTopicsBinding final : public TSettingBinding {
 public:
  void Load(TSettings&, const TIniFile*, const SettingDef&, const TSettingsEnv&) const override {}
  bool Save(TIniFile& ini, const TSettings&, const TSaveContext& c, const SettingDef& d) const override {
    return WriteTopicsTo(ini, d.Section, c.Topics);
  }
};

// ---------------------------------------------------------------------------------------------
// Row makers: each checks at compile time that the row's member has the row's type.

struct Default {
  DefaultSource Source;
  const char* Text;
};
constexpr Default Literal(const char* text) {
  return {DefaultSource::Literal, text};
}
constexpr Default Message(const char* key) {
  return {DefaultSource::Message, key};
}
constexpr Default kUserName{DefaultSource::UserName, ""};

template <SettingType T, class Access>
requires SettingAccess<T, Access> SettingDef Key(const char* key, Access access, SaveGroup group, Default def,
                                                 KeyHooks<T> hooks = {}) {
  return {kMainSection,
          key,
          T,
          group,
          def.Source,
          def.Text,
          std::make_shared<TKeyBinding<T, Access>>(access, hooks)};
}

// A key that lives only in the file: read and written at the moment it is needed.
template <SettingType T>
SettingDef FileKey(const char* key, SaveGroup group, Default def) {
  return {kMainSection, key, T, group, def.Source, def.Text, nullptr};
}

template <class Access>
requires SettingAccess<SettingType::Table, Access> SettingDef TableSection(const char* section, Access access,
                                                                           SaveGroup group,
                                                                           bool eraseWhenEmpty = false) {
  return {section,
          "",
          SettingType::Table,
          group,
          DefaultSource::Literal,
          "",
          std::make_shared<TTableBinding<Access>>(access, eraseWhenEmpty)};
}

template <class Access>
requires SettingAccess<SettingType::History, Access> SettingDef HistorySection(const char* section,
                                                                               Access access,
                                                                               SaveGroup group) {
  return {section,
          "",
          SettingType::History,
          group,
          DefaultSource::Literal,
          "",
          std::make_shared<THistoryBinding<Access>>(access)};
}

SettingDef TopicsSection(const char* section, SaveGroup group) {
  return {section,
          "",
          SettingType::Topics,
          group,
          DefaultSource::Literal,
          "",
          std::make_shared<TTopicsBinding>()};
}

// One of the per-state sound sets.
struct SoundSetAt {
  std::size_t Index;
  template <class Settings>
  auto& operator()(Settings& s) const {
    return s.SoundSets[Index];
  }
};

// Hooks.

// Only the file-name part: a language file always lives in the program's directory.
std::string LanguageFileName(const std::string& language, const TSaveContext&) {
  const std::size_t slash = language.find_last_of("/\\");
  return slash == std::string::npos ? language : language.substr(slash + 1);
}

// A nick longer than a datagram can carry.
TSettingsProblem RefusedNick(const std::string& nick) {
  if (nick.size() <= kMaxNickLength) return {};
  return {.Key = {},
          .Text = "NickTooLong",
          .Args = {std::to_string(nick.size()), std::to_string(kMaxNickLength)}};
}

bool IsChosenState(const char& state) {
  return state == stActive || state == stDoNotDisturb || state == stOffline;
}

// The automatic states are never saved: away and screen saver come back as active.
char SavedState(const char& state, const TSaveContext& context) {
  return context.CurrentState == stAway || !IsChosenState(state) ? stActive : state;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The table.

const std::vector<SettingDef>& SettingsTable() {
  using enum SettingType;
  using enum SaveGroup;
  static const std::vector<SettingDef> kTable = {
      // Written at once on every change of the main window's activation.
      Key<Bool>("StartHidden", &TSettings::StartHidden, Action, Literal("0")),

      // The window group.
      Key<String>("Broadcast", &TSettings::Broadcast, Window, Literal("255.255.255.255")),
      Key<String>("MyIP", &TSettings::MyIP, Window, Literal("")),
      Key<List>("Chanels", &TSettings::Chanels, Window, Literal("Main,Cs,Quake,StarCraft")),
      Key<Int>("MultiLineH", &TSettings::MultiLineH, Window, Literal("50")),  // also WriteEditorHeight
      Key<Int>("SingleLineH", &TSettings::SingleLineH, Window, Literal("25")),
      Key<Bool>("ChanelHotNik", &TSettings::ChanelHotNik, Window, Literal("0")),
      Key<Bool>("MessagesHotNik", &TSettings::MessagesHotNik, Window, Literal("0")),
      // No stored size: the window chooses one that suits the screen (WindowPlace).
      Key<Int>("FormH", &TSettings::FormH, Window, Literal("0")),
      Key<Int>("FormW", &TSettings::FormW, Window, Literal("0")),
      Key<Int>("FormL", &TSettings::FormL, Window, Literal("233")),
      Key<Int>("FormT", &TSettings::FormT, Window, Literal("107")),
      Key<Char>("MyState", &TSettings::MyState, Window, Literal("1"),
                {.Stored = &SavedState, .Accepts = &IsChosenState}),
      Key<String>("MyStateDescr", &TSettings::MyStateDescr, Window, Literal(" ")),
      Key<List>("CustomColors", &TSettings::CustomColors, Window,
                Literal("ColorA=FF0000,ColorB=00FF00,ColorC=0000FF")),
      HistorySection(kHistorySection, &TSettings::InputHistory, Window),

      // The full group.
      TableSection(kSmilesSection, &TSettings::SmileTable, Full),
      Key<String>("Language", &TSettings::Language, Full, Literal(kDefaultLanguageFile),
                  {.Stored = &LanguageFileName}),
      Key<String>("MyName", &TSettings::MyName, Full, kUserName, {.Refuses = &RefusedNick}),
      Key<MultiLine>("About", &TSettings::About, Full, Message("About"),
                     {.Present = &TSettings::AboutPresent}),
      Key<List>("MyNiks", &TSettings::MyNiks, Full, kUserName),
      Key<Bool>("ShowBallonIfNotFocused", &TSettings::ShowBallonIfNotFocused, Full, Literal("1")),
      Key<Bool>("DesableMultiMessage", &TSettings::DesableMultiMessage, Full, Literal("0")),
      Key<Bool>("KeepForAbsent", &TSettings::KeepForAbsent, Full, Literal("0")),
      Key<Int>("AwayIdleMinutes", &TSettings::AwayIdleMinutes, Full, Literal("0")),
      Key<Colour>("MyColor", &TSettings::MyColor, Full, Literal("000000")),
      // Off until the user ticks it: a new installation does not start itself at log-in.
      Key<Bool>("AutoStart", &TSettings::AutoStart, Full, Literal("0")),
      Key<Bool>("KeepHistory", &TSettings::KeepHistory, Full, Literal("1")),
      Key<Int>("HistoryDays", &TSettings::HistoryDays, Full, Literal("0")),
      Key<Int>("HistoryLines", &TSettings::HistoryLines, Full, Literal("200")),
      TableSection(kSoundsSection, &TSettings::SoundTable, Full),
      TableSection("SOUNDS0", SoundSetAt{0}, Full),
      TableSection("SOUNDS1", SoundSetAt{1}, Full),
      TableSection("SOUNDS2", SoundSetAt{2}, Full),
      TableSection(kBellsSection, &TSettings::BellTable, Full),
      TableSection(kStatesSection, &TSettings::StateTable, Full, /*eraseWhenEmpty=*/true),
      TopicsSection(kTopicsSection, Full),

      // Written at once when the user confirms the description of a state.
      FileKey<String>("state4", Action, Message("StateDND")),
      FileKey<String>("state5", Action, Message("StateOffline")),
  };
  return kTable;
}

const SettingDef* FindSetting(std::string_view section, std::string_view key) {
  for (const auto& d : SettingsTable()) {
    if (SameText1251(d.Section, section) && SameText1251(d.Key, key)) return &d;
  }
  return nullptr;
}

const SettingDef* FindSetting(std::string_view key) {
  return FindSetting(kMainSection, key);
}

std::optional<std::string> GetSettingText(const TSettings& settings, std::string_view key) {
  const SettingDef* d = FindSetting(key);
  return d && d->Binding ? d->Binding->Get(settings) : std::nullopt;
}

bool SetSettingText(TSettings& settings, std::string_view key, std::string_view text) {
  const SettingDef* d = FindSetting(key);
  return d && d->Binding && d->Binding->Set(settings, text);
}

namespace {

void LoadRows(TSettings& s, const TIniFile* ini, const TSettingsEnv& env) {
  for (const auto& d : SettingsTable()) {
    if (d.Binding) d.Binding->Load(s, ini, d, env);
  }
}

bool SaveRows(TIniFile& ini, const TSettings& s, const TSaveContext& context, SaveGroup group) {
  bool ok = true;
  bool keysEnded = false;
  for (const auto& d : SettingsTable()) {
    if (d.Group != group || !d.Binding) continue;
    const bool key = *d.Key != '\0';
    if (key && keysEnded) continue;
    if (!d.Binding->Save(ini, s, context, d)) {
      ok = false;
      // A failure ends the [Main] keys of the window group; its sections are written all the same.
      if (key && group == SaveGroup::Window) keysEnded = true;
    }
  }
  return ok;
}

// The row of an immediate write, checked against the type the caller writes.
template <SettingType T>
bool WriteKeyNow(TIniFile& ini, std::string_view key, const SettingValueT<T>& value) {
  const SettingDef* d = FindSetting(key);
  if (!d || d->Type != T) return false;
  return ini.WriteString(d->Section, d->Key, Codec<T>::Encode(value));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Loading.

TSettings DefaultSettings(const TSettingsEnv& env) {
  TSettings s;
  LoadRows(s, nullptr, env);
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
  ini.RemoveStaleTemporaries();
  TSettings s;
  LoadRows(s, &ini, env);
  return s;
}

std::string DefaultAbout(const std::string& aboutMessage, const TSettingsEnv& env) {
  return FormatText(aboutMessage, {env.ComputerName, env.UserName});
}

std::string ReadLanguageSetting(const TIniFile& ini) {
  const SettingDef& d = *FindSetting("Language");
  return ini.ReadString(d.Section, d.Key, d.Default);
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
  const std::int64_t fallback = std::max<std::int64_t>(0, nowLocal - kPlaceholderTopicAge);
  const auto time = TIniFile::ParseInteger(ini.ReadString(kTopicsSection, channel + "_time", ""));
  r.TopicTime = static_cast<std::uint32_t>(time && *time >= 0 && *time <= 0xFFFFFFFFLL ? *time : fallback);
  return r;
}

bool WriteTopics(TIniFile& ini, const std::vector<TTopicRecord>& topics) {
  return WriteTopicsTo(ini, kTopicsSection, topics);
}

// ---------------------------------------------------------------------------------------------
// Saving.

bool WriteTable(TIniFile& ini, std::string_view section, const TNameValueList& table) {
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(table.Count());
  for (const auto& [name, value] : table.Entries()) entries.emplace_back(name, SingleLineValue(value));
  return ini.WriteSectionValues(section, entries);
}

bool WriteHistory(TIniFile& ini, const std::vector<std::string>& history) {
  return WriteHistoryTo(ini, kHistorySection, history);
}

bool SaveFullSettings(TIniFile& ini, const TSettings& settings, const TSaveContext& context) {
  ini.BeginUpdate();
  const bool ok = SaveRows(ini, settings, context, SaveGroup::Full);
  return ini.EndUpdate() && ok;
}

bool SaveSettings(TIniFile& ini, const TSettings& settings, const TSaveContext& context, bool full) {
  // One replacement of the file for the whole save: a kill at any moment leaves the old file or
  // the new one, and the save costs time in proportion to the file.
  ini.BeginUpdate();
  bool ok = SaveRows(ini, settings, context, SaveGroup::Window);
  if (full) ok = SaveFullSettings(ini, settings, context) && ok;
  return ini.EndUpdate() && ok;
}

// ---------------------------------------------------------------------------------------------
// Immediate writes.

bool WriteStartHidden(TIniFile& ini, bool hidden) {
  return WriteKeyNow<SettingType::Bool>(ini, "StartHidden", hidden);
}

bool WriteEditorHeight(TIniFile& ini, bool multiLine, int height) {
  return WriteKeyNow<SettingType::Int>(ini, multiLine ? "MultiLineH" : "SingleLineH", height);
}

std::string ReadStateDescr(const TIniFile& ini, char state, const std::string& defaultText) {
  const SettingDef* d = FindSetting(std::string("state") + state);
  return d ? ini.ReadString(d->Section, d->Key, defaultText) : defaultText;
}

bool WriteStateDescr(TIniFile& ini, char state, const std::string& description) {
  if (state != stDoNotDisturb && state != stOffline) return false;
  return WriteKeyNow<SettingType::String>(ini, std::string("state") + state, description);
}

}  // namespace plumo
