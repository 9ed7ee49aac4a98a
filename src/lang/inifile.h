// SPDX-License-Identifier: GPL-3.0-or-later
// TIniFile: one INI-style file (chat.ini, a language file) read and written by the rules of the
// classic private-profile functions, so that files written by other peers' programs and by ours
// mean the same:
// - section and key names match without regard to letter case (code page 1251); the first section
//   and the first key of a name win;
// - a value read has its leading and trailing blanks removed and loses one pair of enclosing
//   matching quotes ("..." or '...'); at most kMaxValue characters of it are seen;
// - every write goes to the disk at once, or at the end of the group of writes it belongs to
//   (BeginUpdate .. EndUpdate); lines, comments and sections the program does not know are kept as
//   they are;
// - a UTF-8 byte-order mark at the start of the file is skipped on reading and kept on writing.
// Reads always see the current file: the file is read again whenever it changed on disk (device,
// inode, size or modification time); between changes the parsed file is kept, and a file read
// many times without changes is looked up through an index.
//
// Replacing the file. The whole new text is written to a temporary file beside it
// ("<name>.tmp-XXXXXX", locked while it is written), flushed to the storage device and renamed
// over the file, then the directory is flushed: whoever kills the program at any moment finds
// either the old file or the new one. RemoveStaleTemporaries removes what an interrupted writer
// left behind. A replacement costs time proportional to the file's size; so does every grouped
// write of a whole section (ReplaceSection, WriteSectionValues).
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
#include <unordered_map>
#include <utility>
#include <vector>

#include "lang/fs_path.h"

struct stat;

namespace plumo {

class TIniFile {
 public:
  // Longest value a read returns (the classic 2048-byte buffer less its terminator).
  static constexpr std::size_t kMaxValue = 2047;

  // path: the file's name as the system spells it (UTF-8).
  explicit TIniFile(std::string path);
  explicit TIniFile(const FsPath& path) : TIniFile(path.Utf8()) {}
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

  // --- Writing (each call replaces the file on disk, or marks it for EndUpdate; see above for
  // refusals).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, long long value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);
  // Removes one key (true when it is gone afterwards, also when it was never there).
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name with all its lines.
  bool EraseSection(std::string_view section);
  // Removes every section of that name and adds one at the end of the file holding these entries in
  // order (a later entry of a name already given replaces its value). Entries whose name cannot be
  // a key or whose value cannot be stored are left out and make the result false.
  bool ReplaceSection(std::string_view section,
                      const std::vector<std::pair<std::string, std::string>>& entries);
  // Writes every entry as WriteString would (existing keys keep their place, new ones are added at
  // the end of the section), in one pass over the file. Refused entries are left out and make the
  // result false.
  bool WriteSectionValues(std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& entries);
  // Forces what was written onto the storage device (fsync). False on failure.
  bool UpdateFile();

  // --- Groups of writes. Between BeginUpdate and the matching EndUpdate the writes change only the
  // text held in memory (their results say only whether they were refused) and reads see them;
  // the file on disk is left alone, even when someone else changes it meanwhile. The outermost
  // EndUpdate replaces the file once with everything written; false when that failed, and the file
  // is then unchanged (the next read reads it again). Groups nest.
  void BeginUpdate();
  bool EndUpdate();

  // Removes the temporary files that a writer of this file killed while replacing it left in the
  // directory (those of a writer still at work are locked and stay). The number removed.
  std::size_t RemoveStaleTemporaries() const;

  // How many times the file was parsed and replaced through this object (for diagnostics).
  std::uint64_t LoadCount() const { return loads_; }
  std::uint64_t ReplaceCount() const { return replacements_; }
  // Bytes written into replacement files through this object.
  std::uint64_t BytesWritten() const { return bytesWritten_; }

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
    bool Exists = false;
    std::uint64_t Dev = 0, Ino = 0, Size = 0;
    std::int64_t MtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const struct stat& st);
  void Refresh() const;
  // Removes every section of that name from the lines held (room: lines the caller will add).
  void DropSection(std::string_view section, std::size_t room);
  // The held lines changed: drops the index; writes the file now, or marks it for EndUpdate.
  bool Store();
  // Replaces the file with the held lines.
  bool WriteOut();
  // Builds the index of first sections and their first keys when reads repeat without changes.
  void UseIndex() const;
  // The line of a key in the first section of that name through the index, or npos.
  std::size_t IndexedKey(std::string_view section, std::string_view key) const;
  // Index range [header, end) of the first section of that name; header is npos when absent.
  std::pair<std::size_t, std::size_t> FindSection(std::string_view section) const;
  // Index of the first key line of that name inside [begin, end), or npos.
  std::size_t FindKey(std::size_t begin, std::size_t end, std::string_view key) const;

  std::string path_;
  mutable std::vector<std::string> lines_;  // without line ends
  mutable std::string eol_ = "\n";          // the line end of the file as found
  mutable bool bom_ = false;                // the file starts with a UTF-8 byte-order mark
  mutable bool loaded_ = false;
  mutable Stamp stamp_;
  int updating_ = 0;      // depth of BeginUpdate
  bool pending_ = false;  // held lines not yet written (inside a group)
  // Upper-case "section" -> header line, and upper-case "section\nkey" -> key line, for the first
  // section of each name; valid while indexed_.
  mutable std::unordered_map<std::string, std::size_t> sectionIndex_;
  mutable std::unordered_map<std::string, std::size_t> keyIndex_;
  mutable bool indexed_ = false;
  mutable unsigned readsSinceChange_ = 0;
  mutable std::uint64_t loads_ = 0;
  std::uint64_t replacements_ = 0;
  std::uint64_t bytesWritten_ = 0;
};

}  // namespace plumo
