// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history_store.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "../lang/tempdir.h"

namespace plumo {
namespace {

using testing::TempDir;

const TConversationKey kGeneral{ConversationKind::Channel, "#\xCE\xE1\xF9\xE8\xE9"};  // "#Общий"
const TConversationKey kConsole{ConversationKind::Channel, "#"};
const TConversationKey kPeer{ConversationKind::Peer, "10.0.0.7"};
const TConversationKey kEverybody{ConversationKind::Everybody, "@"};

THistoryLine Line(const TConversationKey& conversation, const std::string& markup,
                  std::int64_t timeMs = 1000) {
  THistoryLine line;
  line.TimeMs = timeMs;
  line.Conversation = conversation;
  line.SenderAddress = "10.0.0.2";
  line.SenderNick = "vasya";
  line.Markup = markup;
  return line;
}

std::vector<std::int64_t> Ids(const std::vector<THistoryLine>& lines) {
  std::vector<std::int64_t> ids;
  for (const auto& l : lines) ids.push_back(l.Id);
  return ids;
}

std::vector<std::int64_t> Ids(const std::vector<THistoryHit>& hits) {
  std::vector<std::int64_t> ids;
  for (const auto& h : hits) ids.push_back(h.Line.Id);
  return ids;
}

// What an outside reader of the file sees: integrity_check, the full-text index's own check and the
// number of lines.
struct TFileCheck {
  std::string Integrity;
  int FtsCheck = -1;
  std::int64_t Lines = -1;
  std::int64_t Tables = 0;
};

TFileCheck CheckFile(const std::string& path) {
  TFileCheck out;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* p, int, char** v, char**) {
          static_cast<TFileCheck*>(p)->Integrity += v[0] ? v[0] : "";
          return 0;
        },
        &out, nullptr);
    sqlite3_exec(
        db, "SELECT count(*) FROM sqlite_master",
        [](void* p, int, char** v, char**) {
          static_cast<TFileCheck*>(p)->Tables = std::stoll(v[0]);
          return 0;
        },
        &out, nullptr);
    out.FtsCheck = sqlite3_exec(db, "INSERT INTO lines_fts(lines_fts) VALUES('integrity-check')", nullptr,
                                nullptr, nullptr);
    sqlite3_exec(
        db, "SELECT count(*) FROM lines",
        [](void* p, int, char** v, char**) {
          static_cast<TFileCheck*>(p)->Lines = std::stoll(v[0]);
          return 0;
        },
        &out, nullptr);
  }
  sqlite3_close(db);
  return out;
}

