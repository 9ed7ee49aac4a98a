// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/inifile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "lang/text_helpers.h"
#include "lang/textcase.h"

namespace plumo {
namespace {

constexpr std::size_t kNpos = std::string::npos;
constexpr char kBom[] = "\xEF\xBB\xBF";
// A replacement file is named "<file name>" + kTempInfix + six characters (mkstemp).
constexpr char kTempInfix[] = ".tmp-";
constexpr std::size_t kTempSuffix = 6;

// The directory part of a path ("." when none) and the name part.
std::string DirOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == kNpos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}
std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == kNpos ? path : path.substr(slash + 1);
}

bool SyncDir(const std::string& dir) {
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return false;
  const bool ok = ::fsync(dfd) == 0;
  ::close(dfd);
  return ok;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A section header line: "[name]" after optional blanks; the name is what lies before the first "]".
bool ParseHeader(std::string_view line, std::string_view& name) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == kNpos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// A key line: "key=value" with a non-empty key; value is the raw text after the first "=".
bool ParseKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::size_t eq = line.find('=');
  if (eq == kNpos) return false;
  key = Trim(line.substr(0, eq));
  if (key.empty()) return false;
  value = line.substr(eq + 1);
  return true;
}

}  // namespace

TIniFile::Stamp TIniFile::StampOf(const struct stat& st) {
  Stamp s;
  s.Exists = true;
  s.Dev = st.st_dev;
  s.Ino = st.st_ino;
  s.Size = static_cast<std::uint64_t>(st.st_size);
  s.MtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

namespace {

struct ParsedInt {
  long long Value = 0;
  bool Hex = false;
};

std::optional<ParsedInt> ParseIntText(std::string_view text) {
  std::string_view s = text;
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  ParsedInt r;
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  unsigned long long v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (v > (static_cast<unsigned long long>(LLONG_MAX) - static_cast<unsigned>(d)) / base)
      return std::nullopt;
    v = v * base + static_cast<unsigned>(d);
  }
  r.Value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
  r.Hex = base == 16;
  return r;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

bool TIniFile::Exists() const {
  // Without opening it: a file that is only looked at is not read.
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && ::access(path_.c_str(), R_OK) == 0;
}

void TIniFile::Refresh() const {
  // Inside a group of writes the held lines are the file until EndUpdate writes them.
  if (updating_ > 0 && loaded_) return;
  Stamp now;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) now = StampOf(st);
  if (loaded_ && now == stamp_) return;
  lines_.clear();
  eol_ = "\n";
  bom_ = false;
  stamp_ = now;
  loaded_ = true;
  indexed_ = false;
  readsSinceChange_ = 0;
  if (!now.Exists) return;
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    stamp_ = Stamp{};
    return;
  }
  ++loads_;
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  if (data.compare(0, 3, kBom) == 0) {
    bom_ = true;
    start = 3;
  }
  bool first = true;
  while (start < data.size()) {
    std::size_t nl = data.find('\n', start);
    const bool terminated = nl != kNpos;
    if (!terminated) nl = data.size();
    std::string line = data.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (first && terminated) eol_ = "\r\n";
    }
    first = false;
    lines_.push_back(std::move(line));
    start = nl + 1;
  }
}

void TIniFile::UseIndex() const {
  // The first read after a change scans; a second one makes reading without changes pay off.
  if (indexed_ || ++readsSinceChange_ < 2) return;
  sectionIndex_.clear();
  keyIndex_.clear();
  std::string current;
  bool firstOfName = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name, k, v;
    if (ParseHeader(lines_[i], name)) {
      current = Cp1251UpperCase(name);
      firstOfName = sectionIndex_.emplace(current, i).second;
    } else if (firstOfName && ParseKeyLine(lines_[i], k, v)) {
      keyIndex_.emplace(current + '\n' + Cp1251UpperCase(k), i);
    }
  }
  indexed_ = true;
}

