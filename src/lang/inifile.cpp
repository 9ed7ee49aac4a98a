#include "lang/inifile.h"

#include <fcntl.h>
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

constexpr std::size_t npos = std::string::npos;

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
  if (close == npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// A key line: "key=value" with a non-empty key; value is the raw text after the first "=".
bool ParseKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::size_t eq = line.find('=');
  if (eq == npos) return false;
  key = Trim(line.substr(0, eq));
  if (key.empty()) return false;
  value = line.substr(eq + 1);
  return true;
}

}  // namespace

TIniFile::Stamp TIniFile::StampOf(const struct stat& st) {
  Stamp s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

namespace {

struct ParsedInt {
  long long value = 0;
  bool hex = false;
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
  r.value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
  r.hex = base == 16;
  return r;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

bool TIniFile::Exists() const {
  std::ifstream in(path_, std::ios::binary);
  return in.good();
}

void TIniFile::Refresh() const {
  Stamp now;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) now = StampOf(st);
  if (loaded_ && now == stamp_) return;
  lines_.clear();
  eol_ = "\n";
  stamp_ = now;
  loaded_ = true;
  if (!now.exists) return;
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    stamp_ = Stamp{};
    return;
  }
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  bool first = true;
  while (start < data.size()) {
    std::size_t nl = data.find('\n', start);
    const bool terminated = nl != npos;
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

std::pair<std::size_t, std::size_t> TIniFile::FindSection(std::string_view section) const {
  std::size_t header = npos;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (!ParseHeader(lines_[i], name)) continue;
    if (header != npos) return {header, i};
    if (SameText1251(name, section)) header = i;
  }
  return {header, lines_.size()};
}

std::size_t TIniFile::FindKey(std::size_t begin, std::size_t end, std::string_view key) const {
  for (std::size_t i = begin; i < end; ++i) {
    std::string_view k, v;
    if (ParseKeyLine(lines_[i], k, v) && SameText1251(k, key)) return i;
  }
  return npos;
}

bool TIniFile::SectionExists(std::string_view section) const {
  Refresh();
  return FindSection(section).first != npos;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Read(section, key).has_value();
}

std::optional<std::string> TIniFile::Read(std::string_view section, std::string_view key) const {
  Refresh();
  const auto [header, end] = FindSection(section);
  if (header == npos) return std::nullopt;
  const std::size_t i = FindKey(header + 1, end, Trim(key));
  if (i == npos) return std::nullopt;
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
  if (p->value >= INT_MIN && p->value <= INT_MAX) return static_cast<int>(p->value);
  // Hexadecimal values fill the 32 bits, as "$FFFFFFFF" is -1.
  if (p->hex && p->value > INT_MAX && p->value <= 0xFFFFFFFFLL) {
    return static_cast<int>(static_cast<std::uint32_t>(p->value));
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
  std::vector<std::pair<std::string, std::string>> out;
  const auto [header, end] = FindSection(section);
  if (header == npos) return out;
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
  return p->value;
}

bool TIniFile::Commit(std::vector<std::string> lines) {
  std::string data;
  for (const auto& line : lines) {
    data += line;
    data += eol_;
  }
  std::string tmpl = path_ + ".XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  mode_t mode;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0;
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
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmpl.c_str(), path_.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  lines_ = std::move(lines);
  // Remember the new file's identity so that the next read does not parse it again.
  loaded_ = ::stat(path_.c_str(), &st) == 0;
  if (loaded_) stamp_ = StampOf(st);
  return true;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsValidSectionName(section) || !IsValidKeyName(key) || !IsStorableValue(value)) return false;
  Refresh();
  std::vector<std::string> lines = lines_;
  const std::string entry = std::string(key) + "=" + StoredValue(value);
  const auto [header, end] = FindSection(section);
  if (header == npos) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
    return Commit(std::move(lines));
  }
  const std::size_t i = FindKey(header + 1, end, key);
  if (i != npos) {
    std::string_view k, v;
    ParseKeyLine(lines[i], k, v);
    lines[i] = std::string(k) + "=" + StoredValue(value);
  } else {
    // After the section's last non-blank line, so that blank lines before the next section stay.
    std::size_t at = end;
    while (at > header + 1 && Trim(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
  }
  return Commit(std::move(lines));
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
  if (header == npos) return true;
  const std::size_t i = FindKey(header + 1, end, key);
  if (i == npos) return true;
  std::vector<std::string> lines = lines_;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
  return Commit(std::move(lines));
}

bool TIniFile::EraseSection(std::string_view section) {
  Refresh();
  if (FindSection(section).first == npos) return true;
  // Every section of that name goes, so that a duplicate cannot take the place of the removed one.
  std::vector<std::string> lines;
  bool inside = false;
  for (const auto& line : lines_) {
    std::string_view name;
    if (ParseHeader(line, name)) inside = SameText1251(name, section);
    if (!inside) lines.push_back(line);
  }
  return Commit(std::move(lines));
}

bool TIniFile::UpdateFile() {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  std::string dir = path_;
  const std::size_t slash = dir.rfind('/');
  dir = slash == npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return ok;
}

}  // namespace plumo
