// SPDX-License-Identifier: GPL-3.0-or-later
// What a click on a link in a view means: a hot nick (":#" + nick) or an address to open. Links come
// from peers, so only web and mail addresses are ever opened; nothing else is run or opened.
#pragma once

#include <QString>
#include <QUrl>

namespace plumo {

// The nick of a hot-nick link (its target without kHotNickOpen, ":#"), or an empty string for any
// other link.
QString HotNickFromLink(const QString& link);
// The address a link opens: http, https, ftp and mailto addresses, and "www." names as http. Any
// other link (a file path, another scheme, a program, a hot nick) gives an invalid QUrl.
QUrl OpenableUrl(const QString& link);
// Opens an openable link with the desktop's handler; false when the link is not openable or the
// desktop could not open it.
bool OpenLink(const QString& link);

}  // namespace plumo
