// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <set>

#include "../lang/tempdir.h"
#include "lang/textcase.h"

namespace plumo {
namespace {

using testing::TempDir;

TSettingsEnv Env() {
  TSettingsEnv env;
  env.UserName = "vasya";
  env.ComputerName = "BOX";
  return env;
}

TEST(Settings, NoFileGivesEveryDefault) {
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  const TSettings s = LoadSettings(ini, Env());
  EXPECT_FALSE(s.StartHidden);
  EXPECT_FALSE(s.AutoStart);  // a new installation does not start at log-in until asked to
  EXPECT_EQ(s.Language, "russian.lng");
  EXPECT_TRUE(s.ShowBallonIfNotFocused);
  EXPECT_EQ(std::vector<int>({s.FormH, s.FormW, s.FormL, s.FormT}), std::vector<int>({0, 0, 233, 107}));
  EXPECT_FALSE(s.DesableMultiMessage);
  EXPECT_EQ(s.MyNiks, std::vector<std::string>{"vasya"});
  EXPECT_EQ(s.MyName, "vasya");
  EXPECT_EQ(ChannelTabs(s.Chanels), (std::vector<std::string>{"#", "Main", "Cs", "Quake", "StarCraft"}));
  EXPECT_EQ(s.MultiLineH, 50);
  EXPECT_EQ(s.SingleLineH, 25);
  EXPECT_FALSE(s.ChanelHotNik);
  EXPECT_FALSE(s.MessagesHotNik);
  EXPECT_EQ(s.MyColor, 0u);
  EXPECT_EQ(s.CustomColors, (std::vector<std::string>{"ColorA=FF0000", "ColorB=00FF00", "ColorC=0000FF"}));
  EXPECT_EQ(s.MyIP, "");
  EXPECT_EQ(s.Broadcast, "255.255.255.255");
  EXPECT_FALSE(s.AboutPresent);
  EXPECT_EQ(DefaultAbout("Computer %s, user %s", Env()), "Computer BOX, user vasya");
  EXPECT_EQ(s.MyStateDescr, " ");
  EXPECT_EQ(s.MyState, '1');
  EXPECT_TRUE(s.SmileTable.Empty() && s.SoundTable.Empty() && s.BellTable.Empty() && s.StateTable.Empty());
  EXPECT_EQ(s.SoundSets, (std::array<TNameValueList, 3>{}));
  EXPECT_TRUE(s.InputHistory.empty());
  EXPECT_TRUE(s.Problems.empty());
  EXPECT_EQ(ReadStateDescr(ini, '4', "dnd text"), "dnd text");
  const TTopicRecord t = ReadTopic(ini, "Main", "Welcome", 1700000000);
  EXPECT_EQ(t.Topic, "Welcome");
  EXPECT_EQ(t.TopicTime, 1700000000u - 999999999u);
  EXPECT_TRUE(t.SetterAddress.empty() && t.SetterNick.empty());
  EXPECT_FALSE(ini.Exists());
}

TSettings Changed() {
  TSettings s = DefaultSettings(Env());
  s.AutoStart = false;
  s.Language = "/some/where/english.lng";
  s.ShowBallonIfNotFocused = false;
  s.FormH = 600;
  s.FormW = 800;
  s.FormL = -5;
  s.FormT = 0;
  s.DesableMultiMessage = true;
  s.MyNiks = {"  first nick", "b", "last nick "};
  s.MyName = "\xc2\xe0\xf1\xff";
  s.Chanels = {"#", "Main", "My Channel", "a,b", "q\"uote"};
  s.MultiLineH = 70;
  s.SingleLineH = 30;
  s.ChanelHotNik = true;
  s.MessagesHotNik = true;
  s.MyColor = 0x0000FF;
  s.CustomColors = {"ColorA=123456"};
  s.MyIP = "198.18.0.2";
  s.Broadcast = "198.18.0.255";
  s.About = "line one\r\nline two";
  s.AboutPresent = true;
  s.MyStateDescr = " away for lunch ";
  s.MyState = '4';
  s.SmileTable = {{":)", "0"}, {"_:-)", "0"}, {";)", "3"}};
  s.SoundTable = {{"mute", "0"}, {"on_chat_line", "1"}, {"chat_line_src", "C:\\sounds\\a b.wav"}};
  s.SoundSets[1] = {{"mute", "1"}};
  s.SoundSets[2] = {{"on_message", "0"}, {"message_src", "x.wav"}};
  s.BellTable = {{"0", "bell.wav"}, {"99999", "/usr/share/x.wav"}};
  s.StateTable = {{"game.exe", "4"}, {"Descr_game.exe", "playing"}};
  s.InputHistory = {"newest", "two\r\nlines", "", " spaced "};
  return s;
}

TEST(Settings, SaveAndLoadRoundTripOfEveryGroup) {
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  const TSettings s = Changed();
  TSaveContext ctx;
  ctx.CurrentState = '4';
  ctx.Topics = {{"Main", "hello all", 1700000001, "198.18.0.7", "petya"},
                {"My Channel", " topic with edge blanks ", 5, "", ""}};
  ASSERT_TRUE(SaveSettings(ini, s, ctx, true));
  ASSERT_TRUE(WriteStartHidden(ini, true));
  ASSERT_TRUE(WriteStateDescr(ini, '5', "gone"));

  TSettings back = LoadSettings(TIniFile(dir.File("chat.ini")), Env());
  EXPECT_TRUE(back.StartHidden);
  EXPECT_EQ(back.Language, "english.lng");  // only the file-name part is saved
  back.Language = s.Language;
  back.StartHidden = false;
  EXPECT_EQ(back.AutoStart, s.AutoStart);
  EXPECT_EQ(back.ShowBallonIfNotFocused, s.ShowBallonIfNotFocused);
  EXPECT_EQ(std::vector<int>({back.FormH, back.FormW, back.FormL, back.FormT}),
            std::vector<int>({s.FormH, s.FormW, s.FormL, s.FormT}));
  EXPECT_EQ(back.DesableMultiMessage, s.DesableMultiMessage);
  EXPECT_EQ(back.MyNiks, s.MyNiks);
  EXPECT_EQ(back.MyName, s.MyName);
  EXPECT_EQ(back.Chanels, s.Chanels);
  EXPECT_EQ(back.MultiLineH, s.MultiLineH);
  EXPECT_EQ(back.SingleLineH, s.SingleLineH);
  EXPECT_EQ(back.ChanelHotNik, s.ChanelHotNik);
  EXPECT_EQ(back.MessagesHotNik, s.MessagesHotNik);
  EXPECT_EQ(back.MyColor, s.MyColor);
  EXPECT_EQ(back.CustomColors, s.CustomColors);
  EXPECT_EQ(back.MyIP, s.MyIP);
  EXPECT_EQ(back.Broadcast, s.Broadcast);
  EXPECT_EQ(back.About, s.About);
  EXPECT_TRUE(back.AboutPresent);
  EXPECT_EQ(back.MyStateDescr, s.MyStateDescr);
  EXPECT_EQ(back.MyState, s.MyState);
  EXPECT_EQ(back.SmileTable, s.SmileTable);
  EXPECT_EQ(back.SoundTable, s.SoundTable);
  EXPECT_EQ(back.SoundSets, s.SoundSets);
  EXPECT_EQ(back.BellTable, s.BellTable);
  EXPECT_EQ(back.StateTable, s.StateTable);
  EXPECT_EQ(back.InputHistory, s.InputHistory);
  EXPECT_TRUE(back.Problems.empty());
  EXPECT_EQ(ReadStateDescr(ini, '5', "x"), "gone");
  for (const auto& t : ctx.Topics) {
    const TTopicRecord r = ReadTopic(ini, t.Channel, "Welcome", 0);
    EXPECT_EQ(r.Topic, t.Topic);
    EXPECT_EQ(r.TopicTime, t.TopicTime);
    EXPECT_EQ(r.SetterAddress, t.SetterAddress);
    EXPECT_EQ(r.SetterNick, t.SetterNick);
  }

  // The sound sets of the states are the sections a state switch reads.
  EXPECT_EQ(ReadTable(ini, SoundSectionOfState('5')), s.SoundSets[2]);
  EXPECT_FALSE(ini.SectionExists(SoundSectionOfState('1')));  // an empty set writes nothing
  EXPECT_EQ(SoundSectionOfState('2'), "");
  EXPECT_EQ(SoundSetOfState(back, '4'), &back.SoundSets[1]);
  EXPECT_EQ(SoundSetOfState(back, '3'), nullptr);
}

// Every row is listed once, and each save writes exactly the rows of its group: the window group
// alone leaves the full group's keys and sections out, the actions' keys belong to no save.
TEST(Settings, EachSaveWritesTheRowsOfItsGroup) {
  std::set<std::string> seen;
  for (const auto& d : SettingsTable()) {
    EXPECT_TRUE(seen.insert(Cp1251UpperCase(std::string(d.Section) + "/" + d.Key)).second) << d.Key;
  }
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  TSaveContext ctx;
  ctx.Topics = {{"Main", "t", 1, "", ""}};
  const auto written = [&](const SettingDef& d) {
    return *d.Key ? ini.ValueExists(d.Section, d.Key) : ini.SectionExists(d.Section);
  };
  ASSERT_TRUE(SaveSettings(ini, Changed(), ctx, false));
  for (const auto& d : SettingsTable()) {
    EXPECT_EQ(written(d), d.Group == SaveGroup::Window) << d.Section << "/" << d.Key;
  }
  TSettings all = Changed();
  all.SoundSets[0] = {{"mute", "0"}};
  ASSERT_TRUE(SaveSettings(ini, all, ctx, true));
  for (const auto& d : SettingsTable()) {
    EXPECT_EQ(written(d), d.Group != SaveGroup::Action) << d.Section << "/" << d.Key;
  }
}

// The bytes a save writes: the order of keys and sections, quoting, and what an existing file keeps
// (its line ends, comments, unknown keys, the case of its names).
TEST(Settings, SavesWriteTheFileByteForByte) {
  TempDir dir;
  TSettings s = DefaultSettings(Env());
  s.About = "x";
  s.AboutPresent = true;
  s.SoundTable = {{"mute", "0"}};
  s.SoundSets[1] = {{"mute", "1"}};
  s.BellTable = {{"7", "ding.wav"}};
  s.StateTable = {{"game.exe", "4"}, {"Descr_game.exe", " playing "}};
  s.SmileTable = {{":)", "0"}};
  s.InputHistory = {"hi\r\nthere", ""};
  s.Chanels = {"#", "Main", "My Channel"};
  TSaveContext ctx;
  ctx.CurrentState = '2';
  ctx.Topics = {{"Main", "t", 5, "1.1.1.1", "n"}};
  TIniFile fresh(dir.File("fresh.ini"));
  ASSERT_TRUE(SaveSettings(fresh, s, ctx, true));
  EXPECT_EQ(
      dir.Read("fresh.ini"),
      "[Main]\nBroadcast=255.255.255.255\nMyIP=\nChanels=#,Main,\"My Channel\"\nMultiLineH=50\n"
      "SingleLineH=25\nChanelHotNik=0\nMessagesHotNik=0\nFormH=0\nFormW=0\nFormL=233\nFormT=107\n"
      "MyState=1\nMyStateDescr=\" \"\nCustomColors=ColorA=FF0000,ColorB=00FF00,ColorC=0000FF\n"
      "Language=russian.lng\nMyName=vasya\nAbout=x\nMyNiks=vasya\nShowBallonIfNotFocused=1\n"
      "DesableMultiMessage=0\nKeepForAbsent=0\nAwayIdleMinutes=0\nMyColor=000000\nAutoStart=0\nKeepHistory="
      "1\nHistoryDays=0\nHistoryLines="
      "200\n\n[HISTORY]\nz0=hi/nthere\nz1=\n\n"
      "[smiles]\n:)=0\n\n[SOUNDS]\nmute=0\n\n[SOUNDS1]\nmute=1\n\n[BELLS]\n7=ding.wav\n\n"
      "[STATES]\ngame.exe=4\nDescr_game.exe=\" playing \"\n\n"
      "[Topics]\nMain=t\nMain_time=5\nMain_ip=1.1.1.1\nMain_uname=n\n");

  const std::string kept = "; comment\r\n[Topics]\r\nOld=1\r\n[main]\r\nformh = 300 \r\nunknown=1\r\n";
  dir.Write("old.ini", kept + "\r\n[sounds]\r\nMUTE=1\r\n[STATES]\r\nx.exe=5\r\n");
  TIniFile old(dir.File("old.ini"));
  TSettings loaded = LoadSettings(old, Env());
  loaded.StateTable.Clear();
  const std::string window =
      "formh=300\r\nunknown=1\r\nBroadcast=255.255.255.255\r\nMyIP=\r\nChanels=Main,Cs,Quake,StarCraft\r\n"
      "MultiLineH=50\r\nSingleLineH=25\r\nChanelHotNik=0\r\nMessagesHotNik=0\r\nFormW=0\r\nFormL=233\r\n"
      "FormT=107\r\nMyState=1\r\nMyStateDescr=\" "
      "\"\r\nCustomColors=ColorA=FF0000,ColorB=00FF00,ColorC=0000FF\r\n";
  ASSERT_TRUE(SaveSettings(old, loaded, TSaveContext{}, false));
  EXPECT_EQ(dir.Read("old.ini"), kept.substr(0, kept.find("formh")) + window +
                                     "\r\n[sounds]\r\nMUTE=1\r\n[STATES]\r\nx.exe=5\r\n");
  // An information text that was never stored nor taken over is not stored empty.
  ASSERT_TRUE(SaveSettings(old, loaded, TSaveContext{}, true));
  EXPECT_EQ(
      dir.Read("old.ini"),
      "; comment\r\n[main]\r\n" + window +
          "Language=russian.lng\r\nMyName=vasya\r\nMyNiks=vasya\r\n"
          "ShowBallonIfNotFocused=1\r\nDesableMultiMessage=0\r\nKeepForAbsent=0\r\nAwayIdleMinutes="
          "0\r\nMyColor=000000\r\n"
          "AutoStart=0\r\nKeepHistory=1\r\nHistoryDays=0\r\nHistoryLines=200\r\n\r\n[sounds]\r\nMUTE=1\r\n");
}

// One setting read and written as its stored text, as the settings dialog does by key.
TEST(Settings, SettingTextIsCheckedByTheKeysType) {
  struct Case {
    const char* key;
    std::string text;
    bool accepted;
    std::optional<std::string> after;  // GetSettingText afterwards
  };
  const std::vector<Case> cases = {
      {"FormH", "0x20", true, "32"},
      {"formh", "-12", true, "-12"},
      {"FormH", "12a", false, "0"},
      {"FormH", "4294967296", false, "0"},
      {"AutoStart", "1", true, "1"},
      {"AutoStart", "yes", false, "0"},
      {"MyColor", "0000ff", true, "0000FF"},
      {"MyColor", "00G0FF", false, "000000"},
      {"MyState", "4", true, "4"},
      {"MyState", "2", false, "1"},
      {"MyState", "", false, "1"},
      {"Chanels", "a, \"b c\"", true, "a,\"b c\""},
      {"MyName", " spaced ", true, " spaced "},
      {"MyName", "bob\r\nMyIP=1.2.3.4", false, "vasya"},
      {"MyName", std::string(TIniFile::kMaxValue + 1, 'x'), false, "vasya"},
      {"MyName", std::string(kMaxNickLength, 'x'), true, std::string(kMaxNickLength, 'x')},
      {"MyName", std::string(kMaxNickLength + 1, 'x'), false, "vasya"},  // cannot be sent
      {"About", "a/nb", true, "a/nb"},
      {"state4", "busy", false, std::nullopt},  // lives only in the file
      {"Smiles", "x", false, std::nullopt},
  };
  for (const auto& c : cases) {
    TSettings s = DefaultSettings(Env());
    EXPECT_EQ(SetSettingText(s, c.key, c.text), c.accepted) << c.key << "=" << c.text;
    EXPECT_EQ(GetSettingText(s, c.key), c.after) << c.key << "=" << c.text;
  }
  TSettings s = DefaultSettings(Env());
  ASSERT_TRUE(SetSettingText(s, "About", "two/nlines"));
  EXPECT_TRUE(s.AboutPresent);
  EXPECT_EQ(s.About, "two\r\nlines");
}

// A row bound to a member of another type, or to a member that does not exist, cannot compile.
static_assert(SettingAccess<SettingType::Int, decltype(&TSettings::FormH)>);
static_assert(!SettingAccess<SettingType::Int, decltype(&TSettings::MyName)>);
static_assert(!SettingAccess<SettingType::Bool, decltype(&TSettings::FormH)>);
static_assert(!SettingAccess<SettingType::Char, decltype(&TSettings::MyStateDescr)>);
static_assert(!SettingAccess<SettingType::Table, decltype(&TSettings::InputHistory)>);
static_assert(!SettingAccess<SettingType::Int, decltype(&TTopicRecord::TopicTime)>);

TEST(Settings, ListsQuoteItemsWithBlanksCommasAndQuotes) {
  EXPECT_EQ(EncodeList({"#", "Main", "My Channel", "a,b", "q\"uote", ""}),
            "#,Main,\"My Channel\",\"a,b\",\"q\"\"uote\",\"\"");
  EXPECT_EQ(DecodeList("a b, c ,  \"x y\" ,,d,"),
            (std::vector<std::string>{"a", "b", "c", "x y", "", "d", ""}));
  EXPECT_TRUE(DecodeList("").empty());
  // A line break inside an item cannot reach the file.
  EXPECT_EQ(EncodeList({"evil\r\n[Main]"}), "\"evil  [Main]\"");

  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  TSettings s = DefaultSettings(Env());
  s.Chanels = {"#", "Main", "Chan One"};
  ASSERT_TRUE(SaveSettings(ini, s, TSaveContext{}, false));
  EXPECT_EQ(ini.ReadString("Main", "Chanels", ""), "#,Main,\"Chan One\"");
}

TEST(Settings, ConsoleTabIsAddedOnce) {
  EXPECT_EQ(ChannelTabs({"Main", "Cs"}), (std::vector<std::string>{"#", "Main", "Cs"}));
  EXPECT_EQ(ChannelTabs({"#", "Main", "Cs"}), (std::vector<std::string>{"#", "Main", "Cs"}));
  EXPECT_TRUE(ChannelTabs({}).empty());

  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  TSettings s = LoadSettings(ini, Env());
  s.Chanels = ChannelTabs(s.Chanels);
  ASSERT_TRUE(SaveSettings(ini, s, TSaveContext{}, false));
  EXPECT_EQ(ini.ReadString("Main", "Chanels", ""), "#,Main,Cs,Quake,StarCraft");
  EXPECT_EQ(ChannelTabs(LoadSettings(ini, Env()).Chanels),
            (std::vector<std::string>{"#", "Main", "Cs", "Quake", "StarCraft"}));
}

TEST(Settings, HistoryLoadsEveryEntryAndIsRewrittenWhole) {
  TempDir dir;
  std::string file = "[HISTORY]\n";
  for (int i = 14; i >= 0; --i) {
    if (i != 7) file += "z" + std::to_string(i) + "=line " + std::to_string(i) + "/nsecond\n";
  }
  file += "extra=counts as an entry\n";
  dir.Write("chat.ini", file);
  TIniFile ini(dir.File("chat.ini"));
  TSettings s = LoadSettings(ini, Env());
  ASSERT_EQ(s.InputHistory.size(), 15u);
  EXPECT_EQ(s.InputHistory[0], "line 0\r\nsecond");
  EXPECT_EQ(s.InputHistory[7], "");  // z7 is missing
  EXPECT_EQ(s.InputHistory[14], "line 14\r\nsecond");

  s.InputHistory.resize(10);
  ASSERT_TRUE(SaveSettings(ini, s, TSaveContext{}, false));
  EXPECT_EQ(ini.ReadSection("HISTORY"),
            (std::vector<std::string>{"z0", "z1", "z2", "z3", "z4", "z5", "z6", "z7", "z8", "z9"}));
  EXPECT_EQ(LoadSettings(ini, Env()).InputHistory, s.InputHistory);
}

// Settings of one generation g: every saved part says g, so that a file mixing two saves shows.
TSettings Generation(int g, std::size_t historyLines) {
  TSettings s = DefaultSettings(Env());
  const std::string tag = "g" + std::to_string(g);
  s.FormH = g;
  s.MyName = tag;
  for (std::size_t i = 0; i < historyLines; ++i) s.InputHistory.push_back(tag + " line " + std::to_string(i));
  for (int i = 0; i < 50; ++i) s.SmileTable.Add(":" + std::to_string(i), tag);
  return s;
}

TSaveContext GenerationContext(int g) {
  TSaveContext c;
  for (int i = 0; i < 20; ++i)
    c.Topics.push_back({"ch" + std::to_string(i), "g" + std::to_string(g), 1, "", ""});
  return c;
}

// Whether the file holds exactly one generation's save, whole.
bool WholeGeneration(const TIniFile& ini, std::size_t historyLines) {
  const TSettings s = LoadSettings(ini, Env());
  const TSettings want = Generation(s.FormH, historyLines);
  if (s.MyName != want.MyName || s.InputHistory != want.InputHistory || s.SmileTable != want.SmileTable)
    return false;
  for (int i = 0; i < 20; ++i) {
    if (ini.ReadString("Topics", "ch" + std::to_string(i), "") != want.MyName) return false;
  }
  return true;
}

TEST(Settings, ASaveReplacesTheFileOnceWhateverItsLength) {
  for (const std::size_t lines : {2000u, 20000u}) {
    TempDir dir;
    TIniFile ini(dir.File("chat.ini"));
    ASSERT_TRUE(SaveSettings(ini, Generation(1, lines), GenerationContext(1), true));
    ASSERT_TRUE(SaveSettings(ini, Generation(2, lines), GenerationContext(2), true));
    // One replacement per save, each writing the file's size: the cost is linear in the file.
    EXPECT_EQ(ini.ReplaceCount(), 2u) << lines;
    EXPECT_LE(ini.BytesWritten(), 2 * dir.Read("chat.ini").size() + 64) << lines;
    EXPECT_TRUE(WholeGeneration(TIniFile(dir.File("chat.ini")), lines)) << lines;
  }
}

// A child saves new generations in a loop and is killed at a random moment, many times over: the
// file is always one whole save, and the temporary file a kill leaves goes at the next load.
TEST(Settings, AKilledSaveLeavesTheOldFileOrTheNewOne) {
  constexpr std::size_t kLines = 1000;
  constexpr int kRounds = 150;
  TempDir dir;
  const std::string path = dir.File("chat.ini");
  // Kills are spread over about three saves, however fast this machine saves.
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) {
    TIniFile ini(path);
    ASSERT_TRUE(SaveSettings(ini, Generation(0, kLines), GenerationContext(0), true));
  }
  const auto saveUs =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started)
              .count() /
          3 +
      1;
  const auto temporaries = [&dir] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
      n += e.path().filename().string().rfind("chat.ini.tmp-", 0) == 0;
    return n;
  };
  std::mt19937 random(9);
  int torn = 0, interrupted = 0, lastGeneration = 0, advanced = 0;
  for (int round = 0; round < kRounds; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TIniFile ini(path);
      int g = LoadSettings(ini, Env()).FormH + 1;
      [[maybe_unused]] const auto n = ::write(ready[1], "r", 1);
      for (;; ++g) SaveSettings(ini, Generation(g, kLines), GenerationContext(g), true);
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ::usleep(static_cast<useconds_t>(random() % (3 * saveUs)));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    interrupted += temporaries() > 0;
    TIniFile ini(path);
    if (!WholeGeneration(ini, kLines)) ++torn;
    EXPECT_EQ(temporaries(), 0) << "round " << round;
    const int g = ini.ReadInteger("Main", "FormH", -1);
    advanced += g != lastGeneration;
    lastGeneration = g;
  }
  EXPECT_EQ(torn, 0);
  // The kills did land inside saves, and saves did complete between them.
  EXPECT_GT(interrupted, 0);
  EXPECT_GT(advanced, 0);
  RecordProperty("interrupted", interrupted);
  RecordProperty("advanced", advanced);
}

