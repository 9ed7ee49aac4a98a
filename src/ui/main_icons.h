// The pictures of the main image list (tab icons, states, menu items) as the widgets use them.
#pragma once

#include <QIcon>

namespace plumo::ui {

// The picture at index of the main image list; a null icon for a negative index.
QIcon MainIcon(int index);

}  // namespace plumo::ui
