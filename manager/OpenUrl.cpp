#include "OpenUrl.h"

#include <QDesktopServices>
#include <QUrl>

int OpenUrl(const std::string& strLink) {
    QUrl url(QString::fromStdString(strLink));
    // A bare "www.example.com" is a web address, as a user would mean it.
    if (url.isValid() && url.scheme().isEmpty()) url = QUrl::fromUserInput(QString::fromStdString(strLink));
    if (!url.isValid() || url.scheme().isEmpty()) return 0;
    return QDesktopServices::openUrl(url) ? 1 : 0;
}
