// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/lng.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "lang/inifile.h"
#include "lang/text_helpers.h"
#include "lang/textcase.h"

namespace plumo {
namespace {

constexpr char kCrLf[] = "\r\n";

std::string FileNamePart(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

// The file of a code-page name (chat.ini's, the language menu's) in the folder dir.
FsPath InDir(const FsPath& dir, std::string_view name) {
  const std::string part = FileNamePart(name);
  if (part.empty()) return {};
  return dir / FsPath::FromCp1251(part);
}

bool EndsWithLng(std::string_view name) {
  return name.size() > 4 && SameText1251(name.substr(name.size() - 4), ".lng");
}

}  // namespace

bool IsComponentName(std::string_view name) {
  if (name.empty() || (name.front() >= '0' && name.front() <= '9')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

TLanguageList ListLanguages(const FsPath& appDir) {
  TLanguageList list;
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(appDir.Empty() ? "." : appDir.Native(), ec), end;
       !ec && it != end; it.increment(ec)) {
    // The names are the menu's and chat.ini's text.
    const std::string name = FsPath(it->path()).FileName().ToCp1251();
    if (EndsWithLng(name) && it->is_regular_file(ec)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    const std::string base = name.substr(0, name.size() - 4);
    if (!IsComponentName(base)) {
      list.Error = "\"" + base + "\" is not a valid language name (file " + name + ")";
      break;
    }
    const TIniFile ini(InDir(appDir, name));
    list.Entries.push_back({base, name, ini.ReadString(kLanguageSection, kLanguageSection, kMissingText)});
  }
  return list;
}

// ---------------------------------------------------------------------------------------------
// TLngINISupp

TLngINISupp::TLngINISupp(FsPath appDir, TLanguageHost& host) : appDir_(std::move(appDir)), host_(host) {}

void TLngINISupp::SetFileName(std::string_view name) {
  fileName_ = InDir(appDir_, name);
}

std::string TLngINISupp::ShortFileName() const {
  return fileName_.FileName().ToCp1251();
}

bool TLngINISupp::CheckLanguageFile() {
  if (fileName_.Empty()) {
    host_.ShowMessage(kNoFileNameText);
    return false;
  }
  if (!TIniFile(fileName_).Exists()) host_.ShowMessage(kFileNotFoundText);
  return true;
}

void TLngINISupp::WriteMissingCaptions() {
  if (fileName_.Empty()) return;
  TIniFile ini(fileName_);
  // One replacement of the file for all of them.
  ini.BeginUpdate();
  for (TLanguageForm* form : host_.Forms()) {
    const std::string section = form->FormName();
    std::vector<std::pair<std::string, std::string>> missing;
    std::set<std::string> seen;
    for (const auto& caption : form->Captions()) {
      if (!ini.ValueExists(section, caption.Key) && seen.insert(Cp1251UpperCase(caption.Key)).second)
        missing.emplace_back(caption.Key, ControlsToBlanks(caption.Text));
    }
    if (!missing.empty()) ini.WriteSectionValues(section, missing);
  }
  ini.EndUpdate();
}

void TLngINISupp::ApplyCaptions() {
  if (fileName_.Empty()) return;
  const TIniFile ini(fileName_);
  const std::vector<TLanguageForm*> forms = host_.Forms();
  for (const std::string& section : ini.ReadSections()) {
    for (TLanguageForm* form : forms) {
      if (form->FormName() != section) continue;
      std::set<std::string> covered;
      for (auto& caption : form->Captions()) covered.insert(std::move(caption.Key));
      for (const auto& [key, value] : ini.ReadSectionValues(section)) {
        if (covered.count(key)) form->SetCaption(key, value);
      }
    }
  }
}

void TLngINISupp::ApplyLanguage() {
  if (!CheckLanguageFile()) return;
  WriteMissingCaptions();
  ApplyCaptions();
  if (!menuBuilt_ && host_.HasLanguageMenu()) {
    menuBuilt_ = true;
    const TLanguageList list = ListLanguages(appDir_);
    host_.BuildLanguageMenu(list.Entries);
    if (!list.Error.empty()) host_.ShowMessage(list.Error);
  }
}

void TLngINISupp::ChooseLanguage(const TLanguageEntry& entry) {
  SetFileName(entry.FileName.empty() ? entry.BaseName + ".lng" : entry.FileName);
  ApplyLanguage();
}

// ---------------------------------------------------------------------------------------------
// TMsgINISupp

TMsgINISupp::TMsgINISupp(FsPath appDir, const TLngINISupp* follow,
                         std::function<void(const std::string&)> show)
    : appDir_(std::move(appDir)), follow_(follow), show_(std::move(show)) {}

TMsgINISupp::~TMsgINISupp() = default;

TIniFile& TMsgINISupp::File() {
  if (!file_ || file_->FileName() != fileName_.Utf8()) file_ = std::make_unique<TIniFile>(fileName_);
  return *file_;
}

const TIniFile* TMsgINISupp::Shipped() {
  if (shippedDir_.Empty()) return nullptr;
  const FsPath path = shippedDir_ / fileName_.FileName();
  if (path == fileName_) return nullptr;
  if (!shipped_ || shipped_->FileName() != path.Utf8()) shipped_ = std::make_unique<TIniFile>(path);
  return shipped_.get();
}

void TMsgINISupp::SetFileName(std::string_view name) {
  fileName_ = InDir(appDir_, name);
}

bool TMsgINISupp::BeginMessages() {
  if (fileName_.Empty() && follow_) fileName_ = follow_->FileName();
  if (fileName_.Empty()) {
    if (show_) show_(kNoFileNameText);
    return false;
  }
  if (!File().Exists() && show_) show_(kFileNotFoundText);
  open_ = true;
  return true;
}

std::string TMsgINISupp::GetMessage(std::string_view key) {
  if (!open_ && !BeginMessages()) return kMissingText;
  auto value = File().Read(kMessagesSection, key);
  if (!value) {
    if (const TIniFile* shipped = Shipped()) value = shipped->Read(kMessagesSection, key);
  }
  if (!value) return kMissingText;
  return ConvertMessage(*value);
}

void TMsgINISupp::EndMessages() {
  fileName_ = {};
  open_ = false;
}

// ---------------------------------------------------------------------------------------------
// Text helpers

std::string ConvertMessage(std::string_view value) {
  if (value.find('"') == std::string_view::npos) return std::string(value);
  std::string result;
  while (!value.empty()) {
    const std::size_t p = value.find('"');
    if (p == std::string_view::npos) {
      // A last line without a separator is kept.
      result.append(value);
      result += kCrLf;
      break;
    }
    result.append(value.substr(0, p));
    result += kCrLf;
    value.remove_prefix(std::min(value.size(), p + 8));
  }
  return result;
}

std::string FormatText(std::string_view format, const std::vector<std::string>& args) {
  std::string out;
  std::size_t next = 0;
  std::size_t i = 0;
  const auto digit = [&](std::size_t at) {
    return at < format.size() && format[at] >= '0' && format[at] <= '9';
  };
  while (i < format.size()) {
    const char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // %[index:][-][width][.precision]type
    std::size_t j = i + 1;
    std::size_t index = next;
    std::size_t k = j;
    std::size_t number = 0;
    while (digit(k) && number < 1000000) number = number * 10 + static_cast<std::size_t>(format[k++] - '0');
    if (k > j && k < format.size() && format[k] == ':') {
      index = number;
      j = k + 1;
    }
    bool left = false;
    if (j < format.size() && format[j] == '-') {
      left = true;
      ++j;
    }
    std::size_t width = 0;
    while (digit(j) && width < 1000) width = width * 10 + static_cast<std::size_t>(format[j++] - '0');
    while (digit(j)) ++j;
    if (j < format.size() && format[j] == '.') {
      ++j;
      while (digit(j)) ++j;
    }
    const char type = j < format.size() ? static_cast<char>(Cp1251Upper(format[j])) : '\0';
    if ((type == 'S' || type == 'D' || type == 'U' || type == 'X') && index < args.size()) {
      const std::string& arg = args[index];
      const std::string pad(width > arg.size() ? width - arg.size() : 0, ' ');
      out += left ? arg + pad : pad + arg;
      next = index + 1;
      i = j + 1;
    } else {
      // Unknown directive or no argument for it: shown as written.
      const std::size_t stop = std::min(format.size(), j + 1);
      out.append(format.substr(i, stop - i));
      i = stop;
    }
  }
  return out;
}

}  // namespace plumo
