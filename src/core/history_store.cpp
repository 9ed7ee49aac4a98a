// SPDX-License-Identifier: GPL-3.0-or-later
// The history store over SQLite.
//
// Schema (PRAGMA user_version = 1; page size 4096, write-ahead log):
//
//   conversations(id INTEGER PRIMARY KEY, kind INTEGER, name TEXT, peer_nick TEXT,
//                 lines INTEGER, last_time INTEGER, UNIQUE(kind, name))
//       kind is ConversationKind; peer_nick the peer's nick in the newest line that had one; lines
//       and last_time are kept up to date by every batch and deletion, so listing the
//       conversations never counts lines.
//   senders(id INTEGER PRIMARY KEY, address TEXT, nick TEXT, UNIQUE(address, nick))
//       every (address, nick) pair that said something; a line names its sender by id, which keeps
//       the address and nick out of a million rows.
//   lines(id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER, conv INTEGER, kind INTEGER,
//         sender INTEGER, peer_nick TEXT, plain TEXT, marks BLOB)
//       kind is HistoryKind * 2 + 1 for outgoing lines; peer_nick is NULL when empty; plain is the
//       text without markup; marks is NULL when the markup is the plain text, else the markers that
//       were taken out: for each run of removed bytes, varint(its position in the plain text minus
//       the previous run's position), varint(length), the bytes (code page 1251; positions count
//       code-page bytes). AUTOINCREMENT keeps ids from being reused after a deletion, so a window
//       holding an id never meets a different line under it.
//       message (added to stores made before it, which programs that do not know it leave NULL) is
//       the id of the sent message the line is, or of a received one that asked for an
//       acknowledgement; NULL for other lines.
//   deliveries(id INTEGER PRIMARY KEY, status TEXT, detail TEXT)
//       the last status of each message id (the text of its mark and the tooltip's detail).
//   waiting(id INTEGER PRIMARY KEY, time INTEGER, nick TEXT, address TEXT, key TEXT, text TEXT)
//       private messages kept for a peer who is not there (id is the message id).
//   Both tables and the column are created when missing, without changing user_version: a
//   program that does not know them opens the file as before.
//   lines_conv ON lines(conv, id): a conversation's pages and deletion.
//   lines_fts USING fts5(plain, content='lines', content_rowid='id', columnsize=0)
//       the full-text index over lines.plain (unicode61: case folded, Cyrillic included) without a
//       copy of the text; the store inserts into it with every line and removes with the 'delete'
//       command before it deletes lines, in the same transaction.
//
// Texts are UTF-8 in the database and code page 1251 at the interface.
#include "core/history_store.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>

#include "lang/codepage.h"
#include "lang/markup.h"

