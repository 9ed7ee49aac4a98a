// SPDX-License-Identifier: GPL-3.0-or-later
// plumo-update --program PATH --source URL [--wait PID] [-- ARGS...]
// Replaces PATH with the signed release of URL (see updater.h), leaves the outcome in
// plumo-update.result beside PATH and restarts PATH with ARGS, also when the update failed. Exit
// status 0 when updated, 1 when the old program was kept, 2 on wrong arguments.
#include <curl/curl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "update/updater.h"

int main(int argc, char** argv) {
  using namespace plumo::update;
  Options options;
  if (!ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options)) {
    std::fputs("usage: plumo-update --program PATH --source URL [--wait PID] [-- ARGS...]\n", stderr);
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const Outcome outcome = UpdateAndReport(options);
  curl_global_cleanup();
  std::fprintf(stderr, "plumo-update: %s\n", Describe(outcome).Text);
  if (!Restart(options)) std::fputs("plumo-update: the chat could not be restarted\n", stderr);
  return outcome == Outcome::Updated ? 0 : 1;
}
