// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyboard_layouts.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdarg>
#include <cstdlib>
#include <memory>

#include "platform/keyboard_x11.h"

namespace plumo {
namespace {

// Keycodes of the evdev rules up to the space bar are the main typing block (digits, letters,
// punctuation); the keypad and extra keys such as the 105th key come after it.
constexpr std::uint32_t kLastMainBlockKey = 65;

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
  std::vector<std::string_view> items;
  for (;;) {
    const auto at = s.find(separator);
    items.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return items;
    s.remove_prefix(at + 1);
  }
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

struct FreeContext {
  void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct FreeKeymap {
  void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};
struct FreeState {
  void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
using Context = std::unique_ptr<xkb_context, FreeContext>;
using Keymap = std::unique_ptr<xkb_keymap, FreeKeymap>;
using State = std::unique_ptr<xkb_state, FreeState>;

// A layout the data files do not know is an expected outcome here, not something to print.
void Quiet(xkb_context*, xkb_log_level, const char*, va_list) {}

}  // namespace

std::vector<LayoutName> ParseLayoutList(std::string_view layouts, std::string_view variants) {
  const std::vector<std::string_view> variantItems = Split(variants, ',');
  std::vector<LayoutName> result;
  const std::vector<std::string_view> layoutItems = Split(layouts, ',');
  for (std::size_t i = 0; i < layoutItems.size(); ++i) {
    std::string_view code = Trim(layoutItems[i]);
    std::string_view variant;
    if (const auto open = code.find('('); open != std::string_view::npos) {
      variant = code.substr(open + 1);
      if (const auto close = variant.find(')'); close != std::string_view::npos)
        variant = variant.substr(0, close);
      variant = Trim(variant);
      code = Trim(code.substr(0, open));
    }
    if (i < variantItems.size() && !Trim(variantItems[i]).empty()) variant = Trim(variantItems[i]);
    if (code.empty()) continue;
    result.push_back({std::string(code), std::string(variant)});
  }
  return result;
}

XkbNames ParseXkbRulesNames(std::string_view raw) {
  XkbNames names;
  std::string* fields[] = {&names.Rules, &names.Model, &names.Layout, &names.Variant, &names.Options};
  const std::vector<std::string_view> parts = Split(raw, '\0');
  for (std::size_t i = 0; i < parts.size() && i < std::size(fields); ++i) *fields[i] = parts[i];
  return names;
}

ChosenLayouts ChooseLayoutNames(const LayoutSources& sources) {
  if (sources.Desktop) {
    auto names = ParseLayoutList(sources.Desktop->Layout, sources.Desktop->Variant);
    if (!names.empty()) return {std::move(names), LayoutSource::Desktop};
  }
  if (auto names = ParseLayoutList(sources.Setting); !names.empty()) {
    return {std::move(names), LayoutSource::Setting};
  }
  if (auto names = ParseLayoutList(sources.EnvLayout, sources.EnvVariant); !names.empty()) {
    return {std::move(names), LayoutSource::Environment};
  }
  return {{{"us", ""}}, LayoutSource::Default};
}

LayoutSources ReadLayoutSources(std::string_view setting) {
  X11Keyboard x11 = ReadX11Keyboard();
  return {std::move(x11.Names), x11.Group, std::string(setting), Env("XKB_DEFAULT_LAYOUT"),
          Env("XKB_DEFAULT_VARIANT")};
}

DesktopLayouts LoadDesktopLayouts(std::string_view setting) {
  const LayoutSources sources = ReadLayoutSources(setting);
  ChosenLayouts chosen = ChooseLayoutNames(sources);
  DesktopLayouts result{KeyboardLayouts(chosen.Names), chosen.Source};
  if (chosen.Source == LayoutSource::Desktop && sources.DesktopGroup) {
    if (const auto index = result.Layouts.FindGroup(*sources.DesktopGroup)) result.Layouts.SetCurrent(*index);
  }
  return result;
}

KeyboardLayouts::KeyboardLayouts(const std::vector<LayoutName>& names) {
  Context context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
  if (!context) return;
  xkb_context_set_log_fn(context.get(), Quiet);
  for (std::size_t group = 0; group < names.size(); ++group) {
    const LayoutName& name = names[group];
    const xkb_rule_names rmlvo{"evdev", "pc105", name.Layout.c_str(), name.Variant.c_str(), ""};
    Keymap keymap(xkb_keymap_new_from_names(context.get(), &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS));
    // A name with commas would compile into several groups; only single layouts are taken.
    if (!keymap || xkb_keymap_num_layouts(keymap.get()) != 1) continue;

    State plain(xkb_state_new(keymap.get()));
    State shifted(xkb_state_new(keymap.get()));
    if (!plain || !shifted) continue;
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_SHIFT);
    if (shift == XKB_MOD_INVALID) continue;
    xkb_state_update_mask(shifted.get(), 1u << shift, 0, 0, 0, 0, 0);

    KeyTable table;
    const xkb_keycode_t min = xkb_keymap_min_keycode(keymap.get());
    const xkb_keycode_t max = xkb_keymap_max_keycode(keymap.get());
    table.Chars.assign(max + 1, {0, 0});
    for (xkb_keycode_t key = min; key <= max; ++key) {
      table.Chars[key] = {xkb_state_key_get_utf32(plain.get(), key),
                          xkb_state_key_get_utf32(shifted.get(), key)};
    }
    // The first key found for a character is kept: the main block before the rest, and within
    // each the unshifted state before the shifted one, keys in keycode order.
    for (const bool mainBlock : {true, false}) {
      for (const bool withShift : {false, true}) {
        for (xkb_keycode_t key = min; key <= max; ++key) {
          if ((key <= kLastMainBlockKey) != mainBlock) continue;
          const char32_t c = table.Chars[key][withShift ? 1 : 0];
          if (c != 0) table.Keys.try_emplace(c, KeyStroke{key, withShift});
        }
      }
    }

    const char* displayName = xkb_keymap_layout_get_name(keymap.get(), 0);
    layouts_.push_back({name, displayName ? displayName : name.Layout, group});
    tables_.push_back(std::move(table));
  }
}

std::optional<std::size_t> KeyboardLayouts::Find(const LayoutName& name) const {
  for (std::size_t i = 0; i < layouts_.size(); ++i) {
    if (layouts_[i].Name == name) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> KeyboardLayouts::FindGroup(std::size_t group) const {
  for (std::size_t i = 0; i < layouts_.size(); ++i) {
    if (layouts_[i].Group == group) return i;
  }
  return std::nullopt;
}

void KeyboardLayouts::SetCurrent(std::size_t index) {
  if (index < layouts_.size()) current_ = index;
}

std::size_t KeyboardLayouts::Next() const {
  return layouts_.empty() ? 0 : (current_ + 1) % layouts_.size();
}

RetypeResult KeyboardLayouts::Retype(std::u32string_view text, std::size_t from, std::size_t to,
                                     RetypeRule rule) const {
  RetypeResult result;
  if (from >= tables_.size() || to >= tables_.size()) {
    return {std::u32string(text), text.size()};
  }
  const KeyTable& source = tables_[from];
  const KeyTable& target = tables_[to];
  result.Text.reserve(text.size());
  for (const char32_t c : text) {
    char32_t retyped = 0;
    if (const auto it = source.Keys.find(c);
        it != source.Keys.end() && it->second.Keycode < target.Chars.size()) {
      retyped = target.Chars[it->second.Keycode][it->second.Shift ? 1 : 0];
    }
    if (retyped == 0) {
      // No key here, or the key gives nothing in the target layout: typing it there would lose it.
      ++result.Unmapped;
      retyped = c;
    }
    result.Text.push_back(retyped);
  }
  if (rule == RetypeRule::AllOrNothing && result.Unmapped != 0) result.Text = text;
  return result;
}

}  // namespace plumo
