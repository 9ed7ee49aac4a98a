// SPDX-License-Identifier: GPL-3.0-or-later
// The self-update of an installation the user owns. A release on the update source (a folder given
// as an ftp://, http://, https:// or file:// address) is three files:
//   plumo           the program
//   plumo.manifest  "version=", "date=", "size=" and "sha512=" lines: the release's version, its
//                   date, and the program's length and SHA-512 (hexadecimal)
//   plumo.sig       the Ed25519 signature of the manifest's bytes (hexadecimal, libsodium's
//                   crypto_sign_detached)
// The signature covers the manifest and the manifest binds the program, so one signature vouches
// for both. The updater waits for the chat to end, fetches the manifest and its signature, checks
// the signature with the release key built into the program and that the version is newer than the
// running one (an old signed release cannot be replayed), then fetches the program and checks its
// length and SHA-512 before anything is replaced. The transport is not trusted for anything.
// The new program is written and flushed beside the old one and renamed over it in one step, so the
// program's path always names a complete program; the old one is kept as "plumo.old" until the new
// one has started once. The outcome is left in a result file that the restarted chat reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/result.h"

namespace plumo::update {

struct Options {
  std::string Program;               // the chat program to replace and restart
  std::string Source;                // the release folder's address
  int WaitPid = 0;                   // the running chat, waited for (0: none)
  std::vector<std::string> Restart;  // the arguments the chat is restarted with
  std::string CurrentVersion;        // the running version; empty: this build's
  std::string PublicKey;             // the release key in hexadecimal; empty: the built-in one
};

struct Manifest {
  std::string Version;  // dotted numbers, e.g. "0.6.0"
  std::string Date;
  std::uint64_t Size = 0;
  std::string Sha512;  // lower-case hexadecimal
};

// The release key this build trusts (64 hexadecimal digits; set with PLUMO_RELEASE_PUBLIC_KEY).
const char* BuiltInPublicKey();
// This build's version.
const char* BuildVersion();

// The manifest's text as signed, and back; nullopt unless every field is present and well-formed.
std::string ManifestText(const Manifest& manifest);
std::optional<Manifest> ParseManifest(const std::string& text);
// Compares dotted version numbers component by component ("0.10" > "0.9", "1.0" == "1");
// negative, zero or positive.
int CompareVersions(const std::string& a, const std::string& b);
// The length and SHA-512 of a file; nullopt when it cannot be read.
std::optional<Manifest> DescribeFile(const std::string& path);

// Ed25519 through libsodium, keys and signatures in hexadecimal.
bool MakeKeyPair(std::string& publicKey, std::string& secretKey);
// The signature of message; empty when the secret key is not 128 hexadecimal digits.
std::string Sign(const std::string& message, const std::string& secretKey);
bool Verify(const std::string& message, const std::string& signature, const std::string& publicKey);

// Parses "--program P --source URL [--wait PID] [-- ARGS...]"; false on anything else.
bool ParseArguments(const std::vector<std::string>& args, Options& options);
// Waits for the chat, then fetches, verifies and replaces. Does not restart. version is set to the
// version in place afterwards (the new one when updated, else the running one).
Outcome Update(const Options& options, std::string& version);
// Update, then leaves the outcome in the result file beside the program.
Outcome UpdateAndReport(const Options& options);
// Starts the program with the restart arguments in a session of its own; false when it could not.
bool Restart(const Options& options);

}  // namespace plumo::update
