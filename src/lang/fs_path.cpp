// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/fs_path.h"

#include "lang/codepage.h"

namespace plumo {

FsPath FsPath::FromCp1251(std::string_view text) {
  return FromUtf8(Cp1251ToUtf8(text));
}

std::string FsPath::ToCp1251() const {
  return Utf8ToCp1251(Utf8());
}

}  // namespace plumo
