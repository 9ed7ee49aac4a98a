// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/inifile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tempdir.h"

namespace plumo {
namespace {

using testing::TempDir;

TEST(IniFile, ReadsByTheProfileRules) {
  TempDir dir;
  dir.Write("a.ini",
            "stray=before any section\r\n"
            "[Main]\r\n"
            "  Name =  padded value  \r\n"
            "Quoted=\"  kept blanks  \"\r\n"
            "Single='x'\r\n"
            "Half=\"open\r\n"
            "name=second of the same name\r\n"
            "no equals sign\r\n"
            "[\xc0\xe1\xe2]\r\n"  // cp1251 upper-case section name
            "\xea\xeb\xfe\xf7=cyr\r\n"
            "[main]\r\n"
            "Late=in a second section of the same name\r\n");
  TIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("MAIN", "name", "-"), "padded value");
  EXPECT_EQ(ini.ReadString("main", "Quoted", "-"), "  kept blanks  ");
  EXPECT_EQ(ini.ReadString("Main", "Single", "-"), "x");
  EXPECT_EQ(ini.ReadString("Main", "Half", "-"), "\"open");
  EXPECT_EQ(ini.ReadString("Main", "stray", "-"), "-");
  EXPECT_EQ(ini.ReadString("Main", "Late", "-"), "-");
  EXPECT_EQ(ini.ReadString("\xe0\xe1\xe2", "\xca\xcb\xde\xd7", "-"), "cyr");  // lower case finds upper case
  EXPECT_EQ(ini.ReadSection("Main"), (std::vector<std::string>{"Name", "Quoted", "Single", "Half", "name"}));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "\xc0\xe1\xe2", "main"}));
}

TEST(IniFile, ValuesAreCutAt2047Characters) {
  TempDir dir;
  dir.Write("a.ini", "[s]\nk=" + std::string(3000, 'v') + "\n");
  EXPECT_EQ(TIniFile(dir.File("a.ini")).ReadString("s", "k", "").size(), 2047u);
}

TEST(IniFile, IntegersAndBooleans) {
  TempDir dir;
  dir.Write(
      "a.ini",
      "[s]\ndec=-42\nhex=0x1F\nHex=0XfF\ndollar=$10\nbad=12a\nempty=\nbig=99999999999\nall=$FFFFFFFF\n");
  TIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadInteger("s", "dec", 7), -42);
  EXPECT_EQ(ini.ReadInteger("s", "hex", 7), 31);
  EXPECT_EQ(ini.ReadInteger("s", "dollar", 7), 16);
  EXPECT_EQ(ini.ReadInteger("s", "bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("s", "empty", 7), 7);
  EXPECT_EQ(ini.ReadInteger("s", "big", 7), 7);
  EXPECT_EQ(ini.ReadInteger("s", "all", 7), -1);
  EXPECT_EQ(ini.ReadInteger("s", "missing", 7), 7);
  EXPECT_TRUE(ini.ReadBool("s", "dec", false));
  EXPECT_FALSE(ini.ReadBool("s", "bad", false));
  EXPECT_TRUE(ini.ReadBool("s", "bad", true));
}

TEST(IniFile, WritesKeepEverythingElse) {
  TempDir dir;
  const std::string before = "; a comment\r\n[Main]\r\nMyName=old\r\nother line\r\n\r\n[Unknown]\r\nX=1\r\n";
  dir.Write("a.ini", before);
  TIniFile ini(dir.File("a.ini"));
  ASSERT_TRUE(ini.WriteString("main", "MYNAME", "new"));  // the key keeps its spelling
  ASSERT_TRUE(ini.WriteString("Main", "Added", "v"));     // before the blank line ending the section
  ASSERT_TRUE(ini.WriteString("Fresh", "k", "1"));
  EXPECT_EQ(dir.Read("a.ini"),
            "; a comment\r\n[Main]\r\nMyName=new\r\nother line\r\nAdded=v\r\n\r\n[Unknown]\r\nX=1\r\n\r\n"
            "[Fresh]\r\nk=1\r\n");
  ASSERT_TRUE(ini.DeleteKey("MAIN", "added"));
  ASSERT_TRUE(ini.EraseSection("unknown"));
  EXPECT_EQ(dir.Read("a.ini"), "; a comment\r\n[Main]\r\nMyName=new\r\nother line\r\n\r\n[Fresh]\r\nk=1\r\n");
}

TEST(IniFile, ErasingASectionRemovesEveryCopyOfIt) {
  TempDir dir;
  dir.Write("a.ini", "[H]\nz0=a\n[Keep]\nk=1\n[h]\nz0=stale\nz9=stale\n");
  TIniFile ini(dir.File("a.ini"));
  ASSERT_TRUE(ini.EraseSection("h"));
  ASSERT_TRUE(ini.WriteString("H", "z0", "new"));
  EXPECT_EQ(ini.ReadSection("H"), std::vector<std::string>{"z0"});
  EXPECT_EQ(dir.Read("a.ini"), "[Keep]\nk=1\n\n[H]\nz0=new\n");
}

TEST(IniFile, EveryWriteReachesTheFileAndReadsSeeOtherWriters) {
  TempDir dir;
  TIniFile a(dir.File("a.ini"));
  TIniFile b(dir.File("a.ini"));
  EXPECT_FALSE(a.Exists());
  EXPECT_EQ(a.ReadString("s", "k", "none"), "none");
  EXPECT_FALSE(a.Exists());  // reading never creates the file
  ASSERT_TRUE(a.WriteString("s", "k", "1"));
  EXPECT_EQ(dir.Read("a.ini"), "[s]\nk=1\n");
  EXPECT_EQ(b.ReadString("s", "k", ""), "1");
  ASSERT_TRUE(b.WriteInteger("s", "k", 22));
  EXPECT_EQ(a.ReadInteger("s", "k", 0), 22);
  dir.Write("a.ini", "[s]\nk=edited by hand\n");
  EXPECT_EQ(a.ReadString("s", "k", ""), "edited by hand");
  EXPECT_TRUE(a.UpdateFile());
}

TEST(IniFile, ValuesReadBackExactlyAsWritten) {
  TempDir dir;
  TIniFile ini(dir.File("a.ini"));
  const std::vector<std::string> values = {"",           " ",        " lead",        "trail\t",
                                           "\"quoted\"", "'single'", "\"",           "a\"b",
                                           "\"x' ",      "=;[]#",    "\xc0\xff\x98", std::string(2047, 'z')};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string key = "k" + std::to_string(i);
    ASSERT_TRUE(ini.WriteString("s", key, values[i])) << i;
    EXPECT_EQ(TIniFile(dir.File("a.ini")).Read("s", key), values[i]) << i;
  }
}

