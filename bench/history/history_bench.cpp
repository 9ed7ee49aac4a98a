// SPDX-License-Identifier: GPL-3.0-or-later
// The history store holding a million lines of one channel (and 50,000 of a few other
// conversations): storing more lines with the longest time Append kept its caller, searching a word
// to the first page, the last 200 lines of the channel, and the file's size per byte of plain text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/history_store.h"
#include "lang/codepage.h"

namespace plumo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kMainLines = 1000000;
const TConversationKey kMain{ConversationKind::Channel, "#main"};

// Chat lines of 40 to 80 characters from a small vocabulary (every word in about one line in seven),
// one in five Russian, one in four coloured, one in ten addressing a nick.
class TChatLines {
 public:
  TChatLines() {
    for (const char* w :
         {"the",    "game",   "tonight", "who",     "is",     "coming", "server",  "map",    "ok",
          "lol",    "yes",    "no",      "wait",    "play",   "round",  "again",   "hello",  "guys",
          "anyone", "beer",   "lunch",   "meeting", "at",     "five",   "printer", "broken", "file",
          "share",  "folder", "update",  "reboot",  "please", "thanks", "good",    "night",  "coffee",
          "break",  "where",  "network", "down",    "fixed",  "now",    "later",   "maybe",  "boss"}) {
      english_.emplace_back(w);
    }
    for (const char* w : {"привет", "как", "дела", "кто", "идёт", "обедать", "сервер", "игра", "сегодня",
                          "вечером", "пиво", "да", "нет", "ладно", "спасибо", "сеть", "опять", "упала"}) {
      russian_.push_back(Utf8ToCp1251(w));
    }
  }

  THistoryLine Next() {
    const int n = count_++;
    THistoryLine line;
    line.TimeMs = 1700000000000 + static_cast<std::int64_t>(n) * 1000;
    line.Kind = HistoryKind::ChannelLine;
    line.Conversation = kMain;
    const int sender = static_cast<int>(random_() % 30);
    line.SenderAddress = "192.168.1." + std::to_string(10 + sender);
    line.SenderNick = "user" + std::to_string(sender);
    if (n % 21 == 20) {  // a private conversation or the console now and then
      const int peer = static_cast<int>(random_() % 8);
      if (peer == 0) {
        line.Conversation = {ConversationKind::Channel, "#"};
        line.Kind = HistoryKind::Notice;
      } else {
        line.Conversation = {ConversationKind::Peer, "192.168.1." + std::to_string(10 + peer)};
        line.PeerNick = "user" + std::to_string(peer);
        line.Kind = HistoryKind::Private;
      }
    }
    const auto& words = random_() % 5 == 0 ? russian_ : english_;
    const std::size_t length = 40 + random_() % 41;
    std::string text;
    if (random_() % 10 == 0) text = ":#user" + std::to_string(random_() % 30) + "^#K, ";
    while (text.size() < length) {
      if (!text.empty() && text.back() != ' ') text += ' ';
      text += words[random_() % words.size()];
    }
    if (random_() % 4 == 0) {
      static const char* colours[] = {"#^0000FF", "#^FF0000", "#^008000", "#^800080"};
      text = colours[random_() % 4] + text;
    }
    line.Markup = std::move(text);
    return line;
  }

 private:
  std::vector<std::string> english_, russian_;
  std::mt19937 random_{20240607};
  int count_ = 0;
};

std::string FixturePath() {
  return std::string(PLUMO_BENCH_DATA_DIR) + "/history-1m-v1.db";
}

// The million-line database, built once through the store itself (the queue then commits in large
// batches); the plain text bytes (UTF-8, as stored) of the same lines.
struct TFixture {
  std::string Path;
  double PlainBytes = 0;
  double FileBytes = 0;
};

const TFixture& Fixture() {
  static const TFixture fixture = [] {
    TFixture f;
    f.Path = FixturePath();
    const bool build = !fs::exists(f.Path);
    std::unique_ptr<THistoryStore> store;
    if (build) {
      fs::remove(f.Path + "-wal");
      fs::remove(f.Path + "-shm");
      store = THistoryStore::Open(f.Path);
    }
    TChatLines lines;
    int main = 0;
    while (main < kMainLines) {
      THistoryLine line = lines.Next();
      const bool inMain = line.Conversation == kMain;
      f.PlainBytes += static_cast<double>(Cp1251ToUtf8(MarkupToPlain(line.Markup)).size());
      if (store) store->Append(std::move(line));
      if (inMain && ++main % 10000 == 0 && store) store->Flush();  // within the queue's bound
    }
    store.reset();  // closing checkpoints the log into the file
    f.FileBytes = static_cast<double>(fs::file_size(f.Path));
    return f;
  }();
  return fixture;
}

