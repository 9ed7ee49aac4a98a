// SPDX-License-Identifier: GPL-3.0-or-later
// THistoryStore: every line the conversations show, kept in one SQLite database in the program's
// directory (write-ahead log, a full-text index over the plain text). Texts cross this interface in
// code page 1251 like everywhere in the core; the database holds UTF-8.
//
// Writing never waits for the disk: Append queues the line and a writer thread of the store commits
// the queue in one transaction at most FlushIntervalMs after its first line. The queue is bounded:
// a flood faster than the disk drops the oldest queued lines (with one notice), never the newest.
// Reading (pages of a conversation, search) runs on the caller's thread over a connection of its
// own, which the write-ahead log lets read while the writer writes.
//
// The same writer thread expires old lines (ExpireOlderThan) in small transactions, committing the
// queue before each one, so that a reader waiting for queued lines waits for one small batch at most,
// never for the whole expiry; the caller never joins a thread or waits for a VACUUM.
//
// Failures never stop the chat: a write that fails (a full disk, an unwritable file) turns the store
// off and leaves one notice; a file that is not a usable database is renamed aside on Open and a new
// one started, with a notice saying so. Notices are collected here and taken by the caller on its
// own thread (TakeNotices), since the writer thread may not call into the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lang/markup.h"  // MarkupToPlain: the plain text a line is stored and searched by

namespace plumo {

// What a stored line is.
enum class HistoryKind : std::uint8_t {
  ChannelLine = 0,  // a line said in a channel (received or own)
  Topic = 1,        // a channel's topic changed
  Private = 2,      // a private message, in either direction
  Mass = 3,         // a message to everybody, in either direction
  Notice = 4,       // a console line: joins, leaves, nick and state changes, program notices
};

// Which conversation a line belongs to: a channel by name ("#" is the console), or a peer by
// address (private and mass messages), or everybody ("@", own mass messages).
enum class ConversationKind : std::uint8_t { Channel = 0, Peer = 1, Everybody = 2 };

struct TConversationKey {
  ConversationKind Kind = ConversationKind::Channel;
  std::string Name;  // channel name, peer address, or "@"

  bool operator==(const TConversationKey&) const = default;
};

struct THistoryLine {
  std::int64_t Id = 0;      // assigned by the store, ascending in the order of Append; 0 before
  std::int64_t TimeMs = 0;  // the local clock (LocalClockMs) when the line was shown
  HistoryKind Kind = HistoryKind::ChannelLine;
  bool Outgoing = false;  // own private and mass messages
  TConversationKey Conversation;
  std::string PeerNick;  // the peer's nick at that time (Peer conversations), else empty
  std::string SenderAddress;
  std::string SenderNick;
  std::string Markup;  // the text as on the wire (colour and hot-nick markers, smiley codes)
  // The text without markup (MarkupToPlain); filled by the store.
  std::string Plain;
  // The id of a sent message (or of a received one that asked to be acknowledged), 0 for none.
  std::int64_t Message = 0;
  // That message's last stored status ("delivered 14:02", "received by 27 of 30"); filled by the
  // store's readers.
  std::string Status;

  bool operator==(const THistoryLine&) const = default;
};

// A search result: the line and its plain text with every matching word between
// kMatchOpen and kMatchClose.
struct THistoryHit {
  THistoryLine Line;
  std::string Marked;
};
inline constexpr char kMatchOpen = '\x01';
inline constexpr char kMatchClose = '\x02';

// A conversation the store knows, with how many lines it holds.
struct TStoredConversation {
  TConversationKey Key;
  std::string LastPeerNick;
  std::int64_t Lines = 0;
  std::int64_t LastTimeMs = 0;
};

// Something the user is to be told; the core words it in the user's language.
struct THistoryNotice {
  enum What : std::uint8_t {
    OpenFailed,   // no database could be opened or created: history is off
    WriteFailed,  // a write failed (full disk, read-only file): history is off from now on
    SetAside,     // the file was not a usable database: renamed to Detail, a new one started
    QueueFull,    // lines came faster than the disk takes them: the oldest queued ones were dropped,
                  // the newest Detail kept (said once per store)
  };
  What Kind = OpenFailed;
  std::string Detail;  // the file it was renamed to, or SQLite's message (code page 1251)
};

// A private message kept for a peer who is not there, until the peer comes back.
struct TWaitingMessage {
  std::int64_t Id = 0;      // the message id
  std::int64_t TimeMs = 0;  // local clock when it was kept
  std::string Nick;
  std::string Address;
  std::string KeyHex;  // the peer's key (KeyText) when it had one, else empty
  std::string Text;

