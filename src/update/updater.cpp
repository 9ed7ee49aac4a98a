// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updater.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <signal.h>
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

constexpr std::size_t kMaxChecksumFile = 4096;
constexpr long kMaxProgramBytes = 256L * 1024 * 1024;

bool KnownScheme(const std::string& source) {
  for (const char* scheme : {"ftp://", "http://", "https://", "file://"})
    if (source.rfind(scheme, 0) == 0) return true;
  return false;
}

std::string Join(const std::string& folder, const char* name) {
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

size_t ToFile(char* data, size_t size, size_t count, void* out) {
  auto* file = static_cast<std::FILE*>(out);
  return std::fwrite(data, size, count, file) * size;
}

size_t ToString(char* data, size_t size, size_t count, void* out) {
  auto* text = static_cast<std::string*>(out);
  if (text->size() + size * count > kMaxChecksumFile) return 0;  // aborts the transfer
  text->append(data, size * count);
  return size * count;
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
  curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE, kMaxProgramBytes);
  return curl_easy_perform(curl.get()) == CURLE_OK;
}

void WaitForExit(int pid) {
  if (pid <= 0) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (kill(pid, 0) == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace

const char* OutcomeText(Outcome outcome) {
  switch (outcome) {
    case Outcome::Updated:
      return "updated";
    case Outcome::BadSource:
      return "the update source is not an ftp, http, https or file address";
    case Outcome::FetchFailed:
      return "the release could not be fetched";
    case Outcome::BadChecksum:
      return "the release does not match its published checksum";
    case Outcome::ReplaceFailed:
      return "the program could not be replaced; the old one is kept";
  }
  return "";
}

std::string FileSha256(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return {};
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    EVP_DigestUpdate(ctx.get(), buffer, static_cast<std::size_t>(in.gcount()));
    if (in.eof()) break;
  }
  if (in.bad()) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string ParseChecksum(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  std::string word;
  for (std::size_t i = start; i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])); ++i)
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
  if (word.size() != 64) return {};
  for (const char c : word)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
  return word;
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

Outcome Update(const Options& options) {
  if (!KnownScheme(options.Source)) return Outcome::BadSource;
  WaitForExit(options.WaitPid);

  std::string checksumText;
  if (!Fetch(Join(options.Source, "plumo.sha256"), ToString, &checksumText)) return Outcome::FetchFailed;
  const std::string expected = ParseChecksum(checksumText);
  if (expected.empty()) return Outcome::BadChecksum;

  const fs::path program = fs::absolute(options.Program);
  const fs::path fresh = program.parent_path() / ".plumo-update.new";
  const fs::path old = program.parent_path() / ".plumo-update.old";
  std::error_code ec;
  fs::remove(fresh, ec);
  {
    std::FILE* out = std::fopen(fresh.c_str(), "wb");
    if (out == nullptr) return Outcome::ReplaceFailed;
    const bool fetched = Fetch(Join(options.Source, "plumo"), ToFile, out);
    const bool closed = std::fclose(out) == 0;
    if (!fetched || !closed) {
      fs::remove(fresh, ec);
      return Outcome::FetchFailed;
    }
  }
  if (FileSha256(fresh.string()) != expected) {
    fs::remove(fresh, ec);
    return Outcome::BadChecksum;
  }
  chmod(fresh.c_str(), 0755);
  // The old program stays under another name until the new one is in place.
  fs::remove(old, ec);
  fs::rename(program, old, ec);
  if (ec) {
    fs::remove(fresh, ec);
    return Outcome::ReplaceFailed;
  }
  fs::rename(fresh, program, ec);
  if (ec) {
    std::error_code restoreError;
    fs::rename(old, program, restoreError);
    fs::remove(fresh, restoreError);
    return Outcome::ReplaceFailed;
  }
  fs::remove(old, ec);
  return Outcome::Updated;
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
