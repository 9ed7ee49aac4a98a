// SPDX-License-Identifier: GPL-3.0-or-later
// plumo-sign keygen SECRET_FILE
//   Makes a release key pair: the secret key goes to SECRET_FILE (created, readable by its owner
//   only), the public key to standard output, for the build's PLUMO_RELEASE_PUBLIC_KEY.
// plumo-sign sign FOLDER VERSION [DATE]
//   Signs the release in FOLDER (its program "plumo"): writes plumo.manifest and plumo.sig there.
//   The secret key is read from the file named by PLUMO_RELEASE_SECRET_KEY_FILE, or taken from
//   PLUMO_RELEASE_SECRET_KEY (hexadecimal). DATE defaults to today (UTC).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "update/updater.h"

namespace {

using namespace plumo::update;
namespace fs = std::filesystem;

int KeyGen(const char* path) {
  std::string publicKey;
  std::string secretKey;
  if (!MakeKeyPair(publicKey, secretKey)) return 1;
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "plumo-sign: cannot create %s (it must not exist yet)\n", path);
    return 1;
  }
  secretKey += '\n';
  const bool written =
      write(fd, secretKey.data(), secretKey.size()) == static_cast<ssize_t>(secretKey.size());
  close(fd);
  if (!written) return 1;
  std::printf("%s\n", publicKey.c_str());
  return 0;
}

std::string SecretKey() {
  if (const char* file = std::getenv("PLUMO_RELEASE_SECRET_KEY_FILE"); file != nullptr && *file) {
    std::ifstream in(file);
    std::string key;
    in >> key;
    return key;
  }
  const char* key = std::getenv("PLUMO_RELEASE_SECRET_KEY");
  return key != nullptr ? key : "";
}

int SignRelease(const fs::path& folder, const std::string& version, std::string date) {
  std::optional<Manifest> manifest = DescribeFile((folder / "plumo").string());
  if (!manifest) {
    std::fprintf(stderr, "plumo-sign: cannot read %s\n", (folder / "plumo").c_str());
    return 1;
  }
  if (date.empty()) {
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(today, sizeof today, "%Y-%m-%d", &utc);
    date = today;
  }
  manifest->Version = version;
  manifest->Date = date;
  const std::string text = ManifestText(*manifest);
  if (!ParseManifest(text)) {
    std::fprintf(stderr, "plumo-sign: %s is not a version of dotted numbers\n", version.c_str());
    return 1;
  }
  const std::string signature = Sign(text, SecretKey());
  if (signature.empty()) {
    std::fputs(
        "plumo-sign: set PLUMO_RELEASE_SECRET_KEY_FILE or PLUMO_RELEASE_SECRET_KEY to the secret key\n",
        stderr);
    return 1;
  }
  std::ofstream(folder / "plumo.manifest", std::ios::binary) << text;
  std::ofstream(folder / "plumo.sig", std::ios::binary) << signature << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "keygen" && argc == 3) return KeyGen(argv[2]);
  if (command == "sign" && (argc == 4 || argc == 5))
    return SignRelease(argv[2], argv[3], argc == 5 ? argv[4] : "");
  std::fputs("usage: plumo-sign keygen SECRET_FILE | plumo-sign sign FOLDER VERSION [DATE]\n", stderr);
  return 2;
}
