// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updater.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace plumo::update {

namespace fs = std::filesystem;

namespace {

// The manifest and the signature are a few hundred bytes; anything longer is not one of ours.
constexpr std::size_t kMaxSmallFile = 4096;
constexpr std::uint64_t kMaxProgramBytes = 256ULL * 1024 * 1024;

bool KnownScheme(const std::string& source) {
  for (const char* scheme : {"ftp://", "http://", "https://", "file://"})
    if (source.rfind(scheme, 0) == 0) return true;
  return false;
}

std::string Join(const std::string& folder, const char* name) {
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ToHex(const unsigned char* data, std::size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), data, size);
  hex.pop_back();
  return hex;
}

// Exactly size bytes from hexadecimal text (surrounding white space allowed); false otherwise.
bool FromHex(const std::string& text, unsigned char* out, std::size_t size) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  if (last - first != size * 2) return false;
  std::size_t length = 0;
  return sodium_hex2bin(out, size, text.data() + first, last - first, nullptr, &length, nullptr) == 0 &&
         length == size;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

size_t ToString(char* data, size_t size, size_t count, void* out) {
  auto* text = static_cast<std::string*>(out);
  if (text->size() + size * count > kMaxSmallFile) return 0;  // aborts the transfer
  text->append(data, size * count);
  return size * count;
}

// The program as it arrives: written to the file, hashed, and refused past the signed length.
struct ProgramSink {
  std::FILE* File = nullptr;
  std::uint64_t Limit = 0;
  std::uint64_t Written = 0;
  bool TooLong = false;
  crypto_hash_sha512_state Hash{};
};

size_t ToProgram(char* data, size_t size, size_t count, void* out) {
  auto* sink = static_cast<ProgramSink*>(out);
  const std::size_t bytes = size * count;
  if (sink->Written + bytes > sink->Limit) {
    sink->TooLong = true;
    return 0;
  }
  if (std::fwrite(data, 1, bytes, sink->File) != bytes) return 0;
  crypto_hash_sha512_update(&sink->Hash, reinterpret_cast<const unsigned char*>(data), bytes);
  sink->Written += bytes;
  return bytes;
}

// One transfer; false on any error, an HTTP error status included, or a transfer cut short.
bool Fetch(const std::string& url, curl_write_callback write, void* out) {
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return false;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, write);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, out);
  curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "ftp,http,https,file");
  curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "ftp,http,https");
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxProgramBytes));
  return curl_easy_perform(curl.get()) == CURLE_OK;
}

void WaitForExit(int pid) {
  if (pid <= 0) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (kill(pid, 0) == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// Flushes a folder's entries (a rename in it) to the disk.
void SyncFolder(const fs::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Keeps the program as old: a second name for the same file where the file system allows it, a
// copy otherwise. The program's own name is never without a file.
bool KeepOld(const fs::path& program, const fs::path& old) {
  std::error_code ec;
  fs::remove(old, ec);
  if (link(program.c_str(), old.c_str()) == 0) return true;
  return fs::copy_file(program, old, ec) && !ec;
}

// Fetches the program into fresh, flushed to the disk; Mismatch unless it has the manifest's length
// and SHA-512.
Outcome FetchProgram(const std::string& url, const fs::path& fresh, const Manifest& manifest) {
  ProgramSink sink;
  sink.Limit = manifest.Size;
  crypto_hash_sha512_init(&sink.Hash);
  sink.File = std::fopen(fresh.c_str(), "wb");
  if (sink.File == nullptr) return Outcome::ReplaceFailed;
  const bool fetched = Fetch(url, ToProgram, &sink);
  const bool flushed = std::fflush(sink.File) == 0 && fsync(fileno(sink.File)) == 0;
  const bool closed = std::fclose(sink.File) == 0;
  if (!flushed || !closed) return Outcome::ReplaceFailed;
  if (!fetched && !sink.TooLong) return Outcome::FetchFailed;
  unsigned char digest[crypto_hash_sha512_BYTES];
  crypto_hash_sha512_final(&sink.Hash, digest);
  if (!fetched || sink.Written != manifest.Size || ToHex(digest, sizeof digest) != manifest.Sha512)
    return Outcome::Mismatch;
  return Outcome::Updated;
}

}  // namespace

const char* BuiltInPublicKey() {
  return PLUMO_RELEASE_PUBLIC_KEY;
}
const char* BuildVersion() {
  return PLUMO_VERSION_TEXT;
}

std::string ManifestText(const Manifest& manifest) {
  return "version=" + manifest.Version + "\ndate=" + manifest.Date +
         "\nsize=" + std::to_string(manifest.Size) + "\nsha512=" + manifest.Sha512 + "\n";
}

std::optional<Manifest> ParseManifest(const std::string& text) {
  Manifest manifest;
  bool hasSize = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "version") manifest.Version = value;
    if (key == "date") manifest.Date = value;
    if (key == "sha512") manifest.Sha512 = value;
    if (key == "size") {
      if (value.empty() || value.size() > 12 || value.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
      manifest.Size = std::stoull(value);
      hasSize = true;
    }
  }
  const bool version = !manifest.Version.empty() &&
                       std::isdigit(static_cast<unsigned char>(manifest.Version[0])) &&
                       manifest.Version.find_first_not_of("0123456789.") == std::string::npos &&
                       manifest.Version.back() != '.' && manifest.Version.find("..") == std::string::npos;
  const bool sha = manifest.Sha512.size() == crypto_hash_sha512_BYTES * 2 &&
                   manifest.Sha512.find_first_not_of("0123456789abcdef") == std::string::npos;
  if (!version || !sha || !hasSize || manifest.Size == 0 || manifest.Size > kMaxProgramBytes)
    return std::nullopt;
  return manifest;
}

int CompareVersions(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() || j < b.size()) {
    unsigned long long x = 0;
    unsigned long long y = 0;
    for (; i < a.size() && a[i] != '.'; ++i) x = x * 10 + static_cast<unsigned>(a[i] - '0');
    for (; j < b.size() && b[j] != '.'; ++j) y = y * 10 + static_cast<unsigned>(b[j] - '0');
    if (x != y) return x < y ? -1 : 1;
    if (i < a.size()) ++i;
    if (j < b.size()) ++j;
  }
  return 0;
}

