// SPDX-License-Identifier: GPL-3.0-or-later
// The self-update of an installation the user owns. A release on the update source (a folder given
// as an ftp://, http://, https:// or file:// address) is the program file "plumo" beside its
// published checksum "plumo.sha256" (the SHA-256 in hexadecimal, as sha256sum writes it). The
// updater waits for the chat to end, fetches both, verifies the program before anything is
// replaced, puts it in place by renaming (the old program stays until the new one is complete) and
// restores the old one on any failure. It restarts the chat in every case; an unverified file is
// never run.
#pragma once

#include <string>
#include <vector>

namespace plumo::update {

struct Options {
  std::string Program;               // the chat program to replace and restart
  std::string Source;                // the release folder's address
  int WaitPid = 0;                   // the running chat, waited for (0: none)
  std::vector<std::string> Restart;  // the arguments the chat is restarted with
};

enum class Outcome {
  Updated,        // the verified release is in place
  BadSource,      // not an ftp, http, https or file address
  FetchFailed,    // the checksum or the program could not be fetched completely
  BadChecksum,    // the checksum file holds no SHA-256, or the program does not match it
  ReplaceFailed,  // the program could not be put in place (the old one was restored)
};

const char* OutcomeText(Outcome outcome);
// The SHA-256 of a file in lower-case hexadecimal; empty when it cannot be read.
std::string FileSha256(const std::string& path);
// The first word of a checksum file when it is 64 hexadecimal digits (lower-cased), else empty.
std::string ParseChecksum(const std::string& text);
// Parses "--program P --source URL [--wait PID] [-- ARGS...]"; false on anything else.
bool ParseArguments(const std::vector<std::string>& args, Options& options);
// Waits for the chat, then fetches, verifies and replaces. Does not restart.
Outcome Update(const Options& options);
// Starts the program with the restart arguments in a session of its own; false when it could not.
bool Restart(const Options& options);

}  // namespace plumo::update
