// SPDX-License-Identifier: GPL-3.0-or-later
// FsPath: a path of the file system, kept apart from the program's text by its type. Text inside
// net, lang and core is code page 1251 (as on the wire and in chat.ini); names on disk are UTF-8.
// A path is made only on purpose: from UTF-8 (what the system gives: the command line, the
// environment, directory listings) or from code-page text (a file name read from chat.ini or
// typed by the user), converted. It joins only with another path or a string literal, so that
// code-page text cannot become part of a path without a conversion the compiler sees.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace plumo {

class FsPath {
 public:
  FsPath() = default;
  explicit FsPath(std::filesystem::path path) : path_(std::move(path)) {}
  // Text says which encoding it is in: FromUtf8 or FromCp1251.
  FsPath(const std::string&) = delete;
  FsPath(std::string_view) = delete;
  FsPath(const char*) = delete;
  // A path as the system spells it.
  static FsPath FromUtf8(std::string_view utf8) { return FsPath(std::filesystem::path(std::string(utf8))); }
  // A file or folder name (or a whole path) held as code-page text.
  static FsPath FromCp1251(std::string_view text);

  // name inside this folder (std::filesystem rules: an absolute name replaces the folder).
  FsPath operator/(const FsPath& name) const { return FsPath(path_ / name.path_); }
  // A literal of the source: ASCII, the same in both encodings.
  template <std::size_t N>
  FsPath operator/(const char (&name)[N]) const {
    return *this / FromUtf8(std::string_view(name, N - 1));
  }

  bool Empty() const { return path_.empty(); }
  const std::filesystem::path& Native() const { return path_; }
  std::string Utf8() const { return path_.string(); }
  // For the program's text: the path shown in a message, stored in chat.ini. Characters the code
  // page lacks become "?".
  std::string ToCp1251() const;
  // The last component ("ding.wav"), and the folder that holds it.
  FsPath FileName() const { return FsPath(path_.filename()); }
  FsPath Parent() const { return FsPath(path_.parent_path()); }

  bool operator==(const FsPath& other) const = default;

 private:
  std::filesystem::path path_;
};

}  // namespace plumo
