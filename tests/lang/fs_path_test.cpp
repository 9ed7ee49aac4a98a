// SPDX-License-Identifier: GPL-3.0-or-later
// File-system paths (UTF-8) and the program's code-page text meet only through a conversion.
#include "lang/fs_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <type_traits>

#include "lang/lng.h"
#include "tempdir.h"

namespace plumo {
namespace {

// Code-page text cannot become part of a path without saying how.
static_assert(!std::is_convertible_v<std::string, FsPath>);
static_assert(!std::is_constructible_v<FsPath, std::string>);
static_assert(!std::is_invocable_v<std::divides<>, const FsPath&, const std::string&>);
static_assert(!std::is_invocable_v<std::divides<>, const FsPath&, const char*>);
static_assert(std::is_invocable_v<std::divides<>, const FsPath&, const char (&)[4]>);

// "Плюмо" in code page 1251 and in UTF-8.
constexpr char kCp1251Name[] = "\xcf\xeb\xfe\xec\xee";
constexpr char kUtf8Name[] = "\xd0\x9f\xd0\xbb\xd1\x8e\xd0\xbc\xd0\xbe";

TEST(FsPath, NamesOfBothEncodingsJoinToTheSystemsSpelling) {
  const FsPath dir = FsPath::FromUtf8(std::string("/home/") + kUtf8Name);
  struct Case {
    const char* what;
    FsPath path;
    std::string utf8;
  };
  const Case cases[] = {
      {"a code-page name", dir / FsPath::FromCp1251(std::string(kCp1251Name) + ".wav"),
       std::string("/home/") + kUtf8Name + "/" + kUtf8Name + ".wav"},
      {"a literal", dir / "sounds" / "ding.wav", std::string("/home/") + kUtf8Name + "/sounds/ding.wav"},
      {"an absolute code-page path replaces the folder", dir / FsPath::FromCp1251("/usr/share/x.wav"),
       "/usr/share/x.wav"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.path.Utf8(), c.utf8) << c.what;
  // Back to the program's text for chat.ini and messages; what the code page lacks becomes "?".
  EXPECT_EQ(dir.FileName().ToCp1251(), kCp1251Name);
  EXPECT_EQ(FsPath::FromUtf8("\xe2\x98\xba.wav").ToCp1251(), "?.wav");
}

// chat.ini names the language file in code-page text; the program's folder is named in UTF-8.
TEST(FsPath, ACodePageLanguageFileInACyrillicFolderIsRead) {
  const testing::TempDir temp;
  const std::filesystem::path dir = std::filesystem::path(temp.Path()) / kUtf8Name;
  std::filesystem::create_directory(dir);
  std::ofstream(dir / (std::string(kUtf8Name) + ".lng"), std::ios::binary)
      << "[Project_Messages]\r\nHello=Hi\r\n";
  TMsgINISupp messages(FsPath(dir), nullptr, nullptr);
  messages.SetFileName(std::string(kCp1251Name) + ".lng");
  EXPECT_EQ(messages.GetMessage("Hello"), "Hi");
}

}  // namespace
}  // namespace plumo