std::optional<Manifest> DescribeFile(const std::string& path) {
  if (sodium_init() < 0) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  crypto_hash_sha512_state state;
  crypto_hash_sha512_init(&state);
  Manifest manifest;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    const auto n = static_cast<std::size_t>(in.gcount());
    crypto_hash_sha512_update(&state, reinterpret_cast<const unsigned char*>(buffer), n);
    manifest.Size += n;
    if (in.eof()) break;
  }
  if (in.bad()) return std::nullopt;
  unsigned char digest[crypto_hash_sha512_BYTES];
  crypto_hash_sha512_final(&state, digest);
  manifest.Sha512 = ToHex(digest, sizeof digest);
  return manifest;
}

bool MakeKeyPair(std::string& publicKey, std::string& secretKey) {
  if (sodium_init() < 0) return false;
  unsigned char pk[crypto_sign_PUBLICKEYBYTES];
  unsigned char sk[crypto_sign_SECRETKEYBYTES];
  crypto_sign_keypair(pk, sk);
  publicKey = ToHex(pk, sizeof pk);
  secretKey = ToHex(sk, sizeof sk);
  sodium_memzero(sk, sizeof sk);
  return true;
}

std::string Sign(const std::string& message, const std::string& secretKey) {
  unsigned char sk[crypto_sign_SECRETKEYBYTES];
  if (sodium_init() < 0 || !FromHex(secretKey, sk, sizeof sk)) return {};
  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size(), sk);
  sodium_memzero(sk, sizeof sk);
  return ToHex(signature, sizeof signature);
}

bool Verify(const std::string& message, const std::string& signature, const std::string& publicKey) {
  unsigned char pk[crypto_sign_PUBLICKEYBYTES];
  unsigned char sig[crypto_sign_BYTES];
  if (sodium_init() < 0 || !FromHex(publicKey, pk, sizeof pk) || !FromHex(signature, sig, sizeof sig))
    return false;
  return crypto_sign_verify_detached(sig, reinterpret_cast<const unsigned char*>(message.data()),
                                     message.size(), pk) == 0;
}

bool ParseArguments(const std::vector<std::string>& args, Options& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      options.Restart.assign(args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (i + 1 >= args.size()) return false;
    if (a == "--program") {
      options.Program = args[++i];
    } else if (a == "--source") {
      options.Source = args[++i];
    } else if (a == "--wait") {
      try {
        options.WaitPid = std::stoi(args[++i]);
      } catch (...) {
        return false;
      }
    } else {
      return false;
    }
  }
  return !options.Program.empty() && !options.Source.empty();
}

Outcome Update(const Options& options, std::string& version) {
  version = options.CurrentVersion.empty() ? BuildVersion() : options.CurrentVersion;
  if (!KnownScheme(options.Source)) return Outcome::BadSource;
  if (sodium_init() < 0) return Outcome::BadSignature;
  WaitForExit(options.WaitPid);

  // The signed manifest first: nothing else is fetched for a release that is not ours or not newer.
  std::string manifestText;
  std::string signature;
  if (!Fetch(Join(options.Source, "plumo.manifest"), ToString, &manifestText)) return Outcome::FetchFailed;
  if (!Fetch(Join(options.Source, "plumo.sig"), ToString, &signature)) return Outcome::BadSignature;
  const std::string key = options.PublicKey.empty() ? BuiltInPublicKey() : options.PublicKey;
  if (!Verify(manifestText, signature, key)) return Outcome::BadSignature;
  const std::optional<Manifest> manifest = ParseManifest(manifestText);
  if (!manifest) return Outcome::BadManifest;
  if (CompareVersions(manifest->Version, version) <= 0) return Outcome::NotNewer;

  const fs::path program = fs::absolute(options.Program);
  const fs::path folder = program.parent_path();
  const fs::path fresh = folder / ".plumo-update.new";
  const fs::path old = program.string() + kOldSuffix;
  std::error_code ec;
  fs::remove(fresh, ec);
  const Outcome fetched = FetchProgram(Join(options.Source, "plumo"), fresh, *manifest);
  if (fetched != Outcome::Updated) {
    fs::remove(fresh, ec);
    return fetched;
  }
  // The switch: the complete, flushed file takes the program's name in one rename.
  if (chmod(fresh.c_str(), 0755) != 0 || !KeepOld(program, old) ||
      std::rename(fresh.c_str(), program.c_str()) != 0) {
    fs::remove(fresh, ec);
    fs::remove(old, ec);
    return Outcome::ReplaceFailed;
  }
  SyncFolder(folder);
  version = manifest->Version;
  return Outcome::Updated;
}

Outcome UpdateAndReport(const Options& options) {
  std::string version;
  const Outcome outcome = Update(options, version);
  WriteResult(fs::absolute(options.Program).parent_path(), Result{outcome, version});
  return outcome;
}

bool Restart(const Options& options) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setsid();
    std::vector<char*> argv;
    std::string program = options.Program;
    argv.push_back(program.data());
    std::vector<std::string> args = options.Restart;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return true;
}

}  // namespace plumo::update