TEST(IniFile, RefusesWhatWouldChangeTheFileStructure) {
  TempDir dir;
  TIniFile ini(dir.File("a.ini"));
  ASSERT_TRUE(ini.WriteString("s", "k", "v"));
  const std::string before = dir.Read("a.ini");
  EXPECT_FALSE(ini.WriteString("s", "k", "v\r\n[Main]\r\nMyName=evil"));
  EXPECT_FALSE(ini.WriteString("s", "k", "v\nx=1"));
  EXPECT_FALSE(ini.WriteString("s", "k", std::string("a\0b", 3)));
  EXPECT_FALSE(ini.WriteString("s", "a=b", "v"));
  EXPECT_FALSE(ini.WriteString("s", "[Main]", "v"));
  EXPECT_FALSE(ini.WriteString("s", "line\nbreak", "v"));
  EXPECT_FALSE(ini.WriteString("s", " padded", "v"));
  EXPECT_FALSE(ini.WriteString("s", "", "v"));
  EXPECT_FALSE(ini.WriteString("a]b", "k", "v"));
  EXPECT_FALSE(ini.WriteString("a\r\nb", "k", "v"));
  EXPECT_EQ(dir.Read("a.ini"), before);
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"s"});
}

TEST(IniFile, AFailedWriteReportsFalse) {
  TempDir dir;
  TIniFile ini(dir.File("missing-folder/a.ini"));
  EXPECT_FALSE(ini.WriteString("s", "k", "v"));
  EXPECT_EQ(ini.ReadString("s", "k", "none"), "none");
}