TEST(HistoryStoreTest, RoundTripKeepsEveryFieldAcrossReopen) {
  TempDir dir;
  const std::string path = dir.File("history.db");
  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);

  std::vector<THistoryLine> lines;
  auto add = [&](THistoryLine l, HistoryKind kind, bool outgoing = false, std::string peerNick = "") {
    l.Kind = kind;
    l.Outgoing = outgoing;
    l.PeerNick = std::move(peerNick);
    lines.push_back(std::move(l));
  };
  add(Line(kGeneral, "#^0000FF\xEF\xF0\xE8\xE2\xE5\xF2 :#\xCF\xE5\xF2\xFF^#K", 1001),
      HistoryKind::ChannelLine);
  add(Line(kGeneral, "new topic", 1002), HistoryKind::Topic);
  add(Line(kPeer, "psst", 1003), HistoryKind::Private, false, "\xCF\xE5\xF2\xFF");
  add(Line(kPeer, "#^ff00aa" + everyByte, 1004), HistoryKind::Private, true, "petya2");
  add(Line(kEverybody, "to all", 1005), HistoryKind::Mass, true);
  add(Line(kConsole, "vasya joined", 1006), HistoryKind::Notice);
  lines[5].SenderAddress.clear();
  lines[5].SenderNick.clear();

  {
    auto store = THistoryStore::Open(path);
    ASSERT_TRUE(store->Enabled());
    for (const auto& l : lines) store->Append(l);
    store->Flush();
    EXPECT_TRUE(store->TakeNotices().empty());
  }
  auto store = THistoryStore::Open(path);
  std::vector<THistoryLine> stored;
  for (const auto& key : {kGeneral, kPeer, kEverybody, kConsole}) {
    for (auto& l : store->Last(key, 10)) stored.push_back(std::move(l));
  }
  ASSERT_EQ(stored.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    THistoryLine expected = lines[i];
    expected.Id = static_cast<std::int64_t>(i) + 1;
    expected.Plain = MarkupToPlain(expected.Markup);
    EXPECT_EQ(stored[i], expected) << i;
  }
  EXPECT_EQ(stored[0].Plain, "\xEF\xF0\xE8\xE2\xE5\xF2 \xCF\xE5\xF2\xFF");

  const auto conversations = store->Conversations();
  ASSERT_EQ(conversations.size(), 4u);
  EXPECT_EQ(conversations[0].Key, kConsole);  // newest first
  EXPECT_EQ(conversations[2].Key, kPeer);
  EXPECT_EQ(conversations[2].Lines, 2);
  EXPECT_EQ(conversations[2].LastPeerNick, "petya2");
  EXPECT_EQ(conversations[2].LastTimeMs, 1004);

  // Paging a long conversation with another one interleaved; ids go on ascending after the reopen.
  for (int i = 0; i < 300; ++i) {
    store->Append(Line(kGeneral, "line " + std::to_string(i)));
    store->Append(Line(kConsole, "noise"));
  }
  store->Flush();
  const auto last = store->Last(kGeneral, 100);
  ASSERT_EQ(last.size(), 100u);
  EXPECT_EQ(last.back().Markup, "line 299");
  EXPECT_GT(last.front().Id, 6);
  const auto before = store->Last(kGeneral, 150, last.front().Id);
  ASSERT_EQ(before.size(), 150u);
  EXPECT_EQ(before.front().Markup, "line 50");
  EXPECT_EQ(before.back().Markup, "line 199");
  EXPECT_EQ(store->Last(kGeneral, 100, before.front().Id).size(), 52u);  // 50 lines + 2 from the start
  const auto from = store->From(kGeneral, before.front().Id, 3);
  ASSERT_EQ(from.size(), 3u);
  EXPECT_EQ(Ids(from), (std::vector<std::int64_t>{before[0].Id, before[1].Id, before[2].Id}));
  EXPECT_TRUE(store->Last({ConversationKind::Channel, "#unknown"}, 10).empty());
}

TEST(HistoryStoreTest, DeletionsKeepTheIndexConsistent) {
  TempDir dir;
  const std::string path = dir.File("history.db");
  auto store = THistoryStore::Open(path);
  for (int i = 0; i < 30; ++i) {
    store->Append(Line(kGeneral, "apple " + std::to_string(i), 1000 + i));
    store->Append(Line(kPeer, "apple peer", 1000 + i));
    store->Append(Line(kConsole, "apple console", 2000 + i));
  }

  // The expiry in the background commits the queue too; closing the store waits for it.
  store->ExpireOlderThan(1005);
  store.reset();
  store = THistoryStore::Open(path);
  EXPECT_EQ(store->Search("apple", 1000).size(), 80u);
  EXPECT_EQ(store->DeleteOlderThan(1010), 10);  // flushes the queue first
  EXPECT_EQ(store->Search("apple", 1000).size(), 70u);
  EXPECT_EQ(store->Last(kGeneral, 100).front().Markup, "apple 10");
  EXPECT_EQ(store->Conversations()[1].Lines, 20);

  EXPECT_EQ(store->DeleteConversation(kPeer), 20);
  EXPECT_EQ(store->DeleteConversation(kPeer), 0);
  EXPECT_TRUE(store->Search("peer", 10).empty());
  EXPECT_TRUE(store->Last(kPeer, 10).empty());
  EXPECT_EQ(store->Conversations().size(), 2u);

  EXPECT_EQ(store->DeleteOlderThan(5000), 50);  // every line is older: the conversations go too
  EXPECT_TRUE(store->Conversations().empty());

  store->Append(Line(kGeneral, "banana", 9000));
  store->Append(Line(kConsole, "banana", 9000));
  EXPECT_EQ(store->DeleteAll(), 2);
  EXPECT_TRUE(store->Search("banana", 10).empty());
  store->Append(Line(kGeneral, "cherry", 9001));
  store->Flush();
  const auto after = store->Last(kGeneral, 10);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_GT(after[0].Id, 92);  // ids are never reused
  EXPECT_TRUE(store->TakeNotices().empty());
  store.reset();  // the VACUUM after DeleteAll runs on the writer, which closing waits for

  const TFileCheck check = CheckFile(path);
  EXPECT_EQ(check.Integrity, "ok");
  EXPECT_EQ(check.FtsCheck, SQLITE_OK);
  EXPECT_EQ(check.Lines, 1);
}

