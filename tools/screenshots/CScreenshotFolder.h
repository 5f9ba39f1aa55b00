#pragma once
#include <QString>
#include <optional>

class QWidget;

// The folder a screenshot program writes its pictures into, named by its one
// command-line argument. A picture that cannot be written is reported on
// stderr and the others are still written; AllSaved() then turns false.
class CScreenshotFolder {
public:
    // Nothing (after printing the usage) unless exactly the folder is given;
    // every picture's file name starts with pszPrefix.
    static std::optional<CScreenshotFolder> FromArgs(int argc, char** argv, const char* pszProgram,
                                                     const char* pszPrefix = "");

    // Writes w as "<folder>/<prefix><name>.png" once pending events (the
    // widget's layout and painting) have run.
    void Save(QWidget& w, const char* pszName);
    bool AllSaved() const { return m_bAllSaved; }

private:
    CScreenshotFolder(QString strDir, QString strPrefix)
        : m_strDir(std::move(strDir)), m_strPrefix(std::move(strPrefix)) {}

    QString m_strDir;
    QString m_strPrefix;
    bool m_bAllSaved = true;
};
