// SPDX-License-Identifier: GPL-3.0-or-later
// Language files: every text the program shows that users do not type comes from a ".lng" file in
// the program's directory, an INI file (code page 1251) with the sections
//   [Language]          Language = the language's display name (its entry in the language menu)
//   [Form1], [Form2]    component name = caption of that component, one section per window
//   [Project_Messages]  message key = message text
// TLngINISupp puts captions on the windows' controls and lists the available languages;
// TMsgINISupp returns message texts by key. Both see the file as it is on disk: TMsgINISupp keeps
// the parsed file and reads it again only when it changed (see TIniFile).
//
// The windows take part through TLanguageForm (their captioned components) and the program through
// TLanguageHost (its windows, message boxes and the language menu), so this layer knows no widget.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lang/fs_path.h"

namespace plumo {

class TIniFile;

inline constexpr const char kLanguageSection[] = "Language";
inline constexpr const char kMessagesSection[] = "Project_Messages";
inline constexpr const char kDefaultLanguageFile[] = "russian.lng";
// What a missing key or caption reads as.
inline constexpr const char kMissingText[] = "ERROR";
// Shown when a component has no file name, and when the language file does not exist yet.
inline constexpr const char kNoFileNameText[] = "ERROR!!!\r\nFile not preset!";
inline constexpr const char kFileNotFoundText[] =
    "WARNING!!!\r\n Language File Not Found! Its now creating a new!";

// One window as the language files see it. The window implements it over its controls.
class TLanguageForm {
 public:
  // One covered component: its key in the window's section and its current text.
  struct Caption {
    std::string Key;   // component name; "StatusBar1.Panels[0]" for a status-bar panel
    std::string Text;  // code page 1251
  };
  virtual ~TLanguageForm() = default;
  // The section of this window ("Form1", "Form2").
  virtual std::string FormName() const = 0;
  // Every covered component in component order (buttons, speed buttons, labels, check boxes,
  // group boxes, radio buttons, radio groups, panels, tab sheets, static texts: caption; open-file
  // dialogs: title; menu items of the window's own menus: caption; status bars: one per panel).
  virtual std::vector<Caption> Captions() const = 0;
  // Sets the text of the covered component with this key (exact name); unknown keys are ignored.
  virtual void SetCaption(const std::string& key, const std::string& text) = 0;
};

// One language file found in the program's directory.
struct TLanguageEntry {
  std::string BaseName;  // file name without ".lng": "english"
  std::string FileName;  // file name alone: "english.lng"
  std::string Caption;   // [Language] "Language" of that file, "ERROR" when absent
};

// The list of languages for the language menu: every "*.lng" file of the directory in name order.
// Listing stops at the first file whose base name is not a component name (letters, digits and
// "_", not starting with a digit); the entries before it stay and Error says which file it was.
struct TLanguageList {
  std::vector<TLanguageEntry> Entries;
  std::string Error;  // empty when every file was listed
};
TLanguageList ListLanguages(const FsPath& appDir);
// Whether a text is a valid component name.
bool IsComponentName(std::string_view name);

// What the caption component needs from the program.
class TLanguageHost {
 public:
  virtual ~TLanguageHost() = default;
  // The windows that exist now, in creation order (the settings dialog only once it is created).
  virtual std::vector<TLanguageForm*> Forms() = 0;
  // A message box (code page 1251 text).
  virtual void ShowMessage(const std::string& text) = 0;
  // Whether the program has a language menu to fill (the popup menu of the main window).
  virtual bool HasLanguageMenu() const = 0;
  // Fills the language menu: an item "Language" whose sub-items are the entries, each to be named
  // "P" + BaseName and captioned with Caption; choosing one calls TLngINISupp::ChooseLanguage.
  virtual void BuildLanguageMenu(const std::vector<TLanguageEntry>& entries) = 0;
};

// The caption component (LNS of the main window).
class TLngINISupp {
 public:
  TLngINISupp(FsPath appDir, TLanguageHost& host);

  // Keeps only the file-name part of name: a language file always lives in the program's directory.
  // An empty name clears the file name.
  void SetFileName(std::string_view name);
  // The full path, or empty when no file name is set.
  const FsPath& FileName() const { return fileName_; }
  // The file-name part alone ("russian.lng"), as saved in chat.ini.
  std::string ShortFileName() const;
  const FsPath& AppDir() const { return appDir_; }