TEST(HistoryStoreTest, SearchTakesTheUsersWordsLiterally) {
  TempDir dir;
  auto store = THistoryStore::Open(dir.File("history.db"));
  const TConversationKey other{ConversationKind::Channel, "#other"};
  const std::pair<TConversationKey, std::string> texts[] = {
      {kGeneral, "hello world"},                                // 1
      {kGeneral, "#^FF0000Hello, (world) AND stuff"},           // 2
      {kGeneral, "\xCF\xD0\xC8\xC2\xC5\xD2 \xE2\xF1\xE5\xEC"},  // 3 "ПРИВЕТ всем"
      {kGeneral, "\xEF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0"},     // 4 "привет, мир"
      {kGeneral, "foo-bar baz"},                                // 5
      {kGeneral, "say \"quoted\" NEAR here"},                   // 6
      {other, "helium balloon"},                                // 7
      {other, "world hello a\x01z"},                            // 8
  };
  for (const auto& [key, text] : texts) store->Append(Line(key, text));
  store->Flush();

  using Ids_ = std::vector<std::int64_t>;
  const struct {
    std::string query;
    Ids_ ids;
  } cases[] = {
      {"hello", {8, 2, 1}},
      {"HELLO world", {8, 2, 1}},
      {"\"hello world\"", {2, 1}},
      {"\"hello world\"*", {2, 1}},
      {"hel*", {8, 7, 2, 1}},
      {"\xEF\xF0\xE8\xE2\xE5\xF2", {4, 3}},  // "привет" finds "ПРИВЕТ"
      {"\xCF\xD0\xC8\xC2\xC5\xD2", {4, 3}},
      {"\xEF\xF0\xE8*", {4, 3}},
      {"AND", {2}},
      {"NEAR", {6}},
      {"OR", {}},
      {"NOT hello", {}},
      {"hello NOT", {}},
      {"(world)", {8, 2, 1}},
      {"world)", {8, 2, 1}},
      {"foo-bar", {5}},
      {"-bar", {5}},
      {"bar-foo", {}},
      {"^hello", {8, 2, 1}},
      {"plain:hello", {}},
      {"hello:", {8, 2, 1}},
      {"quoted\"", {6}},
      {"world \"hello", {8, 2, 1}},
      {"+stuff", {2}},
      {"FF0000", {}},  // markup is not searched
      {"*", {}},
      {"\"", {}},
      {"", {}},
      {"  \t ", {}},
      {"NEAR(hello world)", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Ids(store->Search(c.query, 50)), c.ids) << c.query;

  EXPECT_EQ(Ids(store->Search("hello", 1)), (Ids_{8}));
  EXPECT_EQ(Ids(store->Search("hello", 50, 8)), (Ids_{2, 1}));
  EXPECT_EQ(Ids(store->Search("hel*", 50, INT64_MAX, &other)), (Ids_{8, 7}));
  EXPECT_EQ(Ids(store->Search("hel*", 50, 8, &other)), (Ids_{7}));
  EXPECT_TRUE(store->Search("balloon", 50, INT64_MAX, &kGeneral).empty());
  const TConversationKey unknown{ConversationKind::Peer, "10.9.9.9"};
  EXPECT_TRUE(store->Search("hello", 50, INT64_MAX, &unknown).empty());

  const auto marked = store->Search("\xEF\xF0\xE8\xE2\xE5\xF2 hello", 50);
  EXPECT_TRUE(marked.empty());
  const auto cyrillic = store->Search("\xEF\xF0\xE8\xE2\xE5\xF2", 1);
  ASSERT_EQ(cyrillic.size(), 1u);
  EXPECT_EQ(cyrillic[0].Marked, "\x01\xEF\xF0\xE8\xE2\xE5\xF2\x02, \xEC\xE8\xF0");
  EXPECT_EQ(cyrillic[0].Line.Conversation, kGeneral);
  // A control character in the text cannot pass for a match marker.
  const auto hits = store->Search("hello a", 1);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].Marked,
            "world \x01hello\x02 \x01"
            "a\x02z");
  EXPECT_EQ(store->Search("Hello", 1, 3)[0].Marked, "\x01Hello\x02, (world) AND stuff");
}