namespace plumo {
namespace {

constexpr int kSchemaVersion = 1;
// A queue this long is committed at once instead of waiting for the flush interval.
constexpr std::size_t kLargeBatch = 4096;
// An expiry's transaction checks between steps of this many ids whether a reader waits for it.
constexpr std::int64_t kExpireStepIds = 250;
constexpr int kBusyTimeoutMs = 5000;
// The writer thread's nice value (a thread's own on Linux).
constexpr int kWriterNice = 10;
// The markers highlight() puts around matches: private-use characters, which no code-page text can
// contain, so a peer's text cannot forge kMatchOpen or kMatchClose.
constexpr char kHighlightOpen[] = "\xEE\x80\x80";   // U+E000
constexpr char kHighlightClose[] = "\xEE\x80\x81";  // U+E001

// ---------------------------------------------------------------------------------------------
// Markup.

void PutVarint(std::string& out, std::size_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

bool GetVarint(const std::string& in, std::size_t& at, std::size_t& v) {
  v = 0;
  for (int shift = 0; at < in.size() && shift < 64; shift += 7) {
    const auto byte = static_cast<unsigned char>(in[at++]);
    v |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

struct TSplitMarkup {
  std::string Plain;
  std::string Marks;  // empty when Plain is the markup
};

// Takes the markers (colour codes and paired nick markers, lang/markup.h) out of markup.
TSplitMarkup SplitMarkup(const std::string& markup) {
  MarkupRules rules;
  rules.Links = false;
  const std::vector<MarkupPiece> pieces = ParseMarkup(markup, rules);
  TSplitMarkup out;
  out.Plain.reserve(markup.size());
  std::size_t lastPos = 0;
  for (std::size_t k = 0; k < pieces.size();) {
    if (!IsMarker(pieces[k].Kind)) {
      out.Plain.append(markup, pieces[k].Begin, pieces[k].End - pieces[k].Begin);
      ++k;
      continue;
    }
    // Pieces follow one another, so adjacent markers make one removed run.
    const std::size_t begin = pieces[k].Begin;
    std::size_t end = begin;
    for (; k < pieces.size() && IsMarker(pieces[k].Kind); ++k) end = pieces[k].End;
    PutVarint(out.Marks, out.Plain.size() - lastPos);
    PutVarint(out.Marks, end - begin);
    out.Marks.append(markup, begin, end - begin);
    lastPos = out.Plain.size();
  }
  return out;
}

// The markup back from the plain text and the removed runs; the plain text alone when marks do
// not fit it (never from the store's own writes).
std::string JoinMarkup(const std::string& plain, const std::string& marks) {
  std::string out;
  out.reserve(plain.size() + marks.size());
  std::size_t at = 0, pos = 0;
  while (at < marks.size()) {
    std::size_t gap = 0, length = 0;
    if (!GetVarint(marks, at, gap) || !GetVarint(marks, at, length) || gap > plain.size() - pos ||
        length > marks.size() - at) {
      return plain;
    }
    out.append(plain, pos, gap);
    pos += gap;
    out.append(marks, at, length);
    at += length;
  }
  out.append(plain, pos, std::string::npos);
  return out;
}

// ---------------------------------------------------------------------------------------------
// The search query.

void AppendFtsString(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The FTS5 query for what the user typed (UTF-8): each blank-separated word and each "quoted
// phrase" becomes an FTS string, so no character of the text is query syntax; a word (or phrase)
// ending in * matches as a prefix. Empty when there is nothing to search for.
std::string BuildMatchQuery(const std::string& text) {
  std::string query;
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  auto add = [&](const std::string& term, bool prefix) {
    if (term.empty()) return;
    if (!query.empty()) query += ' ';
    AppendFtsString(query, term);
    if (prefix) query += '*';
  };
  for (std::size_t i = 0; i < text.size();) {
    if (blank(text[i])) {
      ++i;
    } else if (text[i] == '"') {
      const std::size_t end = text.find('"', i + 1);
      std::string phrase = text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      for (char& c : phrase) {
        if (blank(c)) c = ' ';
      }
      i = end == std::string::npos ? text.size() : end + 1;
      const bool prefix = i < text.size() && text[i] == '*';
      if (prefix) ++i;
      add(phrase, prefix);
    } else {
      std::size_t end = i;
      while (end < text.size() && !blank(text[end])) ++end;
      std::string word = text.substr(i, end - i);
      i = end;
      const bool prefix = word.size() > 1 && word.back() == '*';
      if (prefix) word.pop_back();
      add(word, prefix);
    }
  }
  return query;
}

// highlight()'s output in code page 1251 with kMatchOpen / kMatchClose around the matches; the
// control characters themselves are dropped from the text so that only real matches carry them.
std::string MarkedText(const std::string& utf8) {
  std::string out;
  std::size_t pos = 0;
  auto text = [&](std::size_t end) {
    for (char c : Utf8ToCp1251(std::string_view(utf8).substr(pos, end - pos))) {
      if (c != kMatchOpen && c != kMatchClose) out += c;
    }
  };
  while (pos < utf8.size()) {
    const std::size_t open = utf8.find(kHighlightOpen, pos);
    const std::size_t close = utf8.find(kHighlightClose, pos);
    const std::size_t next = std::min(open, close);
    if (next == std::string::npos) break;
    text(next);
    out += next == open ? kMatchOpen : kMatchClose;
    pos = next + 3;
  }
  text(utf8.size());
  return out;
}

// ---------------------------------------------------------------------------------------------
// SQLite helpers.

struct TSqlError : std::runtime_error {
  TSqlError(int rc, const std::string& message) : std::runtime_error(message), Code(rc) {}
  int Code;
};

[[noreturn]] void Throw(sqlite3* db, int rc) {
  throw TSqlError(rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

void Exec(sqlite3* db, const char* sql) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Throw(db, rc);
}

class TStmt {
 public:
  TStmt() = default;
  TStmt(sqlite3* db, const char* sql, bool persistent = true) : db_(db) {
    const int rc =
        sqlite3_prepare_v3(db, sql, -1, persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt_, nullptr);
    if (rc != SQLITE_OK) Throw(db, rc);
  }
  TStmt(TStmt&& other) noexcept : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}
  TStmt& operator=(TStmt&& other) noexcept {
    std::swap(db_, other.db_);
    std::swap(stmt_, other.stmt_);
    return *this;
  }
  ~TStmt() { sqlite3_finalize(stmt_); }

  // Rebinds from scratch: the statement is reset and its parameters cleared.
  TStmt& Start() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return *this;
  }
  TStmt& Bind(int i, std::int64_t v) {
    Check(sqlite3_bind_int64(stmt_, i, v));
    return *this;
  }
  TStmt& Bind(int i, const std::string& v) {
    Check(sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    return *this;
  }
  TStmt& BindBlob(int i, const std::string& v) {
    Check(sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    return *this;
  }
  TStmt& BindTextOrNull(int i, const std::string& v) {
    if (v.empty()) {
      Check(sqlite3_bind_null(stmt_, i));
      return *this;
    }
    return Bind(i, v);
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    sqlite3_reset(stmt_);
    if (rc != SQLITE_DONE) Throw(db_, rc);
    return false;
  }
  void Run() {
    while (Step()) {
    }
  }
  // Ends a read early, so that the connection holds no read transaction.
  void Done() { sqlite3_reset(stmt_); }
  std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  bool Null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  std::string Text(int col) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
  }

 private:
  void Check(int rc) const {
    if (rc != SQLITE_OK) Throw(db_, rc);
  }
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

struct TDbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDb = std::unique_ptr<sqlite3, TDbCloser>;

// The codes that mean the file is not a usable database.
bool IsDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// ---------------------------------------------------------------------------------------------
// The file before SQLite sees it.

bool FileExists(const std::string& path, long long* size = nullptr) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (size) *size = st.st_size;
  return true;
}

// False when the file plainly is not a whole database: a header that is not SQLite's, or (when no
// write-ahead log holds newer pages) fewer bytes than the header's page count says.
bool HeaderLooksSound(const std::string& path) {
  long long size = 0;
  if (!FileExists(path, &size) || size == 0) return true;
  if (size < 100) return false;
  unsigned char h[100];
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
  if (std::string_view(reinterpret_cast<const char*>(h), 16) != std::string_view("SQLite format 3\0", 16)) {
    return false;
  }
  long long walSize = 0;
  if (FileExists(path + "-wal", &walSize) && walSize > 0) return true;
  auto be32 = [&](int at) {
    return (static_cast<std::uint32_t>(h[at]) << 24) | (static_cast<std::uint32_t>(h[at + 1]) << 16) |
           (static_cast<std::uint32_t>(h[at + 2]) << 8) | h[at + 3];
  };
  long long pageSize = (h[16] << 8) | h[17];
  if (pageSize == 1) pageSize = 65536;
  const bool countValid = be32(24) == be32(92);
  return !countValid || static_cast<long long>(be32(28)) * pageSize <= size;
}

std::string AsideName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string name = path + ".damaged-" + stamp;
  for (int n = 2; FileExists(name); ++n) name = path + ".damaged-" + stamp + "-" + std::to_string(n);
  return name;
}

// ---------------------------------------------------------------------------------------------

constexpr char kSchema[] = R"(
CREATE TABLE conversations(
  id INTEGER PRIMARY KEY, kind INTEGER NOT NULL, name TEXT NOT NULL, peer_nick TEXT,
  lines INTEGER NOT NULL DEFAULT 0, last_time INTEGER NOT NULL DEFAULT 0, UNIQUE(kind, name));
CREATE TABLE senders(id INTEGER PRIMARY KEY, address TEXT NOT NULL, nick TEXT NOT NULL,
  UNIQUE(address, nick));
CREATE TABLE lines(
  id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER NOT NULL, conv INTEGER NOT NULL,
  kind INTEGER NOT NULL, sender INTEGER NOT NULL, peer_nick TEXT, plain TEXT NOT NULL, marks BLOB);
CREATE INDEX lines_conv ON lines(conv, id);
CREATE VIRTUAL TABLE lines_fts USING fts5(plain, content='lines', content_rowid='id', columnsize=0);
PRAGMA user_version = 1;
)";

constexpr char kLineColumns[] =
    "l.id, l.time, l.kind, s.address, s.nick, l.peer_nick, l.plain, l.marks, c.kind, c.name, l.message, "
    "(SELECT status FROM deliveries d WHERE d.id = l.message)";
// The tables of delivery status, created in any store that lacks them.
constexpr char kDeliverySchema[] = R"(
CREATE TABLE IF NOT EXISTS deliveries(id INTEGER PRIMARY KEY, status TEXT NOT NULL, detail TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS waiting(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, nick TEXT NOT NULL,
  address TEXT NOT NULL, key TEXT NOT NULL, text TEXT NOT NULL);
)";

enum class TOpenResult { Ok, Damaged, Failed };

class TSqliteHistoryStore final : public THistoryStore {
 public:
  TSqliteHistoryStore(std::string path, THistoryOptions options)
      : path_(std::move(path)), options_(std::move(options)) {}

  ~TSqliteHistoryStore() override {
    // The writer commits the queue and finishes a running expiry before it ends.
    if (writer_.joinable()) {
      {
        std::lock_guard lock(queueMutex_);
        stop_ = true;
      }
      queueCv_.notify_all();
      writer_.join();
    }
    CloseDatabases();
  }

  void Open() {
    std::string message;
    TOpenResult result = TryOpen(message);
    if (result == TOpenResult::Damaged) {
      CloseDatabases();
      const std::string aside = AsideName(path_);
      if (std::rename(path_.c_str(), aside.c_str()) != 0) {
        Notice(THistoryNotice::OpenFailed, "cannot rename " + path_);
        return;
      }
      for (const char* suffix : {"-wal", "-shm"}) {
        if (FileExists(path_ + suffix)) std::rename((path_ + suffix).c_str(), (aside + suffix).c_str());
      }
      Notice(THistoryNotice::SetAside, aside);
      result = TryOpen(message);
    }
    if (result != TOpenResult::Ok) {
      CloseDatabases();
      Notice(THistoryNotice::OpenFailed, message);
      return;
    }
    enabled_ = true;
    writer_ = std::thread([this] { WriterLoop(); });
  }

  bool Enabled() const override { return enabled_; }

  void Append(THistoryLine line) override {
    if (!enabled_) return;
    bool wake = false, dropped = false, tell = false;
    {
      std::lock_guard lock(queueMutex_);
      // A flood faster than the disk: the oldest queued line makes room (it counts as done).
      if (queue_.size() >= std::max<std::size_t>(options_.MaxQueuedLines, 1)) {
        queue_.pop_front();
        ++done_;
        dropped = true;
        tell = !queueFullTold_;
        queueFullTold_ = true;
      }
      if (queue_.empty()) {
        firstQueued_ = std::chrono::steady_clock::now();
        wake = true;
      }
      queue_.push_back(std::move(line));
      ++appended_;
      wake = wake || queue_.size() == kLargeBatch;
    }
    if (wake) queueCv_.notify_one();
    if (dropped) doneCv_.notify_all();
    if (tell) Notice(THistoryNotice::QueueFull, std::to_string(options_.MaxQueuedLines));
  }

  void Flush() override {
    std::unique_lock lock(queueMutex_);
    if (!writer_.joinable()) return;
    const std::uint64_t target = appended_;
    if (done_ >= target) return;
    flushRequested_ = true;
    readerWaiting_ = true;
    queueCv_.notify_one();
    doneCv_.wait(lock, [&] { return done_ >= target; });
  }

  // Whether a line of the conversation (any line, without one) waits in the queue or in the batch
  // being committed; readers wait for those, so that what was shown a moment ago is never missing.
  bool Pending(const TConversationKey* conversation) {
    std::lock_guard lock(queueMutex_);
    if (appended_ - queue_.size() - statuses_.size() > done_) return true;  // a batch is being committed
    if (!conversation) return !queue_.empty();
    return std::any_of(queue_.begin(), queue_.end(),
                       [&](const THistoryLine& line) { return line.Conversation == *conversation; });
  }
  void FlushPending(const TConversationKey* conversation) {
    if (Pending(conversation)) Flush();
  }

  std::vector<THistoryNotice> TakeNotices() override {
    std::lock_guard lock(noticeMutex_);
    return std::exchange(notices_, {});
  }

  std::vector<THistoryLine> Last(const TConversationKey& conversation, int count,
                                 std::int64_t beforeId) override {
    std::vector<THistoryLine> lines = ReadPage(readLast_, conversation, beforeId, count);
    std::reverse(lines.begin(), lines.end());  // the query runs newest first
    return lines;
  }

  std::vector<THistoryLine> From(const TConversationKey& conversation, std::int64_t fromId,
                                 int count) override {
    return ReadPage(readFrom_, conversation, fromId, count);
  }

  // Up to count lines of a conversation from a page query bound to (conversation, id, count).
  std::vector<THistoryLine> ReadPage(TStmt& query, const TConversationKey& conversation, std::int64_t id,
                                     int count) {
    std::vector<THistoryLine> lines;
    if (count <= 0) return lines;
    FlushPending(&conversation);
    std::lock_guard lock(readMutex_);
    if (!readDb_) return lines;
    try {
      const std::int64_t conv = ReadConversationId(conversation);
      if (conv == 0) return lines;
      TStmt& q = query.Start().Bind(1, conv).Bind(2, id).Bind(3, count);
      while (q.Step()) lines.push_back(ReadLine(q));
    } catch (const TSqlError&) {
      lines.clear();
    }
    return lines;
  }

  std::vector<THistoryHit> Search(const std::string& query, int limit, std::int64_t beforeId,
                                  const TConversationKey* conversation) override {
    std::vector<THistoryHit> hits;
    const std::string match = BuildMatchQuery(Cp1251ToUtf8(query));
    if (match.empty() || limit <= 0) return hits;
    FlushPending(conversation);
    std::lock_guard lock(readMutex_);
    if (!readDb_) return hits;
    try {
      std::int64_t conv = 0;
      if (conversation) {
        conv = ReadConversationId(*conversation);
        if (conv == 0) return hits;
      }
      TStmt& q = conversation ? readSearchIn_.Start() : readSearch_.Start();
      q.Bind(1, match).Bind(2, beforeId).Bind(3, limit);
      if (conversation) q.Bind(4, conv);
      while (q.Step()) {
        THistoryHit hit;
        hit.Line = ReadLine(q);
        hit.Marked = MarkedText(q.Text(12));
        hits.push_back(std::move(hit));
      }
    } catch (const TSqlError&) {
      hits.clear();
    }
    return hits;
  }

  std::vector<TStoredConversation> Conversations() override {
    std::vector<TStoredConversation> out;
    std::lock_guard lock(readMutex_);
    if (!readDb_) return out;
    try {
      TStmt& q = readConversations_.Start();
      while (q.Step()) {
        TStoredConversation c;
        c.Key.Kind = static_cast<ConversationKind>(q.Int(0));
        c.Key.Name = Utf8ToCp1251(q.Text(1));
        c.LastPeerNick = Utf8ToCp1251(q.Text(2));
        c.Lines = q.Int(3);
        c.LastTimeMs = q.Int(4);
        out.push_back(std::move(c));
      }
    } catch (const TSqlError&) {
      out.clear();
    }
    return out;
  }

  std::int64_t DeleteConversation(const TConversationKey& conversation) override {
    return Delete([&] {
      TStmt find(writeDb_.get(), "SELECT id FROM conversations WHERE kind = ?1 AND name = ?2", false);
      find.Bind(1, static_cast<std::int64_t>(conversation.Kind)).Bind(2, Cp1251ToUtf8(conversation.Name));
      if (!find.Step()) return std::int64_t{0};
      const std::int64_t conv = find.Int(0);
      find.Done();
      TStmt(writeDb_.get(),
            "INSERT INTO lines_fts(lines_fts, rowid, plain) SELECT 'delete', id, plain FROM lines "
            "WHERE conv = ?1",
            false)
          .Bind(1, conv)
          .Run();
      TStmt(writeDb_.get(), "DELETE FROM lines WHERE conv = ?1", false).Bind(1, conv).Run();
      const std::int64_t removed = sqlite3_changes64(writeDb_.get());
      TStmt(writeDb_.get(), "DELETE FROM conversations WHERE id = ?1", false).Bind(1, conv).Run();
      return removed;
    });
  }

  std::int64_t DeleteAll() override {
    const std::int64_t removed = Delete([&] {
      TStmt count(writeDb_.get(), "SELECT count(*) FROM lines", false);
      count.Step();
      const std::int64_t n = count.Int(0);
      count.Done();
      Exec(writeDb_.get(),
           "INSERT INTO lines_fts(lines_fts) VALUES('delete-all');"
           "DELETE FROM lines; DELETE FROM conversations; DELETE FROM senders;");
      return n;
    });
    // The space goes back to the file system on the writer thread (an empty database vacuums at
    // once, but the caller is the event loop, which waits for no VACUUM).
    if (removed > 0) {
      {
        std::lock_guard lock(queueMutex_);
        vacuum_ = true;
      }
      queueCv_.notify_one();
    }
    return removed;
  }

  void ExpireOlderThan(std::int64_t timeMs) override {
    if (!enabled_) return;
    {
      std::lock_guard lock(queueMutex_);
      // A running expiry is replaced: the newest limit counts, from the first line again.
      expiry_ = TExpiry{};
      expiry_->Limit = timeMs;
      expiry_->Generation = ++expiryGeneration_;
    }
    queueCv_.notify_one();
  }

  void WaitForExpiry() override {
    std::unique_lock lock(queueMutex_);
    if (!writer_.joinable()) return;
    doneCv_.wait(lock, [&] { return !expiry_; });
  }

  std::int64_t DeleteOlderThan(std::int64_t timeMs) override {
    return Delete([&] { return RemoveOlder(timeMs, 0, INT64_MAX); });
  }

  void SetDeliveryStatus(std::int64_t id, const std::string& status, const std::string& detail) override {
    if (!enabled_) return;
    bool wake = false;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty() && statuses_.empty()) {
        firstQueued_ = std::chrono::steady_clock::now();
        wake = true;
      }
      // Counted like a line, so that Flush waits for it too.
      if (statuses_.insert_or_assign(id, std::make_pair(status, detail)).second) ++appended_;
    }
    if (wake) queueCv_.notify_one();
  }

  std::int64_t HighestMessageId() override {
    Flush();
    std::lock_guard lock(readMutex_);
    if (!readDb_) return 0;
    try {
      TStmt q(readDb_.get(),
              "SELECT max(coalesce((SELECT max(id) FROM deliveries), 0), "
              "coalesce((SELECT max(id) FROM waiting), 0))",
              false);
      return q.Step() ? q.Int(0) : 0;
    } catch (const TSqlError&) {
      return 0;
    }
  }

  bool AddWaiting(const TWaitingMessage& m) override {
    std::lock_guard lock(writeMutex_);
    if (!writeDb_ || !enabled_) return false;
    try {
      TStmt(
          writeDb_.get(),
          "INSERT OR REPLACE INTO waiting(id, time, nick, address, key, text) VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
          false)
          .Bind(1, m.Id)
          .Bind(2, m.TimeMs)
          .Bind(3, Cp1251ToUtf8(m.Nick))
          .Bind(4, Cp1251ToUtf8(m.Address))
          .Bind(5, m.KeyHex)
          .Bind(6, Cp1251ToUtf8(m.Text))
          .Run();
      return true;
    } catch (const TSqlError& e) {
      WriteFailed(e);
      return false;
    }
  }

  void RemoveWaiting(std::int64_t id) override {
    std::lock_guard lock(writeMutex_);
    if (!writeDb_ || !enabled_) return;
    try {
      TStmt(writeDb_.get(), "DELETE FROM waiting WHERE id = ?1", false).Bind(1, id).Run();
    } catch (const TSqlError& e) {
      WriteFailed(e);
    }
  }

  std::vector<TWaitingMessage> WaitingMessages() override {
    std::vector<TWaitingMessage> out;
    std::lock_guard lock(readMutex_);
    if (!readDb_) return out;
    try {
      TStmt q(readDb_.get(), "SELECT id, time, nick, address, key, text FROM waiting ORDER BY id", false);
      while (q.Step()) {
        out.push_back({q.Int(0), q.Int(1), Utf8ToCp1251(q.Text(2)), Utf8ToCp1251(q.Text(3)), q.Text(4),
                       Utf8ToCp1251(q.Text(5))});
      }
    } catch (const TSqlError&) {
      out.clear();
    }
    return out;
  }

 private:
  // ----- opening

  TOpenResult TryOpen(std::string& message) {
    if (!HeaderLooksSound(path_)) {
      message = "not a database";
      return TOpenResult::Damaged;
    }
    try {
      writeDb_ = Connect(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
      sqlite3* db = writeDb_.get();
      if (sqlite3_db_readonly(db, "main") == 1) throw TSqlError(SQLITE_READONLY, "read-only database");
      Exec(db, "PRAGMA synchronous = NORMAL");
      if (options_.MaxPageCount > 0) {
        Exec(db, ("PRAGMA max_page_count = " + std::to_string(options_.MaxPageCount)).c_str());
      }
      std::int64_t version = 0, objects = 0;
      {
        TStmt q(db, "PRAGMA user_version", false);
        q.Step();
        version = q.Int(0);
      }
      {
        TStmt q(db, "SELECT count(*) FROM sqlite_master", false);
        q.Step();
        objects = q.Int(0);
      }
      if (version == 0 && objects == 0) {
        Exec(db, "PRAGMA journal_mode = WAL");
        Exec(db, "BEGIN IMMEDIATE");
        try {
          Exec(db, kSchema);
          Exec(db, "COMMIT");
        } catch (...) {
          sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
          throw;
        }
      } else if (version != kSchemaVersion) {
        message = "unknown database (version " + std::to_string(version) + ")";
        return TOpenResult::Damaged;
      }
      {
        TStmt q(db, "PRAGMA journal_mode = WAL", false);
        if (!q.Step() || q.Text(0) != "wal") throw TSqlError(SQLITE_CANTOPEN, "no write-ahead log");
      }
      AddDeliveryTables(db);
      // Touch every table, so that a file cut short or overwritten shows here and not later.
      for (const char* sql :
           {"SELECT max(id) FROM lines", "SELECT count(*) FROM conversations", "SELECT count(*) FROM senders",
            "SELECT rowid FROM lines_fts WHERE lines_fts MATCH 'qqqq' ORDER BY rowid DESC LIMIT 1",
            "SELECT conv FROM lines INDEXED BY lines_conv ORDER BY conv DESC LIMIT 1",
            "SELECT max(id) FROM deliveries", "SELECT max(id) FROM waiting"}) {
        TStmt(db, sql, false).Run();
      }
      PrepareWriter();

      readDb_ = Connect(SQLITE_OPEN_READWRITE);
      PrepareReader();
      return TOpenResult::Ok;
    } catch (const TSqlError& e) {
      message = e.what();
      return IsDamage(e.Code) ? TOpenResult::Damaged : TOpenResult::Failed;
    }
  }

  // The delivery tables and the lines' message column, where the file lacks them.
  static void AddDeliveryTables(sqlite3* db) {
    bool hasMessage = false;
    {
      TStmt q(db, "PRAGMA table_info(lines)", false);
      while (q.Step()) hasMessage = hasMessage || q.Text(1) == "message";
    }
    Exec(db, "BEGIN IMMEDIATE");
    try {
      if (!hasMessage) Exec(db, "ALTER TABLE lines ADD COLUMN message INTEGER");
      Exec(db, kDeliverySchema);
      Exec(db, "COMMIT");
    } catch (...) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  TDb Connect(int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path_.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    TDb db(raw);
    if (rc != SQLITE_OK) Throw(raw, rc);
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    return db;
  }

  void PrepareWriter() {
    sqlite3* db = writeDb_.get();
    findConversation_ = TStmt(db, "SELECT id FROM conversations WHERE kind = ?1 AND name = ?2");
    addConversation_ = TStmt(db, "INSERT INTO conversations(kind, name) VALUES(?1, ?2)");
    updateConversation_ =
        TStmt(db,
              "UPDATE conversations SET lines = lines + ?2, last_time = max(last_time, ?3), "
              "peer_nick = coalesce(?4, peer_nick) WHERE id = ?1");
    findSender_ = TStmt(db, "SELECT id FROM senders WHERE address = ?1 AND nick = ?2");
    addSender_ = TStmt(db, "INSERT INTO senders(address, nick) VALUES(?1, ?2)");
    addLine_ = TStmt(db,
                     "INSERT INTO lines(time, conv, kind, sender, peer_nick, plain, marks, message) "
                     "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    setStatus_ = TStmt(db, "INSERT OR REPLACE INTO deliveries(id, status, detail) VALUES(?1, ?2, ?3)");
    addFts_ = TStmt(db, "INSERT INTO lines_fts(rowid, plain) VALUES(?1, ?2)");
  }

  void PrepareReader() {
    sqlite3* db = readDb_.get();
    const std::string from = std::string(" FROM lines l JOIN senders s ON s.id = l.sender ") +
                             "JOIN conversations c ON c.id = l.conv ";
    readConversationId_ = TStmt(db, "SELECT id FROM conversations WHERE kind = ?1 AND name = ?2");
    readLast_ = TStmt(db, (std::string("SELECT ") + kLineColumns + from +
                           "WHERE l.conv = ?1 AND l.id < ?2 ORDER BY l.id DESC LIMIT ?3")
                              .c_str());
    readFrom_ = TStmt(db, (std::string("SELECT ") + kLineColumns + from +
                           "WHERE l.conv = ?1 AND l.id >= ?2 ORDER BY l.id LIMIT ?3")
                              .c_str());
    // The full-text index drives (CROSS JOIN keeps it outermost) and yields its rows newest first.
    const std::string search = std::string("SELECT ") + kLineColumns +
                               ", highlight(lines_fts, 0, char(57344), char(57345)) FROM lines_fts f "
                               "CROSS JOIN lines l ON l.id = f.rowid JOIN senders s ON s.id = l.sender "
                               "JOIN conversations c ON c.id = l.conv "
                               "WHERE lines_fts MATCH ?1 AND f.rowid < ?2 ";
    readSearch_ = TStmt(db, (search + "ORDER BY f.rowid DESC LIMIT ?3").c_str());
    readSearchIn_ = TStmt(db, (search + "AND l.conv = ?4 ORDER BY f.rowid DESC LIMIT ?3").c_str());
    readConversations_ = TStmt(db,
                               "SELECT kind, name, peer_nick, lines, last_time FROM conversations "
                               "WHERE lines > 0 ORDER BY last_time DESC, id DESC");
  }

  void CloseDatabases() {
    std::scoped_lock lock(readMutex_, writeMutex_);
    for (TStmt* s : {&findConversation_, &addConversation_, &updateConversation_, &findSender_, &addSender_,
                     &addLine_, &addFts_, &setStatus_, &readConversationId_, &readLast_, &readFrom_,
                     &readSearch_, &readSearchIn_, &readConversations_}) {
      *s = TStmt();
    }
    readDb_.reset();
    writeDb_.reset();
  }

  void Notice(THistoryNotice::What kind, const std::string& detail) {
    std::lock_guard lock(noticeMutex_);
    notices_.push_back({kind, Utf8ToCp1251(detail)});
  }

  // ----- reading (readMutex_ held)

  std::int64_t ReadConversationId(const TConversationKey& key) {
    TStmt& q = readConversationId_.Start()
                   .Bind(1, static_cast<std::int64_t>(key.Kind))
                   .Bind(2, Cp1251ToUtf8(key.Name));
    const std::int64_t id = q.Step() ? q.Int(0) : 0;
    q.Done();
    return id;
  }

  static THistoryLine ReadLine(const TStmt& q) {
    THistoryLine line;
    line.Id = q.Int(0);
    line.TimeMs = q.Int(1);
    line.Kind = static_cast<HistoryKind>(q.Int(2) >> 1);
    line.Outgoing = (q.Int(2) & 1) != 0;
    line.SenderAddress = Utf8ToCp1251(q.Text(3));
    line.SenderNick = Utf8ToCp1251(q.Text(4));
    line.PeerNick = Utf8ToCp1251(q.Text(5));
    line.Plain = Utf8ToCp1251(q.Text(6));
    line.Markup = q.Null(7) ? line.Plain : JoinMarkup(line.Plain, q.Text(7));
    line.Conversation.Kind = static_cast<ConversationKind>(q.Int(8));
    line.Conversation.Name = Utf8ToCp1251(q.Text(9));
    line.Message = q.Null(10) ? 0 : q.Int(10);
    line.Status = q.Null(11) ? std::string() : Utf8ToCp1251(q.Text(11));
    return line;
  }

  // ----- writing

  // The writer thread: commits the queue, and between its commits runs an expiry one small batch at
  // a time and the VACUUM after DeleteAll. While there is such work the queue is committed before
  // each batch, without waiting for the flush interval, so a reader waiting for queued lines waits
  // for one batch at most.
  void WriterLoop() {
    // The writer gives way to the event loop when they compete for a processor.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWriterNice);
    std::unique_lock lock(queueMutex_);
    for (;;) {
      queueCv_.wait(lock,
                    [&] { return stop_ || !queue_.empty() || !statuses_.empty() || expiry_ || vacuum_; });
      if (!queue_.empty() || !statuses_.empty()) {
        if (!expiry_ && !vacuum_) {
          const auto deadline = firstQueued_ + std::chrono::milliseconds(options_.FlushIntervalMs);
          queueCv_.wait_until(lock, deadline, [&] {
            return stop_ || flushRequested_ || queue_.size() >= kLargeBatch || expiry_ || vacuum_;
          });
        }
        CommitQueue(lock);
      } else if (expiry_) {
        ExpireStep(lock);
      } else if (vacuum_) {
        vacuum_ = false;
        lock.unlock();
        {
          std::lock_guard write(writeMutex_);
          if (writeDb_ && enabled_) sqlite3_exec(writeDb_.get(), "VACUUM", nullptr, nullptr, nullptr);
        }
        lock.lock();
      } else {
        break;  // stopping with nothing left
      }
    }
  }

  // Commits what is queued; queueMutex_ held by lock, released meanwhile.
  void CommitQueue(std::unique_lock<std::mutex>& lock) {
    std::deque<THistoryLine> batch;
    batch.swap(queue_);
    std::map<std::int64_t, std::pair<std::string, std::string>> statuses;
    statuses.swap(statuses_);
    flushRequested_ = false;
    readerWaiting_ = false;
    lock.unlock();
    {
      std::lock_guard write(writeMutex_);
      CommitBatch(batch, statuses);
    }
    const std::size_t count = batch.size() + statuses.size();
    batch.clear();  // freeing the lines here keeps Append from waiting for it
    lock.lock();
    done_ += count;
    doneCv_.notify_all();
  }

  // One transaction of the expiry: the lines older than its limit among the next ExpireBatchIds
  // ids (the first step also fixes the range of ids, the lines there are when it starts).
  // queueMutex_ held by lock, released meanwhile.
  void ExpireStep(std::unique_lock<std::mutex>& lock) {
    TExpiry job = *expiry_;
    lock.unlock();
    bool finished = false;
    {
      std::lock_guard write(writeMutex_);
      if (!writeDb_ || !enabled_) {
        finished = true;
      } else {
        try {
          if (job.LastId < 0) {
            TStmt range(writeDb_.get(), "SELECT min(id), max(id) FROM lines", false);
            range.Step();
            job.NextId = range.Int(0);
            job.LastId = range.Null(1) ? 0 : range.Int(1);
            range.Done();
          }
          // The transaction ends early when somebody waits for the queue: it goes first.
          const std::int64_t end = job.NextId + std::max(options_.ExpireBatchIds, 1);
          Exec(writeDb_.get(), "BEGIN IMMEDIATE");
          do {
            const std::int64_t to = std::min(end, job.NextId + kExpireStepIds);
            job.Removed += RemoveOlder(job.Limit, job.NextId, to);
            job.NextId = to;
          } while (job.NextId < end && job.NextId <= job.LastId && !readerWaiting_);
          Exec(writeDb_.get(), "COMMIT");
          finished = job.NextId > job.LastId;
        } catch (const TSqlError& e) {
          WriteFailed(e);
          finished = true;
        }
      }
    }
    if (options_.ExpireProgress) options_.ExpireProgress(job.Removed, finished);
    lock.lock();
    // A newer ExpireOlderThan meanwhile replaced this expiry; that one goes on.
    if (expiry_ && expiry_->Generation == job.Generation) {
      if (finished) {
        expiry_.reset();
        doneCv_.notify_all();
      } else {
        *expiry_ = job;
      }
    }
  }

  // Deletes the lines older than timeMs with fromId <= id < toId, their index entries and the
  // conversations left empty, inside the caller's transaction; the lines removed. writeMutex_ held.
  std::int64_t RemoveOlder(std::int64_t timeMs, std::int64_t fromId, std::int64_t toId) {
    sqlite3* db = writeDb_.get();
    const char* where = " FROM lines WHERE id >= ?2 AND id < ?3 AND time < ?1";
    std::vector<std::pair<std::int64_t, std::int64_t>> perConversation;
    TStmt counts(db, (std::string("SELECT conv, count(*)") + where + " GROUP BY conv").c_str(), false);
    counts.Bind(1, timeMs).Bind(2, fromId).Bind(3, toId);
    while (counts.Step()) perConversation.emplace_back(counts.Int(0), counts.Int(1));
    if (perConversation.empty()) return 0;
    TStmt(db,
          (std::string("INSERT INTO lines_fts(lines_fts, rowid, plain) SELECT 'delete', id, plain") + where)
              .c_str(),
          false)
        .Bind(1, timeMs)
        .Bind(2, fromId)
        .Bind(3, toId)
        .Run();
    TStmt(db, (std::string("DELETE") + where).c_str(), false)
        .Bind(1, timeMs)
        .Bind(2, fromId)
        .Bind(3, toId)
        .Run();
    const std::int64_t removed = sqlite3_changes64(db);
    TStmt update(db, "UPDATE conversations SET lines = lines - ?2 WHERE id = ?1", false);
    for (const auto& [conv, n] : perConversation) update.Start().Bind(1, conv).Bind(2, n).Run();
    Exec(db, "DELETE FROM conversations WHERE lines <= 0");
    if (sqlite3_changes64(db) > 0) conversationIds_.clear();
    return removed;
  }

  struct TConversationUpdate {
    std::int64_t Lines = 0;
    std::int64_t LastTime = 0;
    std::string PeerNick;
  };

  // writeMutex_ held.
  void CommitBatch(std::deque<THistoryLine>& batch,
                   const std::map<std::int64_t, std::pair<std::string, std::string>>& statuses) {
    if (!enabled_ || !writeDb_) return;
    sqlite3* db = writeDb_.get();
    try {
      Exec(db, "BEGIN IMMEDIATE");
      std::map<std::int64_t, TConversationUpdate> updates;
      for (THistoryLine& line : batch) {
        const std::int64_t conv = ConversationId(line.Conversation);
        const std::int64_t sender = SenderId(Cp1251ToUtf8(line.SenderAddress), Cp1251ToUtf8(line.SenderNick));
        TSplitMarkup split = SplitMarkup(line.Markup);
        const std::string plain = Cp1251ToUtf8(split.Plain);
        const std::string peerNick = Cp1251ToUtf8(line.PeerNick);
        addLine_.Start()
            .Bind(1, line.TimeMs)
            .Bind(2, conv)
            .Bind(3, static_cast<std::int64_t>(line.Kind) * 2 + (line.Outgoing ? 1 : 0))
            .Bind(4, sender)
            .BindTextOrNull(5, peerNick)
            .Bind(6, plain);
        if (!split.Marks.empty()) addLine_.BindBlob(7, split.Marks);
        if (line.Message != 0) addLine_.Bind(8, line.Message);
        addLine_.Run();
        addFts_.Start().Bind(1, sqlite3_last_insert_rowid(db)).Bind(2, plain).Run();
        TConversationUpdate& u = updates[conv];
        ++u.Lines;
        u.LastTime = std::max(u.LastTime, line.TimeMs);
        if (!peerNick.empty()) u.PeerNick = peerNick;
      }
      for (const auto& [id, status] : statuses) {
        setStatus_.Start()
            .Bind(1, id)
            .Bind(2, Cp1251ToUtf8(status.first))
            .Bind(3, Cp1251ToUtf8(status.second))
            .Run();
      }
      for (const auto& [conv, u] : updates) {
        updateConversation_.Start()
            .Bind(1, conv)
            .Bind(2, u.Lines)
            .Bind(3, u.LastTime)
            .BindTextOrNull(4, u.PeerNick);
        updateConversation_.Run();
      }
      Exec(db, "COMMIT");
    } catch (const TSqlError& e) {
      WriteFailed(e);
    }
  }

  std::int64_t ConversationId(const TConversationKey& key) {
    const auto cacheKey = std::make_pair(static_cast<int>(key.Kind), key.Name);
    if (auto it = conversationIds_.find(cacheKey); it != conversationIds_.end()) return it->second;
    const std::string name = Cp1251ToUtf8(key.Name);
    std::int64_t id = 0;
    TStmt& q = findConversation_.Start().Bind(1, static_cast<std::int64_t>(key.Kind)).Bind(2, name);
    if (q.Step()) {
      id = q.Int(0);
      q.Done();
    } else {
      addConversation_.Start().Bind(1, static_cast<std::int64_t>(key.Kind)).Bind(2, name).Run();
      id = sqlite3_last_insert_rowid(writeDb_.get());
    }
    conversationIds_.emplace(cacheKey, id);
    return id;
  }

  std::int64_t SenderId(const std::string& address, const std::string& nick) {
    std::string cacheKey = address;
    cacheKey += '\0';
    cacheKey += nick;
    if (auto it = senderIds_.find(cacheKey); it != senderIds_.end()) return it->second;
    if (senderIds_.size() > 100000) senderIds_.clear();
    std::int64_t id = 0;
    TStmt& q = findSender_.Start().Bind(1, address).Bind(2, nick);
    if (q.Step()) {
      id = q.Int(0);
      q.Done();
    } else {
      addSender_.Start().Bind(1, address).Bind(2, nick).Run();
      id = sqlite3_last_insert_rowid(writeDb_.get());
    }
    senderIds_.emplace(std::move(cacheKey), id);
    return id;
  }

  // A write went wrong: the transaction is undone and the store turns itself off with one notice.
  // writeMutex_ held.
  void WriteFailed(const TSqlError& e) {
    if (writeDb_ && !sqlite3_get_autocommit(writeDb_.get())) {
      sqlite3_exec(writeDb_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    conversationIds_.clear();
    senderIds_.clear();
    if (enabled_.exchange(false)) Notice(THistoryNotice::WriteFailed, e.what());
  }

  // Runs a deletion in one transaction after the queue is committed; the lines it removed, or 0.
  template <typename F>
  std::int64_t Delete(F&& body) {
    Flush();
    std::lock_guard lock(writeMutex_);
    if (!writeDb_ || !enabled_) return 0;
    try {
      Exec(writeDb_.get(), "BEGIN IMMEDIATE");
      const std::int64_t removed = body();
      Exec(writeDb_.get(), "COMMIT");
      conversationIds_.clear();
      senderIds_.clear();
      return removed;
    } catch (const TSqlError& e) {
      WriteFailed(e);
      return 0;
    }
  }

  const std::string path_;
  const THistoryOptions options_;
  std::atomic<bool> enabled_{false};

  std::mutex queueMutex_;
  std::condition_variable queueCv_;  // the writer waits for lines
  std::condition_variable doneCv_;   // Flush and WaitForExpiry wait for the writer
  std::deque<THistoryLine> queue_;
  // Delivery statuses waiting for the next commit, by message id (status, detail).
  std::map<std::int64_t, std::pair<std::string, std::string>> statuses_;
  std::chrono::steady_clock::time_point firstQueued_;
  std::uint64_t appended_ = 0;  // lines queued so far
  std::uint64_t done_ = 0;      // of them, lines committed (or dropped by a failed store)
  bool flushRequested_ = false;
  std::atomic<bool> readerWaiting_{false};  // flushRequested_, for the expiry to see without the lock
  bool stop_ = false;
  bool queueFullTold_ = false;  // the notice of a full queue was given
  // The expiry the writer runs between its commits, and whether a VACUUM is due.
  struct TExpiry {
    std::int64_t Limit = 0;    // lines older than this go
    std::int64_t NextId = 0;   // the first id of the next batch
    std::int64_t LastId = -1;  // the newest id when it started; -1 before its first batch
    std::int64_t Removed = 0;  // lines removed so far
    std::uint64_t Generation = 0;
  };
  std::optional<TExpiry> expiry_;
  std::uint64_t expiryGeneration_ = 0;
  bool vacuum_ = false;
  std::thread writer_;

  std::mutex writeMutex_;  // the write connection, its statements and caches
  TDb writeDb_;
  TStmt findConversation_, addConversation_, updateConversation_, findSender_, addSender_, addLine_, addFts_,
      setStatus_;
  std::map<std::pair<int, std::string>, std::int64_t> conversationIds_;
  std::unordered_map<std::string, std::int64_t> senderIds_;

  std::mutex readMutex_;  // the read connection and its statements
  TDb readDb_;
  TStmt readConversationId_, readLast_, readFrom_, readSearch_, readSearchIn_, readConversations_;

  std::mutex noticeMutex_;
  std::vector<THistoryNotice> notices_;
};

}  // namespace

std::unique_ptr<THistoryStore> THistoryStore::Open(const std::string& path, THistoryOptions options) {
  auto store = std::make_unique<TSqliteHistoryStore>(path, std::move(options));
  store->Open();
  return store;
}

}  // namespace plumo
