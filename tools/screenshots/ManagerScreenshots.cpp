// Writes pictures of the Email Manager over a sample task list and of the
// About window into the folder given (run under a real X server, e.g.
// xvfb-run).
#include <QApplication>
#include <QTreeWidget>
#include <cstdio>

#include "CAboutDlg.h"
#include "CEmailManagerDlg.h"
#include "SharedState.h"

namespace {

bool Save(QWidget& w, const QString& strDir, const char* pszName) {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString strPath = strDir + "/" + pszName + ".png";
    if (w.grab().save(strPath)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
    return false;
}

CTaskItem Sample(const char* pszName, int bActive, const TaskDateTime& dtNext) {
    CTaskItem t;
    t.m_bActive = bActive;
    t.m_strTaskName = pszName;
    t.m_dtNextSending = dtNext;
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: manager_screenshots FOLDER\n");
        return 1;
    }
    const QString strDir = argv[1];
    CTaskList list;
    list.Add(Sample("Weekly figures", 1, {2024, 6, 10, 2, 9, 0, 1}));
    list.Add(Sample("Monthly files", 1, {2024, 6, 15, 7, 10, 1, 1}));
    list.Add(Sample("Minute report", 0, {2024, 6, 7, 6, 10, 3, 1}));
    list.Add(Sample("Birthday greeting", 1, {2025, 3, 2, 1, 8, 30, 1}));
    list.Add(Sample("Invitation (sent once)", 1, {}));
    g_pTaskList = &list;

    bool bOk = true;
    {
        CEmailManagerDlg dlg;
        dlg.show();
        dlg.List()->setCurrentItem(dlg.List()->topLevelItem(1));
        bOk &= Save(dlg, strDir, "manager");
    }
    {
        CAboutDlg dlg;
        dlg.show();
        bOk &= Save(dlg, strDir, "about");
    }
    g_pTaskList = nullptr;
    return bOk ? 0 : 1;
}
