#include "OpenUrl.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

namespace {

constexpr int kQueryTimeoutMs = 3000;

COpener& Opener() {
    static COpener g_fnOpener;
    return g_fnOpener;
}

bool Open(const QUrl& url) {
    if (Opener()) return Opener()(url.toString().toStdString());
    return QDesktopServices::openUrl(url);
}

// Whether the desktop names a program for the file's kind. The desktop's
// opener starts in the background and reports success even when it finds
// nothing, so the desktop is asked first; when it cannot be asked (no
// xdg-mime), the opener is trusted.
bool DesktopHasProgramFor(const QString& strPath) {
    QProcess query;
    query.start("xdg-mime", {"query", "default", QMimeDatabase().mimeTypeForFile(strPath).name()});
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(kQueryTimeoutMs);
        return true;
    }
    return query.exitStatus() != QProcess::NormalExit || !query.readAllStandardOutput().trimmed().isEmpty();
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

bool OpenDocument(const std::string& strPath) {
    const QString str = QString::fromStdString(strPath);
    if (!Opener() && (!QFileInfo(str).isFile() || !DesktopHasProgramFor(str))) return false;
    return Open(QUrl::fromLocalFile(str));
}

void SetOpener(COpener fnOpener) { Opener() = std::move(fnOpener); }