std::size_t TIniFile::IndexedKey(std::string_view section, std::string_view key) const {
  const auto it = keyIndex_.find(Cp1251UpperCase(section) + '\n' + Cp1251UpperCase(key));
  return it == keyIndex_.end() ? kNpos : it->second;
}

std::pair<std::size_t, std::size_t> TIniFile::FindSection(std::string_view section) const {
  std::size_t header = kNpos;
  std::size_t from = 0;
  if (indexed_) {
    const auto it = sectionIndex_.find(Cp1251UpperCase(section));
    if (it == sectionIndex_.end()) return {kNpos, lines_.size()};
    header = it->second;
    from = header + 1;
  }
  for (std::size_t i = from; i < lines_.size(); ++i) {
    std::string_view name;
    if (!ParseHeader(lines_[i], name)) continue;
    if (header != kNpos) return {header, i};
    if (SameText1251(name, section)) header = i;
  }
  return {header, lines_.size()};
}

std::size_t TIniFile::FindKey(std::size_t begin, std::size_t end, std::string_view key) const {
  for (std::size_t i = begin; i < end; ++i) {
    std::string_view k, v;
    if (ParseKeyLine(lines_[i], k, v) && SameText1251(k, key)) return i;
  }
  return kNpos;
}

bool TIniFile::SectionExists(std::string_view section) const {
  Refresh();
  UseIndex();
  return FindSection(section).first != kNpos;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Read(section, key).has_value();
}

std::optional<std::string> TIniFile::Read(std::string_view section, std::string_view key) const {
  Refresh();
  UseIndex();
  std::size_t i;
  if (indexed_) {
    i = IndexedKey(section, Trim(key));
  } else {
    const auto [header, end] = FindSection(section);
    if (header == kNpos) return std::nullopt;
    i = FindKey(header + 1, end, Trim(key));
  }
  if (i == kNpos) return std::nullopt;
  std::string_view k, v;
  ParseKeyLine(lines_[i], k, v);
  return CleanValue(v);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  auto v = Read(section, key);
  return v ? *v : std::string(def);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const auto v = Read(section, key);
  if (!v) return def;
  const auto p = ParseIntText(*v);
  if (!p) return def;
  if (p->Value >= INT_MIN && p->Value <= INT_MAX) return static_cast<int>(p->Value);
  // Hexadecimal values fill the 32 bits, as "$FFFFFFFF" is -1.
  if (p->Hex && p->Value > INT_MAX && p->Value <= 0xFFFFFFFFLL) {
    return static_cast<int>(static_cast<std::uint32_t>(p->Value));
  }
  return def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> TIniFile::ReadSections() const {
  Refresh();
  std::vector<std::string> out;
  for (const auto& line : lines_) {
    std::string_view name;
    if (ParseHeader(line, name)) out.emplace_back(name);
  }
  return out;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> out;
  for (auto& [k, v] : ReadSectionValues(section)) out.push_back(std::move(k));
  return out;
}

std::vector<std::pair<std::string, std::string>> TIniFile::ReadSectionValues(std::string_view section) const {
  Refresh();
  UseIndex();
  std::vector<std::pair<std::string, std::string>> out;
  const auto [header, end] = FindSection(section);
  if (header == kNpos) return out;
  for (std::size_t i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (ParseKeyLine(lines_[i], k, v)) out.emplace_back(std::string(k), CleanValue(v));
  }
  return out;
}

bool TIniFile::IsValidSectionName(std::string_view section) {
  if (section.empty() || Trim(section) != section) return false;
  for (char c : section) {
    if (IsControlChar(c) || c == ']') return false;
  }
  return true;
}

bool TIniFile::IsValidKeyName(std::string_view key) {
  if (key.empty() || Trim(key) != key || key.front() == '[') return false;
  for (char c : key) {
    if (IsControlChar(c) || c == '=') return false;
  }
  return true;
}

bool TIniFile::IsStorableValue(std::string_view value) {
  for (char c : value) {
    if (IsControlChar(c)) return false;
  }
  return true;
}

std::string TIniFile::CleanValue(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\'')) {
    v = v.substr(1, v.size() - 2);
  }
  if (v.size() > kMaxValue) v = v.substr(0, kMaxValue);
  return std::string(v);
}