TEST(HistoryStoreTest, FailuresTurnTheStoreOffOrStartAfresh) {
  TempDir dir;
  const std::string path = dir.File("history.db");
  auto fill = [&](int lines, THistoryOptions options = {}) {
    auto store = THistoryStore::Open(path, options);
    for (int i = 0; i < lines; ++i) {
      store->Append(Line(kGeneral, "a line of some length to fill the pages " + std::to_string(i)));
    }
    store->Flush();
    return store;
  };

  // Files that are not a usable database are set aside and a new one started.
  const struct {
    const char* name;
    std::function<void()> damage;
  } damaged[] = {
      {"garbage", [&] { dir.Write("history.db", std::string(5000, 'x')); }},
      {"short garbage", [&] { dir.Write("history.db", "abc"); }},
      {"truncated",
       [&] {
         fill(3000);
         std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
       }},
      {"another program's database",
       [&] {
         sqlite3* db = nullptr;
         sqlite3_open(path.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE t(x); PRAGMA user_version = 7;", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       }},
  };
  for (const auto& d : damaged) {
    std::filesystem::remove(path);
    d.damage();
    const auto before = std::filesystem::file_size(path);
    auto store = THistoryStore::Open(path);
    const auto notices = store->TakeNotices();
    ASSERT_EQ(notices.size(), 1u) << d.name;
    EXPECT_EQ(notices[0].Kind, THistoryNotice::SetAside) << d.name;
    EXPECT_EQ(notices[0].Detail.rfind(path + ".damaged-", 0), 0u) << d.name;
    EXPECT_EQ(std::filesystem::file_size(notices[0].Detail), before) << d.name;
    ASSERT_TRUE(store->Enabled()) << d.name;
    store->Append(Line(kGeneral, "fresh"));
    store->Flush();
    EXPECT_EQ(store->Last(kGeneral, 10).size(), 1u) << d.name;
    EXPECT_TRUE(store->TakeNotices().empty());
  }

  // A full disk: one notice, the store off, what was committed still readable.
  std::filesystem::remove(path);
  {
    THistoryOptions small;
    small.MaxPageCount = 40;
    small.FlushIntervalMs = 5;
    auto store = THistoryStore::Open(path, small);
    ASSERT_TRUE(store->Enabled());
    store->Append(Line(kGeneral, "first"));
    store->Flush();
    for (int round = 0; round < 20; ++round) {
      for (int i = 0; i < 500; ++i)
        store->Append(Line(kGeneral, "filling up the disk line " + std::to_string(i)));
      store->Flush();
    }
    EXPECT_FALSE(store->Enabled());
    const auto notices = store->TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, THistoryNotice::WriteFailed);
    EXPECT_FALSE(notices[0].Detail.empty());
    store->Append(Line(kGeneral, "dropped"));
    store->Flush();
    EXPECT_TRUE(store->TakeNotices().empty());
    const auto committed = store->Last(kGeneral, 100000);
    ASSERT_FALSE(committed.empty());
    EXPECT_EQ(committed.front().Markup, "first");
    EXPECT_EQ(store->DeleteAll(), 0);
  }
  EXPECT_EQ(CheckFile(path).Integrity, "ok");

  // No database can be created at all (a regular file where the directory should be: this holds
  // even for root, which ignores permissions).
  dir.Write("file", "x");
  auto off = THistoryStore::Open(dir.File("file/history.db"));
  EXPECT_FALSE(off->Enabled());
  const auto notices = off->TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].Kind, THistoryNotice::OpenFailed);
  off->Append(Line(kGeneral, "nowhere"));
  off->Flush();
  EXPECT_TRUE(off->Last(kGeneral, 10).empty());
  EXPECT_TRUE(off->Search("nowhere", 10).empty());
  EXPECT_EQ(off->DeleteConversation(kGeneral), 0);
}

