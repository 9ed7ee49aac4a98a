// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/links.h"

#include <QDesktopServices>

#include "view/markup.h"

namespace plumo {

QString HotNickFromLink(const QString& link) {
  const QString prefix = QString::fromLatin1(kHotNickOpen);
  return link.startsWith(prefix) ? link.mid(prefix.size()) : QString();
}

QUrl OpenableUrl(const QString& link) {
  QString text = link.trimmed();
  if (text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) text.prepend(QStringLiteral("http://"));
  QUrl url(text, QUrl::StrictMode);
  if (!url.isValid()) return {};
  const QString scheme = url.scheme().toLower();
  if (scheme == QStringLiteral("mailto")) return url.path().isEmpty() ? QUrl() : url;
  if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https") &&
      scheme != QStringLiteral("ftp")) {
    return {};
  }
  return url.host().isEmpty() ? QUrl() : url;
}

bool OpenLink(const QString& link) {
  const QUrl url = OpenableUrl(link);
  return url.isValid() && QDesktopServices::openUrl(url);
}

}  // namespace plumo