TEST(Settings, AutomaticStatesAreNeverSaved) {
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  TSettings s = DefaultSettings(Env());
  const auto saved = [&](char savedState, char current) {
    s.MyState = savedState;
    TSaveContext ctx;
    ctx.CurrentState = current;
    EXPECT_TRUE(SaveSettings(ini, s, ctx, false));
    return ini.ReadString("Main", "MyState", "");
  };
  EXPECT_EQ(saved('1', '2'), "1");
  EXPECT_EQ(saved('4', '2'), "1");
  EXPECT_EQ(saved('4', '4'), "4");
  EXPECT_EQ(saved('5', '3'), "5");
  EXPECT_EQ(saved('2', '1'), "1");
  EXPECT_EQ(saved('3', '3'), "1");

  for (const char* stored : {"", "2", "3", "x"}) {
    ASSERT_TRUE(ini.WriteString("Main", "MyState", stored));
    EXPECT_EQ(LoadSettings(ini, Env()).MyState, '1') << stored;
  }
}

TEST(Settings, NetworkTextsCannotInjectIntoTheFile) {
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  TSettings s = DefaultSettings(Env());
  s.MyName = "bob\r\nMyIP=6.6.6.6";
  s.MyNiks = {"x\r\n[STATES]\r\nevil.exe=5"};
  s.MyStateDescr = "busy\n[Topics]\nMain=owned";
  s.About = "hi\r\nthere\n[BELLS]\r0=evil.wav\x01";
  s.InputHistory = {"typed\r\n[smiles]\r\n:)=99"};
  TSaveContext ctx;
  ctx.Topics = {{"Main", "x\r\n[Main]\r\nMyName=evil", 1, "1.2.3.4\n[Main]", "nick\r\nMyColor=FF0000"},
                {"a=b", "hidden", 1, "", ""},
                {"[Main]", "hidden", 1, "", ""}};
  EXPECT_FALSE(SaveSettings(ini, s, ctx, true));  // the two unusable channel names are reported

  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "HISTORY", "Topics"}));
  EXPECT_EQ(ini.ReadSection("Topics"),
            (std::vector<std::string>{"Main", "Main_time", "Main_ip", "Main_uname"}));
  EXPECT_EQ(ini.ReadString("Main", "MyIP", "none"), "");
  EXPECT_EQ(ini.ReadString("Main", "MyColor", ""), "000000");

  const TSettings back = LoadSettings(ini, Env());
  EXPECT_EQ(back.MyName, "bob  MyIP=6.6.6.6");
  EXPECT_EQ(back.MyNiks, std::vector<std::string>{"x  [STATES]  evil.exe=5"});
  EXPECT_EQ(back.MyStateDescr, "busy [Topics] Main=owned");
  EXPECT_EQ(back.About, "hi\r\nthere\r\n[BELLS]\r\n0=evil.wav ");
  EXPECT_EQ(back.InputHistory, std::vector<std::string>{"typed\r\n[smiles]\r\n:)=99"});
  EXPECT_TRUE(back.StateTable.Empty() && back.BellTable.Empty() && back.SmileTable.Empty());
  const TTopicRecord t = ReadTopic(ini, "Main", "Welcome", 0);
  EXPECT_EQ(t.Topic, "x  [Main]  MyName=evil");
  EXPECT_EQ(t.SetterAddress, "1.2.3.4 [Main]");
  EXPECT_EQ(t.SetterNick, "nick  MyColor=FF0000");
}