// The writer, a running expiry and readers at once. The expiry reports each batch through
// ExpireProgress and is held there until the test lets it go on, so every step is decided by the
// test, not by timing: the expiry runs in batches off the caller's thread, a second expiry while one
// runs returns at once, a reader is served between two batches, and a flood meanwhile keeps the
// newest lines of a bounded queue and says so once.
TEST(HistoryStoreTest, AnExpiryRunsInBatchesBesideTheWriterAndReaders) {
  TempDir dir;
  const std::string path = dir.File("history.db");
  constexpr int kOld = 1000, kBatch = 100, kBound = 10;
  {
    auto store = THistoryStore::Open(path);
    for (int i = 0; i < kOld; ++i) store->Append(Line(kGeneral, "old " + std::to_string(i), 1000));
    store->Flush();
  }

  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::pair<std::int64_t, bool>> progress;  // (removed, finished) of each batch
  int permits = 0;                                      // batches the expiry may pass; -1: all
  bool stuck = false, otherThread = true;
  const auto caller = std::this_thread::get_id();
  THistoryOptions options;
  options.FlushIntervalMs = 60000;  // only a flush, a full batch or the expiry commits
  options.ExpireBatchIds = kBatch;
  options.MaxQueuedLines = kBound;
  options.ExpireProgress = [&](std::int64_t removed, bool finished) {
    std::unique_lock lock(mutex);
    progress.emplace_back(removed, finished);
    otherThread = otherThread && std::this_thread::get_id() != caller;
    cv.notify_all();
    // A guard, not a timing: a store that joined or locked out the caller would hang here forever.
    if (!stuck && !cv.wait_for(lock, std::chrono::seconds(30), [&] { return permits != 0; })) stuck = true;
    if (permits > 0) --permits;
  };
  auto store = THistoryStore::Open(path, options);
  auto batches = [&] {
    std::lock_guard lock(mutex);
    return progress.size();
  };
  auto let = [&](int n) {
    std::lock_guard lock(mutex);
    permits = n;
    cv.notify_all();
  };

  store->ExpireOlderThan(5000);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return !progress.empty(); }));
    EXPECT_EQ(progress[0], std::make_pair(std::int64_t{kBatch}, false));  // one batch, not everything
  }
  // The expiry is held after its first batch. Another one replaces it without waiting for it.
  store->ExpireOlderThan(5000);
  // A flood meanwhile: the queue keeps its newest kBound lines and says so once.
  for (int i = 0; i < 25; ++i) store->Append(Line(kPeer, "flood " + std::to_string(i), 9000));
  const auto notices = store->TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].Kind, THistoryNotice::QueueFull);
  EXPECT_EQ(notices[0].Detail, std::to_string(kBound));

  // One more batch may pass: the reader gets the queued lines before the expiry is over.
  let(1);
  const auto read = store->Last(kPeer, 100);
  ASSERT_EQ(read.size(), static_cast<std::size_t>(kBound));
  EXPECT_EQ(read.front().Markup, "flood 15");
  EXPECT_EQ(read.back().Markup, "flood 24");
  EXPECT_LE(batches(), 2u);
  const auto during = store->Conversations();
  ASSERT_EQ(during.size(), 2u);
  EXPECT_GE(during[1].Lines, kOld - 2 * kBatch);
  EXPECT_EQ(store->Search("flood", 100, INT64_MAX, &kPeer).size(), static_cast<std::size_t>(kBound));

  for (int i = 0; i < 25; ++i) store->Append(Line(kPeer, "again " + std::to_string(i), 9000));
  EXPECT_TRUE(store->TakeNotices().empty());  // said once
  let(-1);
  store->WaitForExpiry();
  EXPECT_EQ(store->Last(kPeer, 1).at(0).Markup, "again 24");
  const auto after = store->Conversations();
  ASSERT_EQ(after.size(), 1u);  // the old conversation is gone with its last line
  EXPECT_EQ(after[0].Key, kPeer);
  EXPECT_TRUE(store->Search("old", 10).empty());
  {
    std::lock_guard lock(mutex);
    EXPECT_FALSE(stuck);
    EXPECT_TRUE(otherThread);
    ASSERT_GE(progress.size(), static_cast<std::size_t>(kOld / kBatch));
    EXPECT_TRUE(progress.back().second);
    // The replacing expiry removed what the first batch had left.
    EXPECT_EQ(progress.back().first, kOld - kBatch);
  }
  store.reset();
  const TFileCheck check = CheckFile(path);
  EXPECT_EQ(check.Integrity, "ok");
  EXPECT_EQ(check.FtsCheck, SQLITE_OK);
}