std::string TIniFile::StoredValue(std::string_view value) {
  const bool edgeBlank = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  const bool edgeQuotes =
      value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\'');
  if (edgeBlank || edgeQuotes) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

std::optional<long long> TIniFile::ParseInteger(std::string_view text) {
  const auto p = ParseIntText(text);
  if (!p) return std::nullopt;
  return p->Value;
}

bool TIniFile::Store() {
  indexed_ = false;
  readsSinceChange_ = 0;
  if (updating_ > 0) {
    pending_ = true;
    return true;
  }
  return WriteOut();
}

bool TIniFile::WriteOut() {
  std::size_t total = bom_ ? 3 : 0;
  for (const auto& line : lines_) total += line.size() + eol_.size();
  std::string data;
  data.reserve(total);
  if (bom_) data += kBom;
  for (const auto& line : lines_) {
    data += line;
    data += eol_;
  }
  std::string tmpl = path_ + kTempInfix + std::string(kTempSuffix, 'X');
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) {
    loaded_ = false;  // the held lines are not the file's: read it again
    return false;
  }
  // Held until the file has its final name, so that RemoveStaleTemporaries leaves it alone.
  bool ok = ::flock(fd, LOCK_EX) == 0;
  mode_t mode;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ok = ok && ::fchmod(fd, mode) == 0;
  std::size_t done = 0;
  while (ok && done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  // On the device before it takes the file's name: a crash after the rename finds the whole text.
  ok = ok && ::fsync(fd) == 0;
  ok = ok && ::rename(tmpl.c_str(), path_.c_str()) == 0;
  if (!ok) ::unlink(tmpl.c_str());
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    loaded_ = false;
    return false;
  }
  SyncDir(DirOf(path_));
  ++replacements_;
  bytesWritten_ += data.size();
  // Remember the new file's identity so that the next read does not parse it again.
  loaded_ = ::stat(path_.c_str(), &st) == 0;
  if (loaded_) stamp_ = StampOf(st);
  return true;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsValidSectionName(section) || !IsValidKeyName(key) || !IsStorableValue(value)) return false;
  Refresh();
  const std::string entry = std::string(key) + "=" + StoredValue(value);
  const auto [header, end] = FindSection(section);
  if (header == kNpos) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(entry);
    return Store();
  }
  const std::size_t i = FindKey(header + 1, end, key);
  if (i != kNpos) {
    std::string_view k, v;
    ParseKeyLine(lines_[i], k, v);
    lines_[i] = std::string(k) + "=" + StoredValue(value);
  } else {
    // After the section's last non-blank line, so that blank lines before the next section stay.
    std::size_t at = end;
    while (at > header + 1 && Trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), entry);
  }
  return Store();
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, long long value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  Refresh();
  const auto [header, end] = FindSection(section);
  if (header == kNpos) return true;
  const std::size_t i = FindKey(header + 1, end, key);
  if (i == kNpos) return true;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
  return Store();
}

// Every section of that name goes, so that a duplicate cannot take the place of the removed one.
void TIniFile::DropSection(std::string_view section, std::size_t room) {
  std::vector<std::string> lines;
  lines.reserve(lines_.size() + room);
  bool inside = false;
  for (auto& line : lines_) {
    std::string_view name;
    if (ParseHeader(line, name)) inside = SameText1251(name, section);
    if (!inside) lines.push_back(std::move(line));
  }
  lines_ = std::move(lines);
}

bool TIniFile::EraseSection(std::string_view section) {
  Refresh();
  if (FindSection(section).first == kNpos) return true;
  DropSection(section, 0);
  return Store();
}

