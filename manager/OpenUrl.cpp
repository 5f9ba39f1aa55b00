#include "OpenUrl.h"

#include <QDesktopServices>
#include <QUrl>

int OpenUrl(const std::string& strLink) {
    const QString str = QString::fromStdString(strLink);
    QUrl url(str);
    // A bare "www.example.com" is a web address, as a user would mean it.
    if (url.isValid() && url.scheme().isEmpty()) url = QUrl::fromUserInput(str);
    if (!url.isValid() || url.scheme().isEmpty()) return 0;
    return QDesktopServices::openUrl(url) ? 1 : 0;
}
