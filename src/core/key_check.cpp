// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/key_check.h"

#include <cstring>

#include "core/private_talk.h"

namespace plumo {

namespace {

using Value = std::array<std::uint8_t, 32>;

enum class Verb { Start, Key, Reveal, Same, Differ, Cancel };

struct ParsedStep {
  Verb What = Verb::Cancel;
  std::array<std::uint8_t, 8> Session{};
  std::optional<Value> Payload;
};

constexpr struct {
  const char* Name;
  Verb What;
  bool HasValue;
} kVerbs[] = {
    {"start", Verb::Start, true}, {"key", Verb::Key, true},        {"reveal", Verb::Reveal, true},
    {"same", Verb::Same, false},  {"differ", Verb::Differ, false}, {"cancel", Verb::Cancel, false},
};

std::string HexOf(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One step exactly as Step writes it; nullopt for anything else.
std::optional<ParsedStep> Parse(std::string_view body) {
  std::vector<std::string_view> words;
  while (!body.empty()) {
    const std::size_t blank = body.find(' ');
    words.push_back(body.substr(0, blank));
    if (blank == std::string_view::npos) break;
    body.remove_prefix(blank + 1);
    if (body.empty()) return std::nullopt;  // a trailing blank
  }
  if (words.size() < 2) return std::nullopt;
  ParsedStep step;
  bool hasValue = false;
  bool known = false;
  for (const auto& verb : kVerbs)
    if (words[0] == verb.Name) {
      step.What = verb.What;
      hasValue = verb.HasValue;
      known = true;
    }
  if (!known || words.size() != (hasValue ? 3U : 2U) || words[1].size() != 2 * step.Session.size())
    return std::nullopt;
  for (std::size_t i = 0; i < step.Session.size(); ++i) {
    const int high = HexDigit(words[1][2 * i]);
    const int low = HexDigit(words[1][2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    step.Session[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  if (hasValue) {
    const auto value = secure::KeyFromText(words[2]);  // 32 bytes in the same 43-character text
    if (!value) return std::nullopt;
    step.Payload = *value;
  }
  return step;
}

}  // namespace

TCheckStep TKeyCheck::Step(const char* verb, const std::optional<Value>& value) const {
  TCheckStep step;
  step.To = peer_;
  step.Body = std::string(verb) + " " + HexOf(session_.data(), session_.size());
  if (value) step.Body += " " + secure::KeyText(*value);
  return step;
}

void TKeyCheck::Finish(Phase phase) {
  phase_ = phase;
  keys_.reset();
}

std::optional<TCheckStep> TKeyCheck::Start(const secure::PublicKey& peer, const std::string& nick) {
  if (Running() || peer == own_) return std::nullopt;
  secure::RandomBytes(session_.data(), session_.size());
  initiator_ = true;
  keys_ = secure::TCheckKeys::Generate();
  phase_ = Phase::Waiting;
  peer_ = peer;
  nick_ = nick;
  code_.clear();
  ownSame_ = peerSame_ = false;
  return Step("start", secure::Commitment(keys_->Public));
}

std::vector<TCheckStep> TKeyCheck::ShowCode(const Value& initiatorCheck, const Value& responderCheck,
                                            const Value& otherCheck) {
  const secure::PublicKey& initiator = initiator_ ? own_ : peer_;
  const secure::PublicKey& responder = initiator_ ? peer_ : own_;
  const auto code =
      secure::ShortCode(initiator, responder, initiatorCheck, responderCheck, *keys_, otherCheck);
  if (!code) {
    Finish(Phase::Mismatch);
    return {Step("differ")};
  }
  code_ = code->substr(0, 3) + " " + code->substr(3);
  phase_ = Phase::Compare;
  keys_.reset();  // the fresh secret has done its work
  return {};
}

std::vector<TCheckStep> TKeyCheck::Receive(const secure::PublicKey& from, const std::string& nick,
                                           std::string_view body) {
  const auto step = Parse(body);
  if (!step) return {};
  if (step->What == Verb::Start) {
    if (from == own_) return {};
    if (Running()) {
      if (from != peer_) {
        // Busy: tell the third party at once rather than leave its user waiting.
        TCheckStep busy;
        busy.To = from;
        busy.Body = "cancel " + HexOf(step->Session.data(), step->Session.size());
        return {busy};
      }
      if (step->Session == session_) return {};  // the start this check answers already
      // Both started at once: the check of the lower identity key goes on.
      if (initiator_ && phase_ == Phase::Waiting && own_ < from) return {};
      // Otherwise the peer began anew: this check gives way to its new one.
    }
    session_ = step->Session;
    initiator_ = false;
    commitment_ = *step->Payload;
    keys_ = secure::TCheckKeys::Generate();
    phase_ = Phase::Waiting;
    peer_ = from;
    nick_ = nick;
    code_.clear();
    ownSame_ = peerSame_ = false;
    return {Step("key", keys_->Public)};
  }

  if (!Running() || from != peer_ || step->Session != session_) return {};
  switch (step->What) {
    case Verb::Key: {
      if (!initiator_ || phase_ != Phase::Waiting) return {};
      const Value ownCheck = keys_->Public;
      std::vector<TCheckStep> out = ShowCode(ownCheck, *step->Payload, *step->Payload);
      if (phase_ == Phase::Compare) out.push_back(Step("reveal", ownCheck));
      return out;
    }
    case Verb::Reveal: {
      if (initiator_ || phase_ != Phase::Waiting) return {};
      if (secure::Commitment(*step->Payload) != commitment_) {
        Finish(Phase::Mismatch);
        return {Step("differ")};
      }
      return ShowCode(*step->Payload, keys_->Public, *step->Payload);
    }
    case Verb::Same:
      peerSame_ = true;
      if (phase_ == Phase::Compare && ownSame_) Finish(Phase::Matched);
      return {};
    case Verb::Differ:
      Finish(Phase::Mismatch);
      return {};
    case Verb::Cancel:
      Finish(Phase::Cancelled);
      return {};
    case Verb::Start:
      break;
  }
  return {};
}

std::optional<TCheckStep> TKeyCheck::Answer(bool sameDigits) {
  if (phase_ != Phase::Compare || ownSame_) return std::nullopt;
  if (!sameDigits) {
    Finish(Phase::Mismatch);
    return Step("differ");
  }
  ownSame_ = true;
  if (peerSame_) Finish(Phase::Matched);
  return Step("same");
}

std::optional<TCheckStep> TKeyCheck::Cancel() {
  if (!Running()) return std::nullopt;
  Finish(Phase::Cancelled);
  return Step("cancel");
}

TKeyCheckState TKeyCheck::State() const {
  TKeyCheckState state;
  state.What = static_cast<TKeyCheckState::Phase>(phase_);
  state.Peer = peer_;
  state.Nick = nick_;
  state.Code = code_;
  return state;
}

static_assert(static_cast<int>(TKeyCheck::Phase::Cancelled) == TKeyCheckState::Cancelled &&
              static_cast<int>(TKeyCheck::Phase::Waiting) == TKeyCheckState::Waiting);

}  // namespace plumo
