// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/keyring.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include "lang/inifile.h"
#include "lang/text_helpers.h"

namespace plumo {

namespace {

constexpr char kIdentityHeader[] = "PLUMO-IDENTITY 1";
constexpr char kSecretItem[] = "secret=";
constexpr char kMediumHeader[] = "PLUMO-MEDIUM 1\n";
// Anything longer is not an identity file (the real one is about 110 bytes).
constexpr std::size_t kMaxIdentityFile = 4096;
constexpr char kLeaseSection[] = "Lease";
constexpr char kLeaseKey[] = "Next";
// LastSeen alone is saved again only when it moved this much (a peer announces itself often).
constexpr std::int64_t kLastSeenStep = 600;
constexpr std::int64_t kSaveInterval = 5;
// Past this many keys, the least recently seen key that is neither checked nor held is forgotten
// for each new one, so that a flood of made-up keys cannot grow keys.ini without end.
constexpr std::size_t kMaxKeys = 4096;

std::string Hex(const secure::PublicKey& key) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(key.size() * 2);
  for (const std::uint8_t b : key) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

template <typename T>
std::optional<T> ParseNumber(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  T value{};
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string Reason(const char* what) {
  return std::string("identity.key: ") + what;
}

std::string ErrnoReason(const char* what, int error) {
  return Reason(what) + " (" + std::strerror(error) + ")";
}

// Creates path empty with mode 0600 when it does not exist, and takes group and other permissions
// off an existing one, so that the atomic replacements (which keep a file's mode) stay private.
void MakePrivate(const FsPath& path) {
  const std::string name = path.Utf8();
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return;
  }
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(name.c_str(), st.st_mode & 0700);
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void SyncDirectory(const FsPath& dir) {
  const int fd = ::open(dir.Utf8().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Writes text as a new file named path, whole or not at all: into a temporary file (mode 0600),
// flushed, then linked to its name, which fails when the name exists. 0 or the errno.
int CreateWhole(const FsPath& path, const std::string& text) {
  std::string tmpl = path.Utf8() + ".tmp-XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  if (::fchmod(fd, 0600) != 0 || !WriteAll(fd, text) || ::fsync(fd) != 0) error = errno ? errno : EIO;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::link(tmpl.c_str(), path.Utf8().c_str()) != 0) error = errno;
  ::unlink(tmpl.c_str());
  if (!error) SyncDirectory(path.Parent());
  return error;
}

// Replaces path with text whole or not at all: a temporary file (mode 0600), flushed, renamed over it.
bool ReplaceWhole(const FsPath& path, const std::string& text) {
  std::string tmpl = path.Utf8() + ".tmp-XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmpl.c_str(), path.Utf8().c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  SyncDirectory(path.Parent());
  return true;
}

enum class ReadResult { Read, Missing, Failed };

ReadResult ReadSmallFile(const FsPath& path, std::string& text, int& error) {
  const int fd = ::open(path.Utf8().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  }
  text.resize(kMaxIdentityFile + 1);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      ::close(fd);
      secure::Wipe(text);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(done);
  return ReadResult::Read;
}

}  // namespace

TKeyring::TKeyring(FsPath dir) : dir_(std::move(dir)) {
  bool created = false;
  OpenIdentity(created);
  if (identity_) LeaseCounters(created);
  LoadKeys();
}

void TKeyring::OpenIdentity(bool& created) {
  const FsPath path = dir_ / "identity.key";
  std::string text;
  int error = 0;
  switch (ReadSmallFile(path, text, error)) {
    case ReadResult::Failed:
      damaged_ = ErrnoReason("cannot be read", error);
      return;
    case ReadResult::Missing: {
      secure::TIdentity fresh = secure::TIdentity::Generate();
      std::string secret(fresh.Secret());
      std::string file = std::string(kIdentityHeader) + "\n" + kSecretItem + secure::Base64(secret) + "\n";
      secure::Wipe(secret);
      error = CreateWhole(path, file);
      secure::Wipe(file);
      if (error == 0) {
        identity_ = std::move(fresh);
        created = true;
        return;
      }
      if (error != EEXIST) {
        damaged_ = ErrnoReason("cannot be created", error);
        return;
      }
      // Another copy of the program made it a moment ago: use that one.
      if (ReadSmallFile(path, text, error) != ReadResult::Read) {
        damaged_ = ErrnoReason("cannot be read", error);
        return;
      }
      break;
    }
    case ReadResult::Read:
      break;
  }

  // The header line, then "name=value" lines; names other than secret are kept for later versions.
  std::optional<secure::TIdentity> identity;
  bool header = false;
  bool secretSeen = false;
  std::size_t at = 0;
  bool damagedSecret = text.size() > kMaxIdentityFile;
  while (!damagedSecret && at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!header) {
      if (line != kIdentityHeader) break;
      header = true;
    } else if (line.rfind(kSecretItem, 0) == 0) {
      auto secret = secure::FromBase64(line.substr(std::strlen(kSecretItem)));
      if (secretSeen || !secret) {
        damagedSecret = true;
      } else {
        secretSeen = true;
        identity = secure::TIdentity::FromSecret(*secret);
        if (!identity) damaged_ = Reason("the secret key does not match its public key");
        secure::Wipe(*secret);
      }
    }
  }
  secure::Wipe(text);
  if (!header) {
    damaged_ = Reason("not a Plumo identity file");
  } else if (damagedSecret || !secretSeen) {
    damaged_ = Reason("the secret key is missing or damaged");
    identity.reset();
  }
  if (damaged_.empty()) identity_ = std::move(identity);
}

bool TKeyring::WriteLease(std::uint64_t next) {
  const FsPath path = dir_ / "identity.counter";
  MakePrivate(path);
  TIniFile file(path);
  return file.WriteString(kLeaseSection, kLeaseKey, std::to_string(next));
}

void TKeyring::LeaseCounters(bool freshIdentity) {
  TIniFile file(dir_ / "identity.counter");
  file.RemoveStaleTemporaries();
  std::optional<std::uint64_t> start = ParseNumber<std::uint64_t>(file.Read(kLeaseSection, kLeaseKey));
  if (!start || *start == 0 || *start > UINT64_MAX / 2) {
    // Nothing to go on: a new identity starts at 1. An existing one may have numbered messages
    // already, which its peers would take for replays; the clock is past any number used so far.
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    start = freshIdentity ? 1 : std::max<std::uint64_t>(1, static_cast<std::uint64_t>(micros));
  }
  counter_ = *start;
  leasedTo_ = counter_ + kLease;
  // When the lease cannot be written, this run still numbers from it; a later run may then repeat
  // numbers that its peers refuse as replays, which is all that can happen.
  WriteLease(leasedTo_);
}

bool TKeyring::RenewMedium(std::int64_t now) {
  // Called for every message: the common case, nothing due, costs two comparisons.
  if (!identity_ || (mediumRead_ && !identity_->MediumDue(now))) return false;
  const FsPath path = dir_ / "identity.medium";
  if (!mediumRead_) {
    mediumRead_ = true;
    std::string text;
    int error = 0;
    if (ReadSmallFile(path, text, error) == ReadResult::Read && text.rfind(kMediumHeader, 0) == 0)
      identity_->RestoreMedium(std::string_view(text).substr(std::strlen(kMediumHeader)), now);
    secure::Wipe(text);
  }
  if (!identity_->MediumDue(now)) return false;
  identity_->RenewMedium(now);
  std::string secrets = identity_->SavedMedium();
  std::string file = std::string(kMediumHeader) + secrets;
  // When it cannot be saved the key is used all the same: after a restart messages sealed to it
  // cannot be opened, which the sender's resends and "not delivered" show.
  ReplaceWhole(path, file);
  secure::Wipe(secrets);
  secure::Wipe(file);
  return true;
}

std::uint64_t TKeyring::NextCounter() {
  if (!identity_) return 0;
  if (counter_ >= leasedTo_) {
    leasedTo_ += kLease;
    WriteLease(leasedTo_);
  }
  return counter_++;
}

void TKeyring::LoadKeys() {
  TIniFile file(dir_ / "keys.ini");
  file.RemoveStaleTemporaries();
  std::vector<const TKnownKey*> byLastSeen;
  for (const std::string& section : file.ReadSections()) {
    const auto key = secure::KeyFromText(file.ReadString(section, "Key", ""));
    if (!key || keys_.count(*key)) continue;
    std::string lower = section;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (lower != Hex(*key)) continue;
    TKnownKey known;
    known.Key = *key;
    known.Nick = file.ReadString(section, "Nick", "");
    known.Address = file.ReadString(section, "Address", "");
    known.FirstSeen = ParseNumber<std::int64_t>(file.Read(section, "FirstSeen")).value_or(0);
    known.LastSeen = ParseNumber<std::int64_t>(file.Read(section, "LastSeen")).value_or(0);
    known.Checked = file.ReadBool(section, "Checked", false);
    known.Counter = ParseNumber<std::uint64_t>(file.Read(section, "Counter")).value_or(0);
    const auto replaced = file.Read(section, "Replaced");
    if (replaced) known.Replaced = secure::KeyFromText(*replaced);
    if (known.Counter) windows_.emplace(*key, secure::TReplayWindow(known.Counter));
    if (file.ReadBool(section, "Held", false)) held_[*key] = true;
    byLastSeen.push_back(&keys_.emplace(*key, std::move(known)).first->second);
  }
  // Each label goes to the key seen with it last.
  std::stable_sort(byLastSeen.begin(), byLastSeen.end(),
                   [](const TKnownKey* a, const TKnownKey* b) { return a->LastSeen < b->LastSeen; });
  for (const TKnownKey* known : byLastSeen) Bind(known->Key, {known->Nick, known->Address});
}

void TKeyring::Bind(const secure::PublicKey& key, const Label& label) {
  const auto old = labelOf_.find(key);
  if (old != labelOf_.end()) {
    const auto b = bound_.find(old->second);
    if (b != bound_.end() && b->second == key) bound_.erase(b);
  }
  const auto previous = bound_.find(label);
  if (previous != bound_.end() && previous->second != key) labelOf_.erase(previous->second);
  bound_[label] = key;
  labelOf_[key] = label;
}

TKeySighting TKeyring::Sighted(const secure::PublicKey& key, const std::string& nick,
                               const std::string& address, std::int64_t now) {
  TKeySighting result;
  const auto it = keys_.find(key);
  // The common case, a known key with its labels again: nothing but LastSeen may change.
  if (it != keys_.end() && it->second.Nick == nick && it->second.Address == address) {
    const auto bound = labelOf_.find(key);  // a key's label is in labelOf_ only while bound to it
    if (bound != labelOf_.end() && bound->second.first == nick && bound->second.second == address) {
      TKnownKey& known = it->second;
      if (now - known.LastSeen >= kLastSeenStep) dirty_.insert(key);
      known.LastSeen = std::max(known.LastSeen, now);
      return result;
    }
  }
  const Label label{nick, address};
  const auto bound = bound_.find(label);
  if (it != keys_.end()) {
    TKnownKey& known = it->second;
    const bool relabelled = known.Nick != nick || known.Address != address;
    const bool rebound = bound == bound_.end() || bound->second != key;
    if (relabelled || rebound || now - known.LastSeen >= kLastSeenStep) dirty_.insert(key);
    known.Nick = nick;
    known.Address = address;
    known.LastSeen = std::max(known.LastSeen, now);
    Bind(key, label);
    return result;
  }

  TKnownKey fresh;
  fresh.Key = key;
  fresh.Nick = nick;
  fresh.Address = address;
  fresh.FirstSeen = now;
  fresh.LastSeen = now;
  result.What = TKeySighting::FirstSeen;
  if (bound != bound_.end()) {
    const secure::PublicKey previous = bound->second;
    const auto old = keys_.find(previous);
    const bool guarded = Held(previous) || (old != keys_.end() && old->second.Checked);
    result.What = guarded ? TKeySighting::ChangedChecked : TKeySighting::Changed;
    result.Previous = previous;
    fresh.Replaced = previous;
    if (guarded) held_[key] = true;
  }

  if (keys_.size() >= kMaxKeys) {
    const TKnownKey* oldest = nullptr;
    for (const auto& [k, known] : keys_)
      if (!known.Checked && !Held(k) && (!oldest || known.LastSeen < oldest->LastSeen)) oldest = &known;
    if (oldest) {
      const secure::PublicKey gone = oldest->Key;
      const auto goneLabel = labelOf_.find(gone);
      if (goneLabel != labelOf_.end()) {
        bound_.erase(goneLabel->second);
        labelOf_.erase(goneLabel);
      }
      windows_.erase(gone);
      keys_.erase(gone);
      dirty_.insert(gone);  // its section goes at the next save
    }
  }
  keys_.emplace(key, std::move(fresh));
  dirty_.insert(key);
  Bind(key, label);
  return result;
}

std::optional<secure::PublicKey> TKeyring::KeyOf(const std::string& nick, const std::string& address) const {
  const auto it = bound_.find({nick, address});
  if (it == bound_.end()) return std::nullopt;
  return it->second;
}

const TKnownKey* TKeyring::Find(const secure::PublicKey& key) const {
  const auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : &it->second;
}

std::vector<const TKnownKey*> TKeyring::WithNick(const std::string& nick) const {
  std::vector<const TKnownKey*> found;
  for (const auto& [key, known] : keys_)
    if (known.Nick == nick) found.push_back(&known);
  return found;
}

void TKeyring::SetChecked(const secure::PublicKey& key, bool checked) {
  const auto it = keys_.find(key);
  if (it == keys_.end()) return;
  if (checked) held_.erase(key);
  it->second.Checked = checked;
  dirty_.insert(key);
}

void TKeyring::Trust(const secure::PublicKey& key) {
  if (held_.erase(key) && keys_.count(key)) dirty_.insert(key);
}

bool TKeyring::Held(const secure::PublicKey& key) const {
  return held_.count(key) != 0;
}

bool TKeyring::AcceptCounter(const secure::PublicKey& key, std::uint64_t counter) {
  // Windows of keys never sighted are kept in memory only; they must not pile up without end.
  if (windows_.size() >= 2 * kMaxKeys && !windows_.count(key))
    std::erase_if(windows_, [this](const auto& entry) { return !keys_.count(entry.first); });
  secure::TReplayWindow& window = windows_[key];
  if (!window.Accept(counter)) return false;
  const auto it = keys_.find(key);
  if (it != keys_.end() && it->second.Counter != window.Top()) {
    it->second.Counter = window.Top();
    dirty_.insert(key);
  }
  return true;
}

bool TKeyring::SeenBefore(const secure::PublicKey& key, std::uint64_t counter) const {
  const auto it = windows_.find(key);
  return it != windows_.end() && it->second.Seen(counter);
}

bool TKeyring::SaveDue(std::int64_t now) const {
  return !dirty_.empty() && now - savedAt_ >= kSaveInterval;
}

bool TKeyring::Save(std::int64_t now) {
  savedAt_ = now;
  if (dirty_.empty()) return true;
  const FsPath path = dir_ / "keys.ini";
  MakePrivate(path);
  TIniFile file(path);
  file.BeginUpdate();
  bool ok = true;
  for (const secure::PublicKey& key : dirty_) {
    const auto it = keys_.find(key);
    if (it == keys_.end()) {
      ok = file.EraseSection(Hex(key)) && ok;
      continue;
    }
    const TKnownKey& known = it->second;
    std::vector<std::pair<std::string, std::string>> entries = {
        {"Key", secure::KeyText(key)},  // labels lose control characters, which no INI value keeps
        {"Nick", ControlsToBlanks(known.Nick)},
        {"Address", ControlsToBlanks(known.Address)},
        {"FirstSeen", std::to_string(known.FirstSeen)},
        {"LastSeen", std::to_string(known.LastSeen)},
        {"Checked", known.Checked ? "1" : "0"},
        {"Counter", std::to_string(known.Counter)},
    };
    if (known.Replaced) entries.emplace_back("Replaced", secure::KeyText(*known.Replaced));
    if (Held(key)) entries.emplace_back("Held", "1");
    ok = file.ReplaceSection(Hex(key), entries) && ok;
  }
  ok = file.EndUpdate() && ok;
  if (ok) dirty_.clear();
  return ok;
}

}  // namespace plumo
