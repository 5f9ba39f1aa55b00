#include "CScreenshotFolder.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

std::optional<CScreenshotFolder> CScreenshotFolder::FromArgs(int argc, char** argv, const char* pszProgram,
                                                             const char* pszPrefix) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", pszProgram);
        return std::nullopt;
    }
    return CScreenshotFolder(QString::fromUtf8(argv[1]), QString::fromUtf8(pszPrefix));
}

void CScreenshotFolder::Save(QWidget& w, const char* pszName) {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString strPath = m_strDir + "/" + m_strPrefix + pszName + ".png";
    if (w.grab().save(strPath)) return;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
    m_bAllSaved = false;
}