  // No file name: shows kNoFileNameText and returns false (the caller abandons its operation).
  // A file that cannot be read: shows kFileNotFoundText and returns true.
  bool CheckLanguageFile();
  // For every form and every covered component whose key is absent from the form's section,
  // writes the component's current text. Existing values are never changed.
  void WriteMissingCaptions();
  // For every section of the file in file order, and every key of it, sets the caption of the
  // matching component (form and component names compared exactly, letter case counts).
  void ApplyCaptions();
  // CheckLanguageFile, WriteMissingCaptions, ApplyCaptions, then once per run (when the host has a
  // language menu) BuildLanguageMenu; a listing error is shown as a message after the menu is built.
  void ApplyLanguage();
  // A choice in the language menu: the file of that entry becomes the language, then ApplyLanguage.
  void ChooseLanguage(const TLanguageEntry& entry);

 private:
  FsPath appDir_;
  FsPath fileName_;
  TLanguageHost& host_;
  bool menuBuilt_ = false;
};

// The message component (MIS of the main window). Callers bracket each group of lookups with
// BeginMessages and EndMessages.
class TMsgINISupp {
 public:
  // follow: the caption component whose file the messages follow (may be null); show: message box.
  TMsgINISupp(FsPath appDir, const TLngINISupp* follow, std::function<void(const std::string&)> show);
  ~TMsgINISupp();
  TMsgINISupp(const TMsgINISupp&) = delete;
  TMsgINISupp& operator=(const TMsgINISupp&) = delete;

  void SetFileName(std::string_view name);
  const FsPath& FileName() const { return fileName_; }
  // The folder of the language files the program ships. A key absent from the chosen file is read
  // from the shipped file of the same name, so that a copy kept from an older release, which lacks
  // the newer keys, still shows their texts.
  void SetShippedDir(FsPath dir) { shippedDir_ = std::move(dir); }

  // Takes the caption component's file when no file name is set; checks the file (as
  // TLngINISupp::CheckLanguageFile); opens the lookup period. False when there is no file name.
  bool BeginMessages();
  // The text of a message key, "ERROR" when absent or when there is no file name; multi-line
  // values converted (ConvertMessage). Opens a lookup period when none is open.
  std::string GetMessage(std::string_view key);
  // Clears the file name and closes the lookup period, so that the next BeginMessages follows the
  // caption component's current file.
  void EndMessages();
  bool InLookup() const { return open_; }

 private:
  // The file of fileName_, kept across lookup periods so that it is parsed once per change.
  TIniFile& File();
  // The shipped file of the chosen file's name; null when there is none to read or it is the chosen
  // file itself.
  const TIniFile* Shipped();

  FsPath appDir_;
  FsPath fileName_;
  FsPath shippedDir_;
  std::unique_ptr<TIniFile> shipped_;
  const TLngINISupp* follow_;
  std::function<void(const std::string&)> show_;
  bool open_ = false;
  std::unique_ptr<TIniFile> file_;
};

// One group of lookups: BeginMessages when made, EndMessages when it goes out of scope.
class TMessageScope {
 public:
  explicit TMessageScope(TMsgINISupp& mis) : mis_(mis) { mis_.BeginMessages(); }
  ~TMessageScope() { mis_.EndMessages(); }
  TMessageScope(const TMessageScope&) = delete;
  TMessageScope& operator=(const TMessageScope&) = delete;

 private:
  TMsgINISupp& mis_;
};

// The multi-line form of a message value: when it contains a double quote, every double quote and
// the seven characters after it form a line separator; each line of the result, the last included,
// ends with CR LF. Text after the last separator is kept as a last line. A value without a double
// quote is returned as it stands.
std::string ConvertMessage(std::string_view value);

// Fills a message text in the manner of the classic format function: "%s", "%d", "%u", "%x" take
// the next argument as it stands ("%0:s" takes argument 0 and continues after it); "%%" is a
// percent sign. A directive without an argument, or one it does not know, stays as it is, so a
// faulty language file shows its text instead of failing.
std::string FormatText(std::string_view format, const std::vector<std::string>& args);

// Every message key the program uses, and the design captions of both windows (code page 1251),
// as the shipped language files must cover them.
extern const std::vector<const char*> kMessageKeys;
struct TDesignCaption {
  const char* Form;
  const char* Key;
  const char* Text;  // UTF-8 (source text); convert with Utf8ToCp1251
};
extern const std::vector<TDesignCaption> kDesignCaptions;

}  // namespace plumo
