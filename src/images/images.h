// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the main window: the main image list (ImageList1), addressed by index from the
// roster rows, the tabs, the menus, the mute button and the toolbar, and the program's own icon.
// Every picture is drawn here with QPainter on a 16 by 16 grid and scaled, so it stays sharp at
// every size; the program's icon is also shipped as data/icons/plumo.svg with the same shapes.
// Needs a QGuiApplication; call from the GUI thread.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <vector>

#include "core/surfaces.h"

namespace plumo {

// The picture at an index of the main image list (icon::), with pixmaps of 16, 24, 32 and 48 pixels; a null
// icon for an index that has no picture.
QIcon MainImage(int index);
// The picture at index drawn at size by size device-independent pixels; null when it has none.
QPixmap MainPixmap(int index, int size = 16);
// Every index that has a picture, ascending.
std::vector<int> MainImageIndices();

// The program's icon (window and task bar), from 16 to 256 pixels.
QIcon AppIcon();

}  // namespace plumo