void BM_LastLines(benchmark::State& state) {
  auto store = THistoryStore::Open(Fixture().Path);
  const std::int64_t before = state.range(0) ? store->Last(kMain, 1).at(0).Id / 2 : INT64_MAX;
  for (auto _ : state) {
    auto lines = store->Last(kMain, 200, before);
    if (lines.size() != 200) state.SkipWithError("fewer lines");
    benchmark::DoNotOptimize(lines);
  }
}
// Arg 0: the newest lines (opening the conversation); 1: lines from the middle (scrolling up).
BENCHMARK(BM_LastLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SearchFirstPage(benchmark::State& state) {
  static const std::string queries[] = {"tonight", Utf8ToCp1251("привет"), "\"game tonight\"", "ser*",
                                        "beer coffee"};
  const std::string& query = queries[state.range(0)];
  auto store = THistoryStore::Open(Fixture().Path);
  for (auto _ : state) {
    auto hits = store->Search(query, 50);
    if (hits.size() != 50) state.SkipWithError("fewer hits");
    benchmark::DoNotOptimize(hits);
  }
  state.SetLabel(Cp1251ToUtf8(query));
}
BENCHMARK(BM_SearchFirstPage)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The same words searched in one private conversation (about 6,000 of the lines): the index yields
// every conversation's matches, newest first, and the ones of other conversations are passed over;
// the phrase has fewer than 50 hits there, so all its matches in the store are read (the worst case).
void BM_SearchInConversation(benchmark::State& state) {
  static const std::string queries[] = {"tonight", "\"game tonight\""};
  const std::string& query = queries[state.range(0)];
  const TConversationKey peer{ConversationKind::Peer, "192.168.1.13"};
  auto store = THistoryStore::Open(Fixture().Path);
  std::vector<THistoryHit> hits;
  for (auto _ : state) {
    hits = store->Search(query, 50, INT64_MAX, &peer);
    if (hits.empty()) state.SkipWithError("no hits");
  }
  state.SetLabel(query);
  state.counters["hits"] = static_cast<double>(hits.size());
}
BENCHMARK(BM_SearchInConversation)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Opening the million-line store (the checks of a damaged file included) and closing it.
void BM_OpenClose(benchmark::State& state) {
  const std::string path = Fixture().Path;
  for (auto _ : state) {
    auto store = THistoryStore::Open(path);
    if (!store->Enabled()) state.SkipWithError("not opened");
  }
}
BENCHMARK(BM_OpenClose)->Unit(benchmark::kMillisecond);

// Expiring every line of the million-line channel (a copy of the fixture) while the event loop
// keeps opening it: each opening queues a line and reads the last 200, which waits for the queued
// line. longest_wait_ms is the longest such opening during the expiry. Arg: the ids one transaction of
// the expiry covers (the store's default, and everything in one transaction as a comparison).
void BM_ExpireWhileOpening(benchmark::State& state) {
  const std::string path = std::string(PLUMO_BENCH_DATA_DIR) + "/history-expire.db";
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix);
    fs::copy_file(Fixture().Path, path);
    std::atomic<bool> finished{false};
    THistoryOptions options;
    options.ExpireBatchIds = static_cast<int>(state.range(0));
    options.ExpireProgress = [&](std::int64_t, bool done) {
      if (done) finished = true;
    };
    auto store = THistoryStore::Open(path, options);
    state.ResumeTiming();

    const auto start = Clock::now();
    store->ExpireOlderThan(INT64_MAX);
    double longest = 0;
    int openings = 0;
    while (!finished) {
      THistoryLine line;
      line.TimeMs = INT64_MAX;  // newer than the limit: stays
      line.Conversation = kMain;
      line.SenderAddress = "192.168.1.10";
      line.SenderNick = "user0";
      line.Markup = "still here";
      const auto before = Clock::now();
      store->Append(std::move(line));
      auto lines = store->Last(kMain, 200);
      const double waited = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
      if (lines.empty() || lines.back().Markup != "still here") state.SkipWithError("line missing");
      longest = std::max(longest, waited);
      ++openings;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a user, not a loop
    }
    store->WaitForExpiry();
    state.counters["expiry_s"] = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["longest_wait_ms"] = longest;
    state.counters["openings"] = openings;
    state.PauseTiming();
    store.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ExpireWhileOpening)
    ->Arg(THistoryOptions{}.ExpireBatchIds)
    ->Arg(INT32_MAX)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_Size(benchmark::State& state) {
  const TFixture& f = Fixture();
  for (auto _ : state) benchmark::DoNotOptimize(f.FileBytes);
  state.counters["plain_MB"] = f.PlainBytes / 1e6;
  state.counters["file_MB"] = f.FileBytes / 1e6;
  state.counters["size_per_plain"] = f.FileBytes / f.PlainBytes;
}
BENCHMARK(BM_Size)->Iterations(1);

// Lines appended as fast as the caller can into a copy of the million-line store, until the writer
// has committed them all; max_append_ms is the longest a single Append kept its caller.
void BM_Store(benchmark::State& state) {
  const std::string path = std::string(PLUMO_BENCH_DATA_DIR) + "/history-store-copy.db";
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix);
  fs::copy_file(Fixture().Path, path);
  std::vector<THistoryLine> lines;
  TChatLines chat;
  constexpr int kBatch = 20000;
  for (int i = 0; i < kBatch * 10; ++i) lines.push_back(chat.Next());
  double maxBlock = 0, slow = 0, maxCopy = 0;
  std::size_t next = 0;
  {
    auto store = THistoryStore::Open(path);
    for (auto _ : state) {
      for (int i = 0; i < kBatch; ++i) {
        const auto copyStart = Clock::now();
        THistoryLine line = lines[next++ % lines.size()];
        const auto start = Clock::now();
        store->Append(std::move(line));
        const auto end = Clock::now();
        const double ms = std::chrono::duration<double, std::milli>(end - start).count();
        maxBlock = std::max(maxBlock, ms);
        maxCopy = std::max(maxCopy, std::chrono::duration<double, std::milli>(start - copyStart).count());
        if (ms > 1) ++slow;
      }
      store->Flush();
    }
    if (!store->TakeNotices().empty()) state.SkipWithError("the store failed");
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["max_append_ms"] = maxBlock;
  state.counters["appends_over_1ms"] = slow;
  state.counters["max_copy_ms"] = maxCopy;
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix);
}
BENCHMARK(BM_Store)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plumo
