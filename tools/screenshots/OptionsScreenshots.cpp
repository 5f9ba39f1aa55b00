// Writes pictures of every page and recurrence panel of the options sheet
// into the folder given (run under a real X server, e.g. xvfb-run).
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

#include "CAttachmentOptionsDlg.h"
#include "CDataExchange.h"
#include "CAttachmentsPage.h"
#include "CGeneralPage.h"
#include "COptionsDlg.h"
#include "COtherPage.h"
#include "TaskTime.h"

namespace {

QWidget* Control(QWidget* pRoot, int nId) { return CDataExchange::Find(pRoot, nId, true); }
void Click(QWidget* pRoot, int nId) { qobject_cast<QAbstractButton*>(Control(pRoot, nId))->click(); }
void Select(QWidget* pRoot, int nId, int n) { qobject_cast<QComboBox*>(Control(pRoot, nId))->setCurrentIndex(n); }

bool Save(QWidget& w, const QString& strDir, const char* pszName) {
    QApplication::processEvents();
    const QString strPath = strDir + "/options-" + pszName + ".png";
    if (w.grab().save(strPath)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: options_screenshots FOLDER\n");
        return 1;
    }
    const QString strDir = argv[1];
    const CFixedClock clock(TaskTime::ToAbsolute(2024, 6, 7, 10, 0, 0).Value());  // a date that always converts
    COptionsDlg dlg(nullptr, clock);
    dlg.m_bNewTask = 1;
    dlg.OtherPage().m_strTaskName = "Weekly figures";
    dlg.show();
    bool bOk = true;

    const struct {
        const char* pszName;
        std::function<void()> fnSetUp;
    } shots[] = {
        {"general-once", [] {}},
        {"general-minutely", [&] { Click(&dlg, 219); }},
        {"general-daily", [&] { Click(&dlg, 11005); }},
        {"general-daily-kind",
         [&] {
             Click(&dlg, 1006);
             Select(&dlg, 1109, 1);
         }},
        {"general-weekly",
         [&] {
             Click(&dlg, 1106);
             Click(&dlg, 1216);
             Click(&dlg, 1020);
         }},
        {"general-weekly-of-month", [&] { Click(&dlg, 1051); }},
        {"general-monthly", [&] { Click(&dlg, 1107); }},
        {"general-monthly-kind",
         [&] {
             Click(&dlg, 1219);
             Select(&dlg, 1057, 4);
             Select(&dlg, 1058, 10);
         }},
        {"general-yearly", [&] { Click(&dlg, 1208); }},
        {"general-yearly-kind",
         [&] {
             Click(&dlg, 1011);
             Select(&dlg, 1018, 8);
             Click(&dlg, 1040);
         }},
        {"attachments",
         [&] {
             dlg.Sheet().setCurrentWidget(&dlg.AttachmentsPage());
             auto* pList = qobject_cast<QTreeWidget*>(Control(&dlg, 1121));
             pList->addTopLevelItem(new QTreeWidgetItem({"/home/rita/reports/summary.pdf"}));
             pList->addTopLevelItem(new QTreeWidgetItem({"/home/rita/exports/*.csv"}));
             pList->topLevelItem(1)->setSelected(true);
         }},
        {"other", [&] { dlg.Sheet().setCurrentWidget(&dlg.OtherPage()); }},
    };
    for (const auto& shot : shots) {
        shot.fnSetUp();
        bOk = Save(dlg, strDir, shot.pszName) && bOk;
    }

    CAttachmentOptionsDlg add;
    add.m_strEntry = "/home/rita/exports/*.csv";
    QTimer::singleShot(0, &add, [&] {
        bOk = Save(add, strDir, "add-attachment") && bOk;
        add.reject();
    });
    add.exec();
    return bOk ? 0 : 1;
}
