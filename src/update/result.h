// SPDX-License-Identifier: GPL-3.0-or-later
// The updater's outcome as it is handed to the restarted chat: a small file beside the program,
// "plumo-update.result", with an "outcome=" word and a "version=" (the version in place afterwards).
// The updater writes it (whole, by renaming); the chat takes it when it starts (reads and removes
// it) and tells the user. Header-only: the chat needs it without the updater's libraries.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace plumo::update {

enum class Outcome {
  Updated,        // the verified release is in place
  BadSource,      // not an ftp, http, https or file address
  FetchFailed,    // the manifest, signature or program could not be fetched completely
  BadSignature,   // no signature, or one that the release key does not verify
  BadManifest,    // a signed manifest that cannot be read
  NotNewer,       // the release is not newer than the running program (a replay, or no update)
  Mismatch,       // the program's length or SHA-512 differ from the signed manifest's
  ReplaceFailed,  // the program could not be put in place (the old one stays)
};

inline constexpr const char* kResultFile = "plumo-update.result";
// The old program is kept under the program's name with this suffix until the new one has started.
inline constexpr const char* kOldSuffix = ".old";

struct OutcomeInfo {
  Outcome What;
  const char* Name;  // the word in the result file
  const char* Key;   // the language file's text of the reason
  const char* Text;  // for the updater's standard error
};
inline constexpr OutcomeInfo kOutcomes[] = {
    {Outcome::Updated, "updated", "UpdateDone", "updated"},
    {Outcome::BadSource, "source", "UpdateWhySource",
     "the update source is not an ftp, http, https or file address"},
    {Outcome::FetchFailed, "fetch", "UpdateWhyFetch", "the release could not be fetched"},
    {Outcome::BadSignature, "signature", "UpdateWhySignature", "signature does not match"},
    {Outcome::BadManifest, "manifest", "UpdateWhyManifest", "the release manifest cannot be read"},
    {Outcome::NotNewer, "not-newer", "UpdateWhyNotNewer",
     "the release is not newer than the running program"},
    {Outcome::Mismatch, "mismatch", "UpdateWhyMismatch", "the program does not match its signed manifest"},
    {Outcome::ReplaceFailed, "replace", "UpdateWhyReplace", "the program could not be replaced"},
};

inline const OutcomeInfo& Describe(Outcome outcome) {
  for (const OutcomeInfo& info : kOutcomes)
    if (info.What == outcome) return info;
  return kOutcomes[0];
}

struct Result {
  Outcome What = Outcome::Updated;
  std::string Version;
};

// Writes the result beside the program (in folder); false when it could not.
inline bool WriteResult(const std::filesystem::path& folder, const Result& result) {
  const std::filesystem::path file = folder / kResultFile;
  const std::filesystem::path part = folder / (std::string(kResultFile) + ".part");
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << "outcome=" << Describe(result.What).Name << "\nversion=" << result.Version << "\n";
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(part, file, ec);
  return !ec;
}

// Reads and removes the result left in folder; nullopt when there is none or it cannot be read.
inline std::optional<Result> TakeResult(const std::filesystem::path& folder) {
  const std::filesystem::path file = folder / kResultFile;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::optional<Result> result;
  std::string outcome;
  std::string version;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("outcome=", 0) == 0) outcome = line.substr(8);
    if (line.rfind("version=", 0) == 0) version = line.substr(8);
  }
  in.close();
  std::error_code ec;
  std::filesystem::remove(file, ec);
  for (const OutcomeInfo& info : kOutcomes)
    if (outcome == info.Name) result = Result{info.What, version};
  return result;
}

}  // namespace plumo::update
