// Writes pictures of every page and recurrence panel of the options sheet
// into the folder given (run under a real X server, e.g. xvfb-run).
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <utility>
#include <vector>

#include "CAttachmentOptionsDlg.h"
#include "CAttachmentsPage.h"
#include "CDataExchange.h"
#include "CGeneralPage.h"
#include "COptionsDlg.h"
#include "COtherPage.h"
#include "CScreenshotFolder.h"
#include "TaskTime.h"

namespace {

QWidget* Control(QWidget* pRoot, int nId) { return CDataExchange::Find(pRoot, nId, true); }
void Click(QWidget* pRoot, int nId) { qobject_cast<QAbstractButton*>(Control(pRoot, nId))->click(); }
void Select(QWidget* pRoot, int nId, int n) { qobject_cast<QComboBox*>(Control(pRoot, nId))->setCurrentIndex(n); }

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto folder = CScreenshotFolder::FromArgs(argc, argv, "options_screenshots", "options-");
    if (!folder) return 1;
    const CFixedClock clock(TaskTime::ToAbsolute(2024, 6, 7, 10, 0, 0).Value());  // a date that always converts
    COptionsDlg dlg(nullptr, clock);
    dlg.m_bNewTask = 1;
    dlg.OtherPage().m_strTaskName = "Weekly figures";
    dlg.show();

    // Each picture after clicking the buttons, then choosing the list items
    // (control id, item) and running fnSetUp.
    const struct {
        const char* pszName;
        std::vector<int> vecClicks;
        std::vector<std::pair<int, int>> vecSelections;
        std::function<void()> fnSetUp;
    } shots[] = {
        {"general-once", {}, {}, {}},
        {"general-minutely", {219}, {}, {}},
        {"general-daily", {11005}, {}, {}},
        {"general-daily-kind", {1006}, {{1109, 1}}, {}},
        {"general-weekly", {1106, 1216, 1020}, {}, {}},
        {"general-weekly-of-month", {1051}, {}, {}},
        {"general-monthly", {1107}, {}, {}},
        {"general-monthly-kind", {1219}, {{1057, 4}, {1058, 10}}, {}},
        {"general-yearly", {1208}, {}, {}},
        {"general-yearly-kind", {1011, 1040}, {{1018, 8}}, {}},
        {"attachments",
         {},
         {},
         [&] {
             dlg.Sheet().setCurrentWidget(&dlg.AttachmentsPage());
             auto* pList = qobject_cast<QTreeWidget*>(Control(&dlg, 1121));
             pList->addTopLevelItem(new QTreeWidgetItem({"/home/rita/reports/summary.pdf"}));
             pList->addTopLevelItem(new QTreeWidgetItem({"/home/rita/exports/*.csv"}));
             pList->topLevelItem(1)->setSelected(true);
         }},
        {"other", {}, {}, [&] { dlg.Sheet().setCurrentWidget(&dlg.OtherPage()); }},
    };
    for (const auto& shot : shots) {
        for (int nId : shot.vecClicks) Click(&dlg, nId);
        for (const auto& [nId, nItem] : shot.vecSelections) Select(&dlg, nId, nItem);
        if (shot.fnSetUp) shot.fnSetUp();
        folder->Save(dlg, shot.pszName);
    }

    CAttachmentOptionsDlg add;
    add.m_strEntry = "/home/rita/exports/*.csv";
    QTimer::singleShot(0, &add, [&] {
        folder->Save(add, "add-attachment");
        add.reject();
    });
    add.exec();
    return folder->AllSaved() ? 0 : 1;
}
