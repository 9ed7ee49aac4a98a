// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboard layouts: the list the desktop is configured with, and the re-typing of text from one
// layout into another by key position, so that a line typed with the wrong layout active comes out
// as if it had been typed with the right one ("ghbdtn" in "us" is "привет" in "ru").
//
// Keymaps are compiled by libxkbcommon from the XKB data files (rules "evdev", model "pc105"); no
// display is needed. Reading the desktop's own list from an X server is in keyboard_x11.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace plumo {

// One entry of an XKB layout list: the layout code ("us", "ru") and its variant ("" for the
// layout's default variant).
struct LayoutName {
  std::string Layout;
  std::string Variant;
  bool operator==(const LayoutName&) const = default;
};

// The comma-separated layout and variant fields of XKB names ("us,ru" and ",phonetic") to one
// entry per layout; the i-th variant belongs to the i-th layout. A layout item may carry its
// variant in parentheses ("ru(phonetic)"); a non-empty item of `variants` overrides it. Blanks
// around items are ignored; an empty layout item gives no entry.
std::vector<LayoutName> ParseLayoutList(std::string_view layouts, std::string_view variants = {});

// The five texts of the X root window property _XKB_RULES_NAMES.
struct XkbNames {
  std::string Rules;
  std::string Model;
  std::string Layout;
  std::string Variant;
  std::string Options;
  bool operator==(const XkbNames&) const = default;
};

// The raw property value (five texts, each ended by a zero byte; missing ones are empty).
XkbNames ParseXkbRulesNames(std::string_view raw);

// Where a layout list can come from, in the order they are asked.
struct LayoutSources {
  std::optional<XkbNames> Desktop;            // the X server's configuration, when a display answered
  std::optional<std::uint32_t> DesktopGroup;  // the X server's active layout group
  std::string Setting;                        // the program's own setting, in ParseLayoutList's form
  std::string EnvLayout;                      // XKB_DEFAULT_LAYOUT
  std::string EnvVariant;                     // XKB_DEFAULT_VARIANT
};

enum class LayoutSource { Desktop, Setting, Environment, Default };

struct ChosenLayouts {
  std::vector<LayoutName> Names;
  LayoutSource Source = LayoutSource::Default;
};

// The first source that names at least one layout: the desktop, then the setting, then the
// environment; when none does, the single layout "us".
ChosenLayouts ChooseLayoutNames(const LayoutSources& sources);

// This process's sources: the X display named by DISPLAY (when it answers) and the environment,
// with the given setting.
LayoutSources ReadLayoutSources(std::string_view setting);

// One usable layout.
struct KeyboardLayout {
  LayoutName Name;
  std::string DisplayName;  // from the XKB data: "English (US)", "Russian"
  std::size_t Group = 0;    // position in the list it was built from (the X layout group)
};

// What happens to a character that cannot be re-typed (no key in the source layout, or a key
// that gives no character in the target layout).
enum class RetypeRule {
  AllOrNothing,  // the whole text stays as it was: the chat editor's rule
  KeepUnmapped,  // that character stays as it was, the others are re-typed
};

struct RetypeResult {
  std::u32string Text;
  std::size_t Unmapped = 0;  // characters that could not be re-typed
};

class KeyboardLayouts {
 public:
  // Compiles a keymap for each name in order; a name the XKB data does not know is left out (it
  // still counts for the `group` of the layouts after it).
  explicit KeyboardLayouts(const std::vector<LayoutName>& names);

  std::size_t Count() const { return layouts_.size(); }
  // 0 <= index < Count().
  const KeyboardLayout& At(std::size_t index) const { return layouts_.at(index); }
  std::optional<std::size_t> Find(const LayoutName& name) const;
  std::optional<std::size_t> FindGroup(std::size_t group) const;

  // The layout taken as active. Nothing here follows the desktop: the caller sets it (from the X
  // layout group where there is one) and advances it when it switches layouts.
  std::size_t Current() const { return current_; }
  void SetCurrent(std::size_t index);  // an index out of range is ignored
  // The layout after Current(), wrapping to the first; Current() itself with one layout.
  std::size_t Next() const;

  // Each character of `text` is looked up by key and Shift state in layout `from` and replaced by
  // the character of the same key and Shift state in layout `to`. Keys of the main typing block
  // win over the keypad and extra keys, and the unshifted state over the shifted one, when a
  // character is on several. Indices out of range make every character unmapped.
  RetypeResult Retype(std::u32string_view text, std::size_t from, std::size_t to,
                      RetypeRule rule = RetypeRule::AllOrNothing) const;

 private:
  struct KeyStroke {
    std::uint32_t Keycode = 0;
    bool Shift = false;
  };
  // What each key gives, unshifted and shifted (0: nothing), indexed by keycode, and the key of
  // each character.
  struct KeyTable {
    std::vector<std::array<char32_t, 2>> Chars;
    std::unordered_map<char32_t, KeyStroke> Keys;
  };

  std::vector<KeyboardLayout> layouts_;
  std::vector<KeyTable> tables_;
  std::size_t current_ = 0;
};

struct DesktopLayouts {
  KeyboardLayouts Layouts;
  LayoutSource Source = LayoutSource::Default;
};

// The layouts of ChooseLayoutNames(ReadLayoutSources(setting)), compiled. When they come from the
// X display, Current() is the display's active group and LockX11LayoutGroup(At(i).group) switches
// the desktop; otherwise the caller keeps Current() itself.
DesktopLayouts LoadDesktopLayouts(std::string_view setting);

}  // namespace plumo