TEST(Settings, MyColourIsBlueFirstHexAndAnInvalidValueIsReported) {
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  for (const char* red : {"0000FF", "0000ff"}) {
    ASSERT_TRUE(ini.WriteString("Main", "MyColor", red));
    const TSettings s = LoadSettings(ini, Env());
    EXPECT_EQ(s.MyColor, 0x0000FFu);
    EXPECT_TRUE(s.Problems.empty());
  }
  ASSERT_TRUE(ini.WriteString("Main", "MyColor", "00G0FF"));
  const TSettings bad = LoadSettings(ini, Env());
  EXPECT_EQ(bad.MyColor, 0u);
  ASSERT_EQ(bad.Problems.size(), 1u);
  EXPECT_EQ(bad.Problems[0].Key, "MyColor");
  EXPECT_EQ(bad.Problems[0].Text, "BadColour");
  EXPECT_EQ(bad.Problems[0].Args, std::vector<std::string>{"G"});
  EXPECT_EQ(ColourToIni(0xABCDEF), "ABCDEF");
  EXPECT_EQ(ColourToIni(0x12), "000012");
}

TEST(Settings, FullGroupWritesTablesOverTheirSections) {
  TempDir dir;
  TIniFile ini(dir.File("chat.ini"));
  TSettings s = Changed();
  TSaveContext ctx;
  ctx.Topics = {{"Old", "t", 1, "", ""}};
  ASSERT_TRUE(SaveSettings(ini, s, ctx, true));

  // A removed bell stays in the file; an emptied program table removes [STATES]; [Topics] is rebuilt.
  s.BellTable.Remove("99999");
  s.StateTable.Clear();
  ctx.Topics = {{"New", "t", 1, "", ""}};
  ASSERT_TRUE(SaveSettings(ini, s, ctx, true));
  const TSettings back = LoadSettings(ini, Env());
  EXPECT_EQ(back.BellTable.Value("99999"), "/usr/share/x.wav");
  EXPECT_FALSE(ini.SectionExists("STATES"));
  EXPECT_FALSE(ini.ValueExists("Topics", "Old"));
  EXPECT_TRUE(ini.ValueExists("Topics", "New"));
}

TEST(Settings, ADuplicateNameInATableKeepsTheFileStable) {
  TempDir dir;
  dir.Write("chat.ini", "[BELLS]\n1=first.wav\n2=x.wav\n1=second.wav\n");
  TIniFile ini(dir.File("chat.ini"));
  const TSettings s = LoadSettings(ini, Env());
  EXPECT_EQ(s.BellTable, (TNameValueList{{"1", "first.wav"}, {"2", "x.wav"}, {"1", "first.wav"}}));
  ASSERT_TRUE(SaveSettings(ini, s, TSaveContext{}, true));
  EXPECT_EQ(LoadSettings(ini, Env()).BellTable, s.BellTable);
}

TEST(Settings, NameValueListLooksUpTheFirstNameWithoutCase) {
  TNameValueList t = {{"Mute", "1"}, {"mute", "0"}};
  EXPECT_EQ(t.Value("MUTE"), "1");
  t.SetValue("mUte", "2");
  EXPECT_EQ(t.Entries()[0].second, "2");
  EXPECT_TRUE(t.Remove("mute"));
  EXPECT_EQ(t.Value("mute"), "0");
  EXPECT_EQ(t.IndexOfName("nothing"), -1);
}

}  // namespace
}  // namespace plumo