// ReplaceSection and WriteSectionValues inside a group give the file that the key-by-key writes
// give, and the group replaces the file once, at its end.
TEST(IniFile, GroupedWritesGiveTheKeyByKeyFileInOneReplacement) {
  using Entries = std::vector<std::pair<std::string, std::string>>;
  const std::string start =
      "\xEF\xBB\xBF; c\r\n[T]\r\nA=1\r\nb=2\r\n\r\n[H]\r\nz0=old\r\n[Other]\r\nx=1\r\n[h]\r\nz7=dup\r\n";
  const Entries entries = {{"a", "new"}, {"C", " padded "}, {"c", "again"}, {"bad=key", "v"}, {"D", "d"}};
  struct Case {
    const char* name;
    std::function<bool(TIniFile&)> grouped;
    std::function<bool(TIniFile&)> keyByKey;
  };
  const std::vector<Case> cases = {
      {"WriteSectionValues over a section",
       [&](TIniFile& ini) { return ini.WriteSectionValues("t", entries); },
       [&](TIniFile& ini) {
         bool ok = true;
         for (const auto& [k, v] : entries) ok = ini.WriteString("t", k, v) && ok;
         return ok;
       }},
      {"WriteSectionValues of a new section",
       [&](TIniFile& ini) { return ini.WriteSectionValues("New", entries); },
       [&](TIniFile& ini) {
         bool ok = true;
         for (const auto& [k, v] : entries) ok = ini.WriteString("New", k, v) && ok;
         return ok;
       }},
      {"ReplaceSection of every copy", [&](TIniFile& ini) { return ini.ReplaceSection("H", entries); },
       [&](TIniFile& ini) {
         bool ok = ini.EraseSection("H");
         for (const auto& [k, v] : entries) ok = ini.WriteString("H", k, v) && ok;
         return ok;
       }},
      {"ReplaceSection with nothing", [&](TIniFile& ini) { return ini.ReplaceSection("H", {}); },
       [&](TIniFile& ini) { return ini.EraseSection("H"); }},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("grouped.ini", start);
    dir.Write("keys.ini", start);
    TIniFile grouped(dir.File("grouped.ini"));
    TIniFile keys(dir.File("keys.ini"));
    grouped.BeginUpdate();
    const bool groupedOk = c.grouped(grouped);
    ASSERT_TRUE(grouped.WriteString("Main", "Last", "1"));
    EXPECT_EQ(grouped.ReadString("main", "last", ""), "1") << c.name;  // reads see the group's writes
    EXPECT_EQ(dir.Read("grouped.ini"), start) << c.name;               // the file does not, yet
    ASSERT_TRUE(grouped.EndUpdate());
    const bool keysOk = c.keyByKey(keys);
    ASSERT_TRUE(keys.WriteString("Main", "Last", "1"));
    EXPECT_EQ(groupedOk, keysOk) << c.name;
    EXPECT_EQ(dir.Read("grouped.ini"), dir.Read("keys.ini")) << c.name;
    EXPECT_EQ(grouped.ReplaceCount(), 1u) << c.name;
    EXPECT_EQ(grouped.BytesWritten(), dir.Read("grouped.ini").size()) << c.name;
  }
}

TEST(IniFile, AByteOrderMarkIsSkippedAndKept) {
  TempDir dir;
  dir.Write("a.ini", "\xEF\xBB\xBF[Main]\r\nMyName=bom\r\n");
  TIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Main"});
  EXPECT_EQ(ini.ReadString("Main", "MyName", ""), "bom");
  ASSERT_TRUE(ini.WriteString("Main", "MyName", "x"));
  EXPECT_EQ(dir.Read("a.ini"), "\xEF\xBB\xBF[Main]\r\nMyName=x\r\n");
}

// A file read many times is parsed once per change, and looked up without scanning it.
TEST(IniFile, RepeatedReadsParseTheFileOncePerChange) {
  TempDir dir;
  std::string text = "[Main]\nfirst=1\n[Big]\n";
  for (int i = 0; i < 5000; ++i) text += "k" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
  dir.Write("a.ini", text + "[main]\nfirst=shadowed\n");
  TIniFile ini(dir.File("a.ini"));
  for (int i = 0; i < 5000; i += 7)
    ASSERT_EQ(ini.ReadString("BIG", "K" + std::to_string(i), ""), "v" + std::to_string(i));
  EXPECT_EQ(ini.ReadString("MAIN", " first ", ""), "1");
  EXPECT_FALSE(ini.ValueExists("Big", "k5000"));
  EXPECT_EQ(ini.ReadSectionValues("big").size(), 5000u);
  EXPECT_EQ(ini.LoadCount(), 1u);
  dir.Write("a.ini", "[Big]\nk1=changed\n");
  EXPECT_EQ(ini.ReadString("Big", "k1", ""), "changed");
  EXPECT_FALSE(ini.SectionExists("Main"));
  EXPECT_EQ(ini.LoadCount(), 2u);
}

TEST(IniFile, StaleTemporariesAreRemovedButNotOnesBeingWritten) {
  TempDir dir;
  for (const char* name :
       {"a.ini.tmp-Ab12Cd", "a.ini.tmp-locked", "a.ini.backup", "b.ini.tmp-Ab12Cd", "a.ini.tmp-toolong"})
    dir.Write(name, "[s]\n");
  const int held = ::open(dir.File("a.ini.tmp-locked").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  TIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.RemoveStaleTemporaries(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.ini.tmp-Ab12Cd")));
  for (const char* kept : {"a.ini.tmp-locked", "a.ini.backup", "b.ini.tmp-Ab12Cd", "a.ini.tmp-toolong"})
    EXPECT_TRUE(std::filesystem::exists(dir.File(kept))) << kept;
  ::close(held);
  EXPECT_EQ(ini.RemoveStaleTemporaries(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.ini.tmp-locked")));
}

}  // namespace
}  // namespace plumo
