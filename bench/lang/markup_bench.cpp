// SPDX-License-Identifier: GPL-3.0-or-later
// The line grammar on lines of N characters: runs of ":#" (openers that never close, the worst case of
// a reader that looks ahead for a closer) and an ordinary chat line repeated, parsed with the
// window's rules (nick pairs, links, a table of smiley codes) and turned into plain text as the
// history store does. per_char staying flat from 1,000 to 100,000 characters shows linear time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "lang/markup.h"

namespace {

using namespace plumo;

std::string Repeat(const std::string& unit, std::size_t length) {
  std::string out;
  while (out.size() < length) out += unit;
  out.resize(length);
  return out;
}

const std::vector<std::string> kCodes = {":)", ";)", ":(", ":D", ":P", "8)", ":-)", ":o", "B)", ":'("};

std::string LineFor(int kind, std::size_t length) {
  return kind == 0 ? Repeat(":#", length)
                   : Repeat("#^666666[10:15:02] #^000000:#guest^#K: see www.example.org :) ok ", length);
}

// Time per character, shown as "ns" (a rate of characters, inverted).
void PerChar(benchmark::State& state, std::size_t length) {
  state.counters["per_char"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(length),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ParseMarkup(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(1));
  const std::string line = LineFor(static_cast<int>(state.range(0)), length);
  MarkupRules rules;
  rules.Smileys = kCodes;
  for (auto _ : state) benchmark::DoNotOptimize(ParseMarkup(line, rules));
  PerChar(state, length);
}
BENCHMARK(BM_ParseMarkup)->ArgsProduct({{0, 1}, {1000, 100000}})->Unit(benchmark::kMicrosecond);

void BM_MarkupToPlain(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(1));
  const std::string line = LineFor(static_cast<int>(state.range(0)), length);
  for (auto _ : state) benchmark::DoNotOptimize(MarkupToPlain(line));
  PerChar(state, length);
}
BENCHMARK(BM_MarkupToPlain)->ArgsProduct({{0, 1}, {1000, 100000}})->Unit(benchmark::kMicrosecond);

}  // namespace
