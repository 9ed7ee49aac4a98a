// The pictures of the main window: the main image list (ImageList1), addressed by index from the
// roster rows, the tabs, the menus, the mute button and the toolbar, and the program's own icon.
// Every picture is drawn here with QPainter on a 16 by 16 grid and scaled, so it stays sharp at
// every size; the program's icon is also shipped as data/icons/plumo.svg with the same shapes.
// Needs a QGuiApplication; call from the GUI thread.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <vector>

namespace plumo {

namespace image {
// Own state and roster rows (the state characters '3', '4', '5', '1', '2').
inline constexpr int kScreenSaver = 0;
inline constexpr int kDoNotDisturb = 1;
inline constexpr int kOffline = 2;
inline constexpr int kActive = 3;
inline constexpr int kAway = 83;
// Tabs of the two strips.
inline constexpr int kChannelCreated = 7;
inline constexpr int kChannelSeen = 8;
inline constexpr int kChannelUnseen = 9;
inline constexpr int kConsoleSeen = 18;  // also the line editor's tab
inline constexpr int kConsoleUnseen = 81;
inline constexpr int kPrivate = 31;  // reply tab of a private message, the roster menu's "message"
inline constexpr int kMass = 43;     // reply tab of a mass message, the roster menu's "mass message"
// Roster menu.
inline constexpr int kBell = 29;      // send a bell
inline constexpr int kUserInfo = 45;  // ask about the user
// Mute button.
inline constexpr int kSound = 40;
inline constexpr int kMuted = 84;
// Toolbar buttons (ToolButton1 to ToolButton7).
inline constexpr int kToolMessage = 85;
inline constexpr int kToolMassMessage = 86;
inline constexpr int kToolColour = 87;
inline constexpr int kToolConsole = 88;
inline constexpr int kToolState = 89;
inline constexpr int kToolTopic = 90;
inline constexpr int kToolExit = 91;
}  // namespace image

// The picture at an index of the main image list, with pixmaps of 16, 24, 32 and 48 pixels; a null
// icon for an index that has no picture.
QIcon MainImage(int index);
// The picture at index drawn at size by size device-independent pixels; null when it has none.
QPixmap MainPixmap(int index, int size = 16);
// Every index that has a picture, ascending.
std::vector<int> MainImageIndices();

// The program's icon (window and task bar), from 16 to 256 pixels.
QIcon AppIcon();

}  // namespace plumo