namespace {

// Key lines for entries that WriteString would write one after another into a section whose key
// lines are given by known (upper-case name -> line in lines, which are changed in place): a name
// met again changes its line, the others are returned in order. ok turns false for a refused entry.
std::vector<std::string> MergeEntries(const std::vector<std::pair<std::string, std::string>>& entries,
                                      std::unordered_map<std::string, std::size_t>& known,
                                      std::vector<std::string>& lines, bool& ok) {
  std::vector<std::string> added;
  std::unordered_map<std::string, std::size_t> addedAt;
  for (const auto& [key, value] : entries) {
    if (!TIniFile::IsValidKeyName(key) || !TIniFile::IsStorableValue(value)) {
      ok = false;
      continue;
    }
    const std::string folded = Cp1251UpperCase(key);
    std::string* line = nullptr;
    if (const auto it = known.find(folded); it != known.end()) {
      line = &lines[it->second];
    } else if (const auto at = addedAt.find(folded); at != addedAt.end()) {
      line = &added[at->second];
    }
    if (line) {
      std::string_view k, v;
      ParseKeyLine(*line, k, v);
      *line = std::string(k) + "=" + TIniFile::StoredValue(value);
    } else {
      addedAt.emplace(folded, added.size());
      added.push_back(key + "=" + TIniFile::StoredValue(value));
    }
  }
  return added;
}

}  // namespace

bool TIniFile::ReplaceSection(std::string_view section,
                              const std::vector<std::pair<std::string, std::string>>& entries) {
  if (!IsValidSectionName(section)) return false;
  Refresh();
  DropSection(section, entries.size() + 2);
  bool ok = true;
  std::unordered_map<std::string, std::size_t> none;
  std::vector<std::string> added = MergeEntries(entries, none, lines_, ok);
  if (!added.empty()) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    for (auto& line : added) lines_.push_back(std::move(line));
  }
  return Store() && ok;
}

bool TIniFile::WriteSectionValues(std::string_view section,
                                  const std::vector<std::pair<std::string, std::string>>& entries) {
  if (!IsValidSectionName(section)) return false;
  Refresh();
  const auto [header, end] = FindSection(section);
  std::unordered_map<std::string, std::size_t> known;
  if (header != kNpos) {
    for (std::size_t i = header + 1; i < end; ++i) {
      std::string_view k, v;
      if (ParseKeyLine(lines_[i], k, v)) known.emplace(Cp1251UpperCase(k), i);
    }
  }
  bool ok = true;
  std::vector<std::string> added = MergeEntries(entries, known, lines_, ok);
  if (header == kNpos) {
    if (added.empty()) return ok;
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    for (auto& line : added) lines_.push_back(std::move(line));
  } else {
    std::size_t at = end;
    while (at > header + 1 && Trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(added.begin()),
                  std::make_move_iterator(added.end()));
  }
  return Store() && ok;
}

void TIniFile::BeginUpdate() {
  Refresh();
  ++updating_;
}

bool TIniFile::EndUpdate() {
  if (updating_ == 0 || --updating_ > 0) return true;
  if (!pending_) return true;
  pending_ = false;
  return WriteOut();
}

std::size_t TIniFile::RemoveStaleTemporaries() const {
  const std::string dir = DirOf(path_);
  const std::string prefix = NameOf(path_) + kTempInfix;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name.size() == prefix.size() + kTempSuffix && name.substr(0, prefix.size()) == prefix)
      names.emplace_back(name);
  }
  ::closedir(d);
  std::size_t removed = 0;
  for (const auto& name : names) {
    const std::string path = dir + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    // A writer at work holds the lock; a killed one held it no longer. The name must still be the
    // file that was locked (a writer may have renamed it into place meanwhile).
    struct stat held {
    }, named{};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
        ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  return removed;
}

bool TIniFile::UpdateFile() {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  SyncDir(DirOf(path_));
  return ok;
}

}  // namespace plumo
