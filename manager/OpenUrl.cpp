#include "OpenUrl.h"

#include <QDesktopServices>
#include <QUrl>

int OpenUrl(const std::string& strLink) {
    const QUrl url(QString::fromStdString(strLink));
    if (!url.isValid() || url.scheme().isEmpty()) return 0;
    return QDesktopServices::openUrl(url) ? 1 : 0;
}
