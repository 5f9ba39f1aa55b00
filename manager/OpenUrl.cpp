#include "OpenUrl.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

COpener& Opener() {
    static COpener g_fnOpener;
    return g_fnOpener;
}

bool Open(const QUrl& url) {
    if (Opener()) return Opener()(url.toString().toStdString());
    return QDesktopServices::openUrl(url);
}

}  // namespace

int OpenUrl(const std::string& strLink) {
    const QString str = QString::fromStdString(strLink);
    QUrl url(str);
    // A bare "www.example.com" is a web address, as a user would mean it.
    if (url.isValid() && url.scheme().isEmpty()) url = QUrl::fromUserInput(str);
    if (!url.isValid() || url.scheme().isEmpty()) return 0;
    return Open(url) ? 1 : 0;
}

bool OpenDocument(const std::string& strPath) { return Open(QUrl::fromLocalFile(QString::fromStdString(strPath))); }

void SetOpener(COpener fnOpener) { Opener() = std::move(fnOpener); }
