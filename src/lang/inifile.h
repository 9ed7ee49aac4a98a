// TIniFile: one INI-style file (chat.ini, a language file) read and written by the rules of the
// classic private-profile functions, so that files written by other peers' programs and by ours
// mean the same:
// - section and key names match without regard to letter case (code page 1251); the first section
//   and the first key of a name win;
// - a value read has its leading and trailing blanks removed and loses one pair of enclosing
//   matching quotes ("..." or '...'); at most kMaxValue characters of it are seen;
// - every write goes to the disk at once (the whole file is replaced atomically); lines, comments
//   and sections the program does not know are kept as they are.
// Reads always see the current file: the file is read again whenever it changed on disk.
//
// Writes never change the file's structure: a section or key name that could not be found again
// (empty, with a line break or another control character, "=" in a key, "]" in a section, a key
// starting with "[" or with blanks at either end) and a value with a control character other than
// the tab are refused: the write returns false and the file is left alone. A value that would lose
// blanks or quotes on reading is written inside an extra pair of double quotes, so every accepted
// value reads back exactly as written (up to kMaxValue characters). Write functions return false
// also when the file cannot be written; the file is then unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct stat;

namespace plumo {

class TIniFile {
 public:
  // Longest value a read returns (the classic 2048-byte buffer less its terminator).
  static constexpr std::size_t kMaxValue = 2047;

  explicit TIniFile(std::string path);
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return path_; }
  // Whether the file exists and can be read.
  bool Exists() const;

  // --- Reading. A missing file or section behaves as if every key were absent.
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // The value, trimmed and unquoted, or nullopt when the key is absent.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$", optional sign; anything else gives def.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // An integer other than 0 is true; a missing or unparsable value gives def.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // Section names in file order.
  std::vector<std::string> ReadSections() const;
  // Key names of one section in file order (lines without "=" are not keys).
  std::vector<std::string> ReadSection(std::string_view section) const;
  // name/value pairs of one section in file order, values as Read gives them.
  std::vector<std::pair<std::string, std::string>> ReadSectionValues(std::string_view section) const;

  // --- Writing (each call replaces the file on disk; see above for refusals).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, long long value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);
  // Removes one key (true when it is gone afterwards, also when it was never there).
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name with all its lines.
  bool EraseSection(std::string_view section);
  // Forces what was written onto the storage device (fsync). False on failure.
  bool UpdateFile();

  // --- The rules, for callers that check before writing.
  static bool IsValidSectionName(std::string_view section);
  static bool IsValidKeyName(std::string_view key);
  static bool IsStorableValue(std::string_view value);
  // The text that Read returns for a stored raw value: trimmed, unquoted, cut to kMaxValue.
  static std::string CleanValue(std::string_view raw);
  // The raw text written for a value (quoted when needed so that CleanValue gives it back).
  static std::string StoredValue(std::string_view value);
  // ReadInteger's parsing rules; nullopt for an unparsable text or one out of the int range.
  static std::optional<long long> ParseInteger(std::string_view text);

 private:
  // Identity of the file version held in lines_ (device, inode, size, modification time).
  struct Stamp {
    bool exists = false;
    std::uint64_t dev = 0, ino = 0, size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const struct stat& st);
  void Refresh() const;
  bool Commit(std::vector<std::string> lines);
  // Index range [header, end) of the first section of that name; header is npos when absent.
  std::pair<std::size_t, std::size_t> FindSection(std::string_view section) const;
  // Index of the first key line of that name inside [begin, end), or npos.
  std::size_t FindKey(std::size_t begin, std::size_t end, std::string_view key) const;

  std::string path_;
  mutable std::vector<std::string> lines_;  // without line ends
  mutable std::string eol_ = "\n";          // the line end of the file as found
  mutable bool loaded_ = false;
  mutable Stamp stamp_;
};

}  // namespace plumo
