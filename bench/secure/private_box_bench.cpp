// SPDX-License-Identifier: GPL-3.0-or-later
// Sealing and opening a private message of N characters between two fixed identities, and refusing
// a tampered envelope (what a flood of forged envelopes costs the receiver). The difference between
// 1 and 1,900 characters is the cipher's share; the key exchange is made once per peer and kept by
// the identity (BM_OpenFromNewPeer shows what it costs).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "secure/private_box.h"

namespace {

using namespace plumo::secure;

constexpr std::int64_t kNow = 1'800'000'000;

TIdentity WithMedium(char seed) {
  TIdentity identity = std::move(*TIdentity::FromSeed(std::string(32, seed)));
  identity.RenewMedium(kNow);
  return identity;
}

const TIdentity& Fixed(char seed) {
  static const bool ready = SecureInit();
  if (!ready) std::abort();
  static const TIdentity anna = WithMedium('a');
  static const TIdentity bob = WithMedium('b');
  return seed == 'a' ? anna : bob;
}

std::string Text(std::size_t length) {
  std::string text;
  while (text.size() < length) text += "\xcf\xf0\xe8\xe2\xe5\xf2, how are you? ";  // cp1251 and ASCII
  text.resize(length);
  return text;
}

void BM_Seal(benchmark::State& state) {
  const std::string text = Text(static_cast<std::size_t>(state.range(0)));
  std::uint64_t counter = 1;
  for (auto _ : state)
    benchmark::DoNotOptimize(Seal(Fixed('a'), Fixed('b').Public(), counter++, BodyKind::Text, "anna", text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Seal)->Arg(1)->Arg(1900);

void BM_Open(benchmark::State& state) {
  const std::string text = Text(static_cast<std::size_t>(state.range(0)));
  const auto sealed = Seal(Fixed('a'), Fixed('b').Public(), 1, BodyKind::Text, "anna", text);
  for (auto _ : state) {
    auto opened = Open(Fixed('b'), sealed->Field, kNow);
    if (!opened) state.SkipWithError("did not open");
    benchmark::DoNotOptimize(opened);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Open)->Arg(1)->Arg(1900);

// Version 2, between the two medium-term keys.
void BM_OpenMedium(benchmark::State& state) {
  const std::string text = Text(static_cast<std::size_t>(state.range(0)));
  const auto sealed =
      Seal(Fixed('a'), Fixed('b').Public(), *Fixed('b').Medium(), kNow, 1, BodyKind::Text, "anna", text);
  for (auto _ : state) {
    auto opened = Open(Fixed('b'), sealed->Field, kNow);
    if (!opened) state.SkipWithError("did not open");
    benchmark::DoNotOptimize(opened);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OpenMedium)->Arg(1)->Arg(1900);

// Each envelope from another sender than the last 32: the key exchange every first message costs.
void BM_OpenFromNewPeer(benchmark::State& state) {
  std::vector<std::string> fields;
  for (int i = 0; i < 64; ++i) {
    const auto sender = TIdentity::FromSeed(std::string(31, 's') + static_cast<char>(i));
    fields.push_back(Seal(*sender, Fixed('b').Public(), 1, BodyKind::Text, "anna", Text(1900))->Field);
  }
  std::size_t next = 0;
  for (auto _ : state) {
    auto opened = Open(Fixed('b'), fields[next++ % fields.size()], kNow);
    if (!opened) state.SkipWithError("did not open");
    benchmark::DoNotOptimize(opened);
  }
}
BENCHMARK(BM_OpenFromNewPeer);

void BM_RefuseTampered(benchmark::State& state) {
  const auto sealed = Seal(Fixed('a'), Fixed('b').Public(), 1, BodyKind::Text, "anna", Text(1900));
  std::string field = sealed->Field;
  field[field.size() / 2] = static_cast<char>(field[field.size() / 2] ^ 0x40);
  for (auto _ : state) {
    auto opened = Open(Fixed('b'), field, kNow);
    if (opened) state.SkipWithError("opened");
    benchmark::DoNotOptimize(opened);
  }
}
BENCHMARK(BM_RefuseTampered);

}  // namespace