  bool operator==(const TWaitingMessage&) const = default;
};

struct THistoryOptions {
  int FlushIntervalMs = 1000;
  // The most pages the database may grow to (0: no limit); lets tests and benchmarks meet a full
  // disk without filling one.
  std::int64_t MaxPageCount = 0;
  // The most lines the queue holds; past it the oldest queued lines are dropped.
  std::size_t MaxQueuedLines = 50000;
  // The most line ids one transaction of an expiry covers; it ends sooner (after a step of a few
  // hundred ids) when a reader waits for queued lines.
  int ExpireBatchIds = 2000;
  // Called on the store's thread after each committed batch of an expiry, with the lines it removed
  // so far and whether it has finished (tests and benchmarks watch the expiry through it).
  std::function<void(std::int64_t removed, bool finished)> ExpireProgress;
};

class THistoryStore {
 public:
  // Opens (or creates) the database at path. Never null: when no database can be opened at all the
  // store is off (Enabled() false) and a notice says why.
  static std::unique_ptr<THistoryStore> Open(const std::string& path, THistoryOptions options = {});
  virtual ~THistoryStore() = default;

  // False once the store has turned itself off (or could not open).
  virtual bool Enabled() const = 0;
  // Queues a line (Id and Plain are filled by the store); returns at once.
  virtual void Append(THistoryLine line) = 0;
  // Waits until every queued line is committed (shutdown, tests).
  virtual void Flush() = 0;
  // What went wrong since the last call, oldest first; each is returned once.
  virtual std::vector<THistoryNotice> TakeNotices() = 0;

  // The readers below see every line appended before the call: when lines of the conversation (for
  // an unlimited search, any lines) still wait for their commit, they wait for it first.
  //
  // The last `count` lines of a conversation with Id < beforeId, oldest first.
  virtual std::vector<THistoryLine> Last(const TConversationKey& conversation, int count,
                                         std::int64_t beforeId = INT64_MAX) = 0;
  // Up to `count` lines of a conversation with Id >= fromId, oldest first (opening a search result).
  virtual std::vector<THistoryLine> From(const TConversationKey& conversation, std::int64_t fromId,
                                         int count) = 0;
  // Lines whose plain text matches every word of query (a "quoted phrase" matches as a phrase, a
  // word ending in * matches as a prefix; everything else is taken literally), newest first, with
  // Id < beforeId; conversation limits the search to one conversation when given.
  virtual std::vector<THistoryHit> Search(const std::string& query, int limit,
                                          std::int64_t beforeId = INT64_MAX,
                                          const TConversationKey* conversation = nullptr) = 0;
  virtual std::vector<TStoredConversation> Conversations() = 0;

  // Deletions commit before they return (after the queue is flushed); they return the lines removed.
  virtual std::int64_t DeleteConversation(const TConversationKey& conversation) = 0;
  // Also gives the file's space back (VACUUM) afterwards, on the writer thread.
  virtual std::int64_t DeleteAll() = 0;
  virtual std::int64_t DeleteOlderThan(std::int64_t timeMs) = 0;
  // DeleteOlderThan on the store's writer thread in batches of ExpireBatchIds ids, so that the
  // caller never waits for it (the expiry of a chat that runs for weeks). A call while an expiry runs
  // replaces it (the newest limit counts; nothing is joined); the store's destruction lets it finish.
  virtual void ExpireOlderThan(std::int64_t timeMs) = 0;
  // Waits until a running expiry has finished (tests, benchmarks); never on the event loop.
  virtual void WaitForExpiry() = 0;

  // --- Delivery status and waiting messages, in tables of their own.
  // The status of message id as its mark shows it, with the detail (its tooltip); queued like a line
  // (a newer status of the same id replaces a queued one).
  virtual void SetDeliveryStatus(std::int64_t id, const std::string& status, const std::string& detail) = 0;
  // The highest message id stored (statuses and waiting messages); 0 for none.
  virtual std::int64_t HighestMessageId() = 0;
  // Waiting messages, written before the call returns; false when the write failed.
  virtual bool AddWaiting(const TWaitingMessage& message) = 0;
  virtual void RemoveWaiting(std::int64_t id) = 0;
  // Oldest first.
  virtual std::vector<TWaitingMessage> WaitingMessages() = 0;
};

}  // namespace plumo
