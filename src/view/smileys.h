// SPDX-License-Identifier: GPL-3.0-or-later
// The smiley set: the code table from the [smiles] section, the pictures (from smiles.bmp or the
// program's own drawings) and the data of the editor's smiley submenu.
#pragma once

#include <QImage>
#include <QString>

#include <string>
#include <utility>
#include <vector>

#include "lang/fs_path.h"

namespace plumo {

// One usable entry of the code table: the code as it appears in text and the picture it stands for.
struct SmileyCode {
  QString Code;
  int Index = 0;
};

// The entries of [smiles] (key, value) in file order, as code-page 1251 text, to the usable codes in
// the same order (the rules of ParseSmileyEntries).
std::vector<SmileyCode> ParseSmileyTable(const std::vector<std::pair<std::string, std::string>>& entries);

// Side of a smiley picture in pixels.
inline constexpr int kSmileySize = 19;

// The pictures of the smiley set; picture i stands for table value i.
class SmileyPictures {
 public:
  // The program's own drawings (at least 20).
  static SmileyPictures BuiltIn();
  // A strip of 19-pixel cells side by side (count = width / height); the colour of the top-left
  // pixel becomes transparent. An image that cannot be read gives an empty set.
  static SmileyPictures FromStrip(const QImage& strip);
  // smiles.bmp in `dir` when it exists and can be read, otherwise the built-in set.
  static SmileyPictures Load(const FsPath& dir);

  int Count() const { return static_cast<int>(pictures_.size()); }
  // The picture at index (0 <= index < Count()).
  const QImage& At(int index) const { return pictures_.at(static_cast<std::size_t>(index)); }
  void Append(QImage picture) { pictures_.push_back(std::move(picture)); }

 private:
  std::vector<QImage> pictures_;
};

// One item of the smiley submenu: the first code (in table order) naming the picture.
struct SmileyMenuItem {
  QString Caption;
  int Index = 0;
  bool NewColumn = false;  // the picture index is a multiple of 10
};

// The submenu's items in picture order; a picture no code names gets no item.
std::vector<SmileyMenuItem> SmileyMenuItems(const std::vector<SmileyCode>& codes, int pictureCount);

// Draws the built-in picture `index` (0 <= index < BuiltInSmileyCount()).
QImage DrawBuiltInSmiley(int index);
int BuiltInSmileyCount();

}  // namespace plumo