// kill -9 during a flood, many times over: the file stays sound and keeps every line the child had
// seen committed.
TEST(HistoryStoreTest, KillDuringFloodLosesOnlyTheUnfinishedBatch) {
  TempDir dir;
  const std::string path = dir.File("history.db");
  std::mt19937 random(12345);
  std::int64_t previous = 0;
  for (int round = 0; round < 20; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      THistoryOptions options;
      options.FlushIntervalMs = 10;
      auto store = THistoryStore::Open(path, options);
      std::int64_t committed = 0;
      for (const auto& c : store->Conversations()) committed += c.Lines;
      for (int n = 0;; ++n) {
        for (int i = 0; i < 100; ++i) {
          store->Append(
              Line(n % 2 ? kGeneral : kPeer, "flood line " + std::to_string(n * 100 + i) + " \xEF\xF0\xE8"));
        }
        store->Flush();
        committed += 100;
        if (::write(fds[1], &committed, sizeof committed) != sizeof committed) ::_exit(1);
      }
    }
    ::close(fds[1]);
    std::this_thread::sleep_for(
        std::chrono::milliseconds(round < 3 ? round : 5 + static_cast<int>(random() % 150)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::int64_t reported = 0, value = 0;
    while (::read(fds[0], &value, sizeof value) == sizeof value) reported = value;
    ::close(fds[0]);

    if (!std::filesystem::exists(path)) continue;  // killed before the file was made
    const TFileCheck check = CheckFile(path);
    ASSERT_EQ(check.Integrity, "ok") << round;
    if (check.Tables == 0 && reported == 0) continue;  // killed before the tables were made
    ASSERT_EQ(check.FtsCheck, SQLITE_OK) << round;
    ASSERT_GE(check.Lines, reported) << round;
    ASSERT_GE(check.Lines, previous) << round;
    previous = check.Lines;
  }
  EXPECT_GT(previous, 0);
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().find(".damaged-"), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace plumo
