// SPDX-License-Identifier: GPL-3.0-or-later
// The settings of chat.ini. One table (SettingsTable) lists every key and every section the
// program keeps there, in the order the saves write them: its section, key, value type, default,
// the TSettings member it lives in and the save group that writes it. Loading, both saves, the
// immediate writes and the reading and writing of one setting as text all go through that table;
// every default lives there.
//
// Values that come from the network (topics, nicks, descriptions) are stored so that they can
// never add lines, keys or sections to the file: single-line values have their control characters
// turned into blanks, multi-line values store line breaks as "/n", list items are quoted when
// needed. What a save writes, a load reads back.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/inifile.h"
#include "net/codec.h"

namespace plumo {

// ---------------------------------------------------------------------------------------------
// Value encodings (pure functions, used by the loader and the savers and available to callers).

// Control characters (below 0x20 except the tab, and 0x7F) become blanks.
std::string SingleLineValue(std::string_view text);
// Line breaks (CR LF, lone CR, lone LF) become "/n"; other control characters become blanks.
std::string EncodeMultiLine(std::string_view text);
// "/n" becomes CR LF.
std::string DecodeMultiLine(std::string_view stored);
// Items joined by commas; an item that is empty or contains a blank, a control character, a comma
// or a double quote is written in double quotes with inner quotes doubled. Control characters in
// items become blanks first.
std::string EncodeList(const std::vector<std::string>& items);
// Splits a list value: quoted items as written by EncodeList; an unquoted blank also ends an item;
// blanks next to a comma are skipped; an empty value gives no items.
std::vector<std::string> DecodeList(std::string_view value);
// A colour number (red in the low byte) as six upper-case hexadecimal digits.
std::string ColourToIni(std::uint32_t colour);
// Hexadecimal digits in either case to a colour number; an empty text gives 0. On a character
// that is not a hexadecimal digit returns false and sets bad to that character.
bool IniToColour(std::string_view text, std::uint32_t& colour, std::string& bad);

// ---------------------------------------------------------------------------------------------
// Tables.

// An ordered list of name=value entries, names compared without regard to case; a lookup finds
// the first entry with that name. Mirrors one section of chat.ini.
class TNameValueList {
 public:
  using Entry = std::pair<std::string, std::string>;

  TNameValueList() = default;
  TNameValueList(std::initializer_list<Entry> entries) : entries_(entries) {}

  const std::vector<Entry>& Entries() const { return entries_; }
  std::vector<Entry>& Entries() { return entries_; }
  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  void Clear() { entries_.clear(); }

  // Index of the first entry of that name, or -1.
  int IndexOfName(std::string_view name) const;
  bool Has(std::string_view name) const { return IndexOfName(name) >= 0; }
  // The value of the first entry of that name, or empty.
  std::string Value(std::string_view name) const;
  // Sets the first entry of that name, or appends one.
  void SetValue(std::string_view name, std::string_view value);
  void Add(std::string_view name, std::string_view value);
  // Removes the first entry of that name (false when there was none).
  bool Remove(std::string_view name);

  bool operator==(const TNameValueList&) const = default;

 private:
  std::vector<Entry> entries_;
};

// Section names.
inline constexpr const char kMainSection[] = "Main";
inline constexpr const char kSmilesSection[] = "smiles";
inline constexpr const char kSoundsSection[] = "SOUNDS";
inline constexpr const char kBellsSection[] = "BELLS";
inline constexpr const char kStatesSection[] = "STATES";
inline constexpr const char kTopicsSection[] = "Topics";
inline constexpr const char kHistorySection[] = "HISTORY";

// The longest own nick, in code-page characters, that every datagram made of the nick and fields
// of fixed size can carry: a nick change carries the old nick and the new one, a pong the asker's
// nick, ours, the state and (when it is empty) the description, each field ending in a zero byte:
// 5 header bytes + 2 x (1019 + 1) + 2 + 1 = 2048 = kMaxDatagram. Longer nicks are refused, at
// start-up and at a nick change.
inline constexpr std::size_t kMaxNickLength = (kMaxDatagram - kHeaderSize - 3) / 2 - 1;
static_assert(kMaxNickLength == 1019);

// The sound section digit of a state: '1' -> '0', '4' -> '1', '5' -> '2'; 0 for any other state.
char SoundSectionDigit(char state);
// "SOUNDS0", "SOUNDS1" or "SOUNDS2" for the states '1', '4', '5'; empty for any other state.
std::string SoundSectionOfState(char state);

// ---------------------------------------------------------------------------------------------
// Everything chat.ini holds for the main window, as loaded and as saved.

// Something in the file that could not be used; the loader took the default instead. What it
// says is the language file's message Text filled with Args.
struct TSettingsProblem {
  std::string Key;                // e.g. "MyColor"
  std::string Text;               // e.g. "BadColour"; empty when there is nothing to report
  std::vector<std::string> Args;  // e.g. {"G"}
};

// What the loader needs from the platform. UserName and ComputerName are "Unknown" when unknown.
struct TSettingsEnv {
  std::string UserName = "Unknown";
  std::string ComputerName = "Unknown";
};

// Members hold neutral values until DefaultSettings or LoadSettings fills them from the table.
struct TSettings {
  // [Main]
  bool StartHidden = false;
  bool AutoStart = false;
  std::string Language;
  bool ShowBallonIfNotFocused = false;
  int FormH = 0;
  int FormW = 0;
  int FormL = 0;
  int FormT = 0;
  bool DesableMultiMessage = false;
  // A private message to a peer who is not there is kept until it comes back, without asking.
  bool KeepForAbsent = false;
  // Minutes without input (in any program) after which the own state turns away; 0: away when the
  // main window loses activation instead.
  int AwayIdleMinutes = 0;
  std::vector<std::string> MyNiks;  // default: { UserName }
  std::string MyName;               // default: UserName
  // The channel tab captions as stored (after a save "#" comes first); see ChannelTabs. When
  // saving, the captions of all channel tabs, the console tab "#" first.
  std::vector<std::string> Chanels;
  int MultiLineH = 0;
  int SingleLineH = 0;
  bool ChanelHotNik = false;
  bool MessagesHotNik = false;
  std::uint32_t MyColor = 0;              // red in the low byte
  std::vector<std::string> CustomColors;  // "ColorA=FF0000" ...
  std::string MyIP;
  std::string Broadcast;
  // The own information text with real line breaks. When the key is absent AboutPresent is false
  // and About is empty: the caller formats the language text "About" with ComputerName, UserName
  // (DefaultAbout). A save leaves the key alone while AboutPresent is false and About is empty, so
  // that an information text nobody took over is not stored as an empty one.
  std::string About;
  bool AboutPresent = false;
  std::string MyStateDescr;  // savedDescr
  // savedState. Read as the first character of the stored value; a value that is empty or not
  // '1', '4' or '5' gives '1'. Saved as '1' when the current state is '2' or the value is not one
  // of '1', '4', '5' (automatic states are never saved).
  char MyState = '1';
  // The conversation history (history.db beside chat.ini): whether lines are kept, for how many
  // days (0: forever), and how many a conversation shows when it opens.
  bool KeepHistory = true;
  int HistoryDays = 0;
  int HistoryLines = 200;

  // Tables.
  TNameValueList SmileTable;  // [smiles]
  TNameValueList SoundTable;  // [SOUNDS]: the sound set in force
  // [SOUNDS0], [SOUNDS1], [SOUNDS2]: the sound sets of the states '1', '4', '5' (SoundSetOfState).
  // The settings dialog edits them here and the full save writes them, so that an edit reaches
  // the file even when the dialog closes without switching the mode it shows.
  std::array<TNameValueList, 3> SoundSets;
  TNameValueList BellTable;               // [BELLS]
  TNameValueList StateTable;              // [STATES]
  std::vector<std::string> InputHistory;  // [HISTORY], newest first

  // What the loader could not use (an invalid "MyColor", ...); empty after a clean load.
  std::vector<TSettingsProblem> Problems;
};

// The sound set of a state ('1', '4', '5'), or nullptr for a state that has none.
TNameValueList* SoundSetOfState(TSettings& settings, char state);

struct TTopicRecord {
  std::string Channel;
  std::string Topic;
  std::uint32_t TopicTime = 0;  // seconds since 1970-01-01 00:00 local time
  std::string SetterAddress;
  std::string SetterNick;
};

// The live values SaveSettings takes in addition to TSettings: the window's current geometry,
// tabs and flags go into TSettings; these come from the engine at the moment of saving.
struct TSaveContext {
  char CurrentState = '1';           // the engine's state now; "2" saves "MyState" as "1"
  std::vector<TTopicRecord> Topics;  // channel tabs except the console, in tab order (full only)
};

// ---------------------------------------------------------------------------------------------
// The table.

enum class SettingType {
  // One key.
  Bool,       // "1"/"0"; any integer other than 0 reads as true
  Int,        // decimal; "0x"/"$" read as hexadecimal
  String,     // one line, stored unchanged (control characters become blanks)
  Char,       // a string of which only the first character is used ("MyState")
  List,       // comma-separated items, quoted when needed
  Colour,     // six hexadecimal digits, blue first ("0000FF" is red)
  MultiLine,  // line breaks stored as "/n"
  // A whole section.
  Table,    // name=value entries, written entry by entry over the section
  History,  // "z0", "z1", ...: multi-line lines, newest first; the section is rewritten whole
  Topics,   // four keys per channel (see WriteTopics), rewritten whole from TSaveContext::Topics
};

// The C++ type a setting of each type lives in.
template <SettingType T>
struct SettingValue;
template <>
struct SettingValue<SettingType::Bool> {
  using Type = bool;
};
template <>
struct SettingValue<SettingType::Int> {
  using Type = int;
};
template <>
struct SettingValue<SettingType::String> {
  using Type = std::string;
};
template <>
struct SettingValue<SettingType::Char> {
  using Type = char;
};
template <>
struct SettingValue<SettingType::List> {
  using Type = std::vector<std::string>;
};
template <>
struct SettingValue<SettingType::Colour> {
  using Type = std::uint32_t;
};
template <>
struct SettingValue<SettingType::MultiLine> {
  using Type = std::string;
};
template <>
struct SettingValue<SettingType::Table> {
  using Type = TNameValueList;
};
template <>
struct SettingValue<SettingType::History> {
  using Type = std::vector<std::string>;
};
template <>
struct SettingValue<SettingType::Topics> {
  using Type = std::vector<TTopicRecord>;
};
template <SettingType T>
using SettingValueT = typename SettingValue<T>::Type;

// Where a setting of type T lives: a pointer to a TSettings member of exactly the setting's type,
// or a callable that gives that member of a TSettings and of a const TSettings. A table row bound
// to a misspelt member or to a member of another type does not compile.
template <SettingType T, class Access>
concept SettingAccess = requires(const Access& access, TSettings& s, const TSettings& c) {
  { std::invoke(access, s) } -> std::same_as<SettingValueT<T>&>;
  { std::invoke(access, c) } -> std::same_as<const SettingValueT<T>&>;
};

// Which save writes a row.
enum class SaveGroup {
  Window,  // every SaveSettings, in table order; a failed [Main] key ends the group's [Main] keys
  Full,    // SaveSettings with full only, after the window group, in table order
  Action,  // never by a save: written at once by an action (WriteStartHidden, WriteStateDescr)
};

// Where the default of a row comes from.
enum class DefaultSource {
  Literal,   // Default is the stored text of the default value
  UserName,  // the log-on user name (as the one item of a list)
  Message,   // the language text whose key is Default; the loader leaves the value neutral
};

// How a row reads and writes its value; defined in settings.cpp.
class TSettingBinding;

struct SettingDef {
  const char* Section;
  const char* Key;  // empty for a row that stands for its whole section
  SettingType Type;
  SaveGroup Group;
  DefaultSource Source;
  const char* Default;
  // How the row meets TSettings; null for a key that lives only in the file (state4, state5).
  std::shared_ptr<const TSettingBinding> Binding;
};

// Every row, in the order the saves write them: the window group, then the full group.
const std::vector<SettingDef>& SettingsTable();
// The row of a key (section and key without regard to case; key empty for a section row), or
// nullptr.
const SettingDef* FindSetting(std::string_view section, std::string_view key);
// The row of a [Main] key, or nullptr.
const SettingDef* FindSetting(std::string_view key);

// One [Main] setting as the text chat.ini stores for it ("1", "0000FF", "a,\"b c\""), or nullopt
// for a key that is not in the table or does not live in TSettings.
std::optional<std::string> GetSettingText(const TSettings& settings, std::string_view key);
// Sets one [Main] setting from such a text, by the rules a load reads it with. False, and the
// setting unchanged, when the key is unknown or lives only in the file, or when the text could not
// be stored (a control character, longer than TIniFile::kMaxValue), does not parse as the key's
// type (an integer, hexadecimal digits) or is not a value the key takes ("MyState": 1, 4 or 5).
bool SetSettingText(TSettings& settings, std::string_view key, std::string_view text);

// ---------------------------------------------------------------------------------------------
// Loading.

// The settings with every default applied (what a missing chat.ini gives).
TSettings DefaultSettings(const TSettingsEnv& env);
// Reads every row of the table; a missing file or key gives its default. Problems are listed in
// the result, and the default is used for the value concerned. First removes the temporary files a
// save that was killed left beside the file.
TSettings LoadSettings(const TIniFile& ini, const TSettingsEnv& env);
// The default information text: the language text of "About" formatted with the computer name and
// the user name.
std::string DefaultAbout(const std::string& aboutMessage, const TSettingsEnv& env);
// The language file name alone (read before the rest, to open the language files early).
std::string ReadLanguageSetting(const TIniFile& ini);

// The channel tabs of a stored "Chanels" list: "#" (the console tab) first, then the channels. A
// list that already starts with "#" is used as it is; an empty list gives no tabs at all.
std::vector<std::string> ChannelTabs(const std::vector<std::string>& chanels);

// ---------------------------------------------------------------------------------------------
// [Topics]

// A channel with no stored topic dates its placeholder this many seconds before now, so that any
// topic a peer really set is newer.
inline constexpr std::int64_t kPlaceholderTopicAge = 999999999;

// The stored topic of a channel. Defaults: topic = wellcomText, time = nowLocal - 999999999,
// address and nick empty.
TTopicRecord ReadTopic(const TIniFile& ini, const std::string& channel, const std::string& wellcomText,
                       std::int64_t nowLocal);
// Removes [Topics] and writes the records in order (four keys each). A channel whose name cannot
// be a key (see TIniFile) is skipped. False when anything was not written.
bool WriteTopics(TIniFile& ini, const std::vector<TTopicRecord>& topics);

// ---------------------------------------------------------------------------------------------
// Saving.

// The window group (a failure ends its [Main] keys silently; [HISTORY] is rewritten from
// InputHistory all the same), then the full group when full, as one replacement of the file
// flushed to the storage device: a save that is killed leaves the old file whole. Returns false
// when anything failed (callers may ignore it).
bool SaveSettings(TIniFile& ini, const TSettings& settings, const TSaveContext& context, bool full);
// The full group: [smiles], the full [Main] keys, [SOUNDS], [SOUNDS0] to [SOUNDS2], [BELLS],
// [STATES] (removed when the StateTable is empty), [Topics]. Tables are written entry by entry
// over the existing sections: an entry no longer in a table stays in the file.
bool SaveFullSettings(TIniFile& ini, const TSettings& settings, const TSaveContext& context);
// Removes [HISTORY] and writes the history as "z0", "z1", ... (multi-line).
bool WriteHistory(TIniFile& ini, const std::vector<std::string>& history);

// ---------------------------------------------------------------------------------------------
// Immediate writes and reads outside start-up.

bool WriteStartHidden(TIniFile& ini, bool hidden);
// "MultiLineH" when multiLine, else "SingleLineH".
bool WriteEditorHeight(TIniFile& ini, bool multiLine, int height);
// "state4" / "state5": the last description the user confirmed for that state.
std::string ReadStateDescr(const TIniFile& ini, char state, const std::string& defaultText);
bool WriteStateDescr(TIniFile& ini, char state, const std::string& description);
// A sound set ([SOUNDS], [SOUNDS0] ...); an absent section gives an empty table.
TNameValueList ReadTable(const TIniFile& ini, std::string_view section);
// Writes every entry over the existing section (entries not in the table stay in the file).
// Entries whose names cannot be keys are skipped; values are stored as single lines.
bool WriteTable(TIniFile& ini, std::string_view section, const TNameValueList& table);

}  // namespace plumo
