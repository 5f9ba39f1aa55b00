#include "CEmailManagerDlg.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeWidget>
#include <filesystem>
#include <map>

#include "CAboutDlg.h"
#include "CAddinBox.h"
#include "CAddinIcon.h"
#include "CDialogUnits.h"
#include "CLastResultColumn.h"
#include "CMakerInfo.h"
#include "CManagerCommands.h"
#include "CRecurrenceText.h"
#include "CScheduleSheet.h"
#include "CSendEmailDlg.h"
#include "CTaskHistoryFile.h"
#include "OpenUrl.h"
#include "SharedState.h"
#include "TemplateAccess.h"

using namespace CAddinBox;
using CDialogUnits::Rect;

namespace {

const char* const kStalledText = "Completed (the schedule cannot move on)";
const char* const kDisabledText = "Disabled";
const char* const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

// The two row marks: a red no-entry sign for an inactive task, a green
// check mark for an active one.
QIcon RowIcon(int bActive) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (bActive) {
        p.setPen(QPen(QColor(0, 150, 0), 2.5));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 7, 8, 2));
    }
    return QIcon(pm);
}

}  // namespace

CEmailManagerDlg::CEmailManagerDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("Email Manager - Quillory");
    setWindowIcon(QIcon(CAddinIcon::Pixmap(32)));
    setFixedSize(CDialogUnits::X(468), CDialogUnits::Y(249) + 24);
    auto* pMenuBar = new QMenuBar(this);
    QMenu* pMenu = pMenuBar->addMenu("Menu");
    pMenu->addAction("Web Site", this, &CEmailManagerDlg::OnWebSite)->setProperty("controlId", ID_MENU_WEB_SITE);
    pMenu->addAction("Support", this, &CEmailManagerDlg::OnSupport)->setProperty("controlId", ID_MENU_SUPPORT);
    pMenu->addSeparator();
    pMenu->addAction("About", this, &CEmailManagerDlg::OnAbout)->setProperty("controlId", ID_MENU_ABOUT);
    pMenuBar->setGeometry(0, 0, width(), 24);

    auto* pBody = new QWidget(this);
    pBody->setGeometry(0, 24, width(), height() - 24);
    auto* pGroup = new QGroupBox("Scheduled email messages list", pBody);
    pGroup->setGeometry(Rect(12, 6, 444, 204));
    m_pList = new QTreeWidget(pBody);
    m_pList->setProperty("controlId", IDC_TASK_LIST);
    m_pList->setGeometry(Rect(18, 18, 360, 168));
    m_pList->setColumnCount(4);
    m_pList->setHeaderLabels({"Task Name", "Next Sending", CLastResultColumn::kHeader, "Schedule"});
    m_pList->headerItem()->setTextAlignment(kNameColumn, Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->headerItem()->setTextAlignment(kNextSendingColumn, Qt::AlignHCenter | Qt::AlignVCenter);
    m_pList->header()->setStretchLastSection(false);  // the columns keep their widths
    m_pList->setColumnWidth(kNameColumn, 270);
    m_pList->setColumnWidth(kNextSendingColumn, 240);
    m_pList->setColumnWidth(kLastResultColumn, CLastResultColumn::kWidth);
    m_pList->setColumnWidth(kScheduleColumn, 420);
    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setAllColumnsShowFocus(true);

    struct {
        int nId;
        const char* pszText;
        int x, y, cx, cy;
        void (CEmailManagerDlg::*pfn)();
    } const buttons[] = {
        {IDC_NEW_EMAIL, "&New Email...", 384, 18, 66, 14, &CEmailManagerDlg::OnNewEmail},
        {IDC_REMOVE, "&Remove", 384, 38, 66, 14, &CEmailManagerDlg::OnRemove},
        {IDC_COPY, "Co&py", 384, 58, 66, 14, &CEmailManagerDlg::OnCopy},
        {IDC_ACTIVATE, "&Activate", 384, 95, 66, 14, &CEmailManagerDlg::OnActivate},
        {IDC_DISABLE, "D&isable", 384, 115, 66, 14, &CEmailManagerDlg::OnDisable},
        {IDC_MOVE_UP, "Move &Up", 384, 152, 66, 14, &CEmailManagerDlg::OnMoveUp},
        {IDC_MOVE_DOWN, "Move &Down", 384, 172, 66, 14, &CEmailManagerDlg::OnMoveDown},
        {IDC_EDIT_SCHEDULE, "Edit &Schedule Options...", 18, 192, 168, 14, &CEmailManagerDlg::OnEditScheduleOptions},
        {IDC_EDIT_EMAIL, "Edit &Email Message...", 210, 192, 168, 14, &CEmailManagerDlg::OnEditEmailMessage},
        {IDC_CLOSE, "&Close", 366, 222, 90, 14, &CEmailManagerDlg::OnCloseButton},
    };
    std::map<int, QPushButton*> mapButtons;
    for (const auto& b : buttons) {
        auto* pButton = new QPushButton(b.pszText, pBody);
        pButton->setProperty("controlId", b.nId);
        pButton->setGeometry(Rect(b.x, b.y, b.cx, b.cy));
        pButton->setAutoDefault(false);
        connect(pButton, &QPushButton::clicked, this, b.pfn);
        mapButtons[b.nId] = pButton;
    }
    CManagerCommands::CButtons vecMenu;
    for (int nId : {IDC_NEW_EMAIL, IDC_EDIT_SCHEDULE, IDC_EDIT_EMAIL, IDC_REMOVE, IDC_COPY, IDC_ACTIVATE, IDC_DISABLE,
                    IDC_MOVE_UP, IDC_MOVE_DOWN})
        vecMenu.emplace_back(nId, mapButtons[nId]);
    new CManagerCommands(m_pList, std::move(vecMenu),
                         {IDC_EDIT_SCHEDULE, IDC_REMOVE, IDC_ACTIVATE, IDC_DISABLE, IDC_MOVE_UP, IDC_MOVE_DOWN});
    connect(&m_timer, &QTimer::timeout, this, &CEmailManagerDlg::OnTimer);
    OnInitDialog();
}

QWidget* CEmailManagerDlg::Control(int nId) const {
    for (QWidget* p : findChildren<QWidget*>())
        if (p->property("controlId").toInt() == nId) return p;
    return nullptr;
}

QString CEmailManagerDlg::NextSendingText(const TaskDateTime& dt) {
    if (dt.nYear < 1 || dt.nMonth < 1 || dt.nDay < 1) return "Completed";
    const char* pszDay = dt.nDayOfWeek >= 1 && dt.nDayOfWeek <= 7 ? kDayNames[dt.nDayOfWeek - 1] : "";
    const char* pszMonth = dt.nMonth <= 12 ? kMonthNames[dt.nMonth - 1] : "";
    return QString::asprintf("%s, %s %d, %4d %02d:%02d", pszDay, pszMonth, dt.nDay, dt.nYear, dt.nHour, dt.nMinute);
}

QString CEmailManagerDlg::ScheduleText(const CTaskItem& task) {
    std::string str = CRecurrenceText::Describe(task);
    if (const std::string strEnd = CRecurrenceText::DescribeEnd(task); !strEnd.empty()) str += ", " + strEnd;
    return QString::fromStdString(str);
}

void CEmailManagerDlg::SetAllRows() {
    if (!g_pTaskList) return;
    for (int i = 0; i < g_pTaskList->GetSize(); ++i) SetRowOf(i);
}

void CEmailManagerDlg::SetRowOf(int nIndex) {
    const CTaskList& list = *g_pTaskList;  // read only: the sender's cache stays valid
    const CTaskItem& t = list[nIndex];
    SetTaskRow(nIndex, t.m_bActive, t.m_strTaskName, t.m_dtNextSending);
    // A task the scheduler had to complete says so, with the reason at hand.
    const std::string* pWhy = g_pSendEmailDlg ? g_pSendEmailDlg->Stalled().Reason(list.IdAt(nIndex), t) : nullptr;
    QTreeWidgetItem* pItem = m_pList->topLevelItem(nIndex);
    if (!pItem) return;
    // The schedule column lies past the list's width; the name tells it too.
    const QString strSchedule = ScheduleText(t);
    pItem->setText(kScheduleColumn, strSchedule);
    pItem->setToolTip(kNameColumn, strSchedule);
    CLastResultColumn::Fill(pItem, kLastResultColumn, t, g_pTaskHistory ? &g_pTaskHistory->History() : nullptr);
    if (pWhy) pItem->setText(kNextSendingColumn, kStalledText);
    pItem->setToolTip(kNextSendingColumn, pWhy ? QString::fromStdString(*pWhy) : QString());
    // A disabled task is not sent, whatever time it still holds; that time
    // is kept, greyed, in the tooltip.
    const bool bDisabled = !t.m_bActive && t.m_dtNextSending.IsSet() && !pWhy;
    if (bDisabled) {
        pItem->setToolTip(kNextSendingColumn,
                          "Not sent until activated; its stored next time is " + NextSendingText(t.m_dtNextSending));
        pItem->setText(kNextSendingColumn, kDisabledText);
    }
    pItem->setForeground(kNextSendingColumn, bDisabled ? palette().brush(QPalette::Disabled, QPalette::Text)
                                                       : palette().brush(QPalette::Active, QPalette::Text));
}

void CEmailManagerDlg::OnInitDialog() {
    SetAllRows();
    if (m_pList->topLevelItemCount() > 0) {
        m_pList->setCurrentItem(m_pList->topLevelItem(0));
        m_pList->setFocus();
    }
    m_nRefreshBusy = 0;
    m_timer.start(1000);
}

void CEmailManagerDlg::SetTaskRow(int nRow, int bActive, const std::string& strName, const TaskDateTime& dtNext) {
    QTreeWidgetItem* pItem = nRow < m_pList->topLevelItemCount() ? m_pList->topLevelItem(nRow) : nullptr;
    if (!pItem) {
        pItem = new QTreeWidgetItem();
        m_pList->addTopLevelItem(pItem);
    }
    pItem->setIcon(kNameColumn, RowIcon(bActive ? 1 : 0));
    pItem->setData(kNameColumn, Qt::UserRole, bActive ? 1 : 0);
    pItem->setText(kNameColumn, QString::fromStdString(strName));
    pItem->setText(kNextSendingColumn, NextSendingText(dtNext));
    pItem->setTextAlignment(kNextSendingColumn, Qt::AlignHCenter | Qt::AlignVCenter);
}

void CEmailManagerDlg::OnTimer() {
    if (m_nRefreshBusy) return;
    const QScopedValueRollback guard(m_nRefreshBusy, 1);
    SetAllRows();
}

int CEmailManagerDlg::SelectedIndex() {
    const auto selected = m_pList->selectedItems();
    const int nIndex = selected.isEmpty() ? -1 : m_pList->indexOfTopLevelItem(selected.front());
    if (nIndex < 0 || !g_pTaskList || nIndex >= g_pTaskList->GetSize()) {
        Warn("Please select an email message item.");
        return -1;
    }
    return nIndex;
}

// A change the user made that could not be written is not kept quiet.
void CEmailManagerDlg::SaveList() {
    if (const auto rSaved = SaveSharedTaskList(); !rSaved) Fail("Failed to save the task list: " + rSaved.Problem());
}

void CEmailManagerDlg::OnCloseButton() {
    m_timer.stop();
    accept();
}

void CEmailManagerDlg::OnNewEmail() {
    CComPtr<IDispatch> spItem;
    if (g_spApplication && FAILED(g_spApplication->CreateItem(olMailItem, &spItem))) spItem.Release();
    DisplayForOptions(spItem, CTaskList::kNoId, "Failed to create a new email message!", "composing");
}

void CEmailManagerDlg::OnEditEmailMessage() {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    const CTaskList& list = *g_pTaskList;
    const CTaskItem task = list[nIndex];
    if (task.m_strTemplateFile.empty()) {
        Fail("The path of the template is empty!");
        return;
    }
    if (!CanOpenTemplate(task.m_strTemplateFile)) {
        Fail("Failed to read the template file!");
        return;
    }
    CComPtr<IDispatch> spItem;
    if (g_spApplication && FAILED(g_spApplication->CreateItemFromTemplate(task.m_strTemplateFile, vtMissing, &spItem)))
        spItem.Release();
    DisplayForOptions(spItem, list.IdAt(nIndex), "Failed to open the email message!", "editing");
}

void CEmailManagerDlg::DisplayForOptions(IDispatch* pItem, CTaskList::Id nTaskId, const char* pszFailure,
                                         const char* pszDoing) {
    CComQIPtr<_MailItem> spMail(pItem);
    if (!spMail) {
        Fail(pszFailure);
        return;
    }
    // The button is on the message window's own toolbar in this host.
    Inform(std::string("Please click on \"Quillory Options\" button after ") + pszDoing +
           " the email message.\n\nThe button is on the \"Quillory\" toolbar of the message window.");
    // The window goes first: the message window and the options sheet take over.
    m_timer.stop();
    accept();
    // Where the task stands after the message box; -1 (a new message) when
    // it was removed meanwhile.
    g_nCurTaskIndex = g_pTaskList ? g_pTaskList->IndexOf(nTaskId) : -1;
    g_nCurTaskId = g_nCurTaskIndex < 0 ? CTaskList::kNoId : nTaskId;
    spMail->Display(vtMissing);
}

void CEmailManagerDlg::OnRemove() {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    const CTaskList::Id nId = g_pTaskList->IdAt(nIndex);
    if (!Ask("Are you sure you want to delete the selected email message?")) return;
    // The question's event loop lets the list change; the task is found again.
    const int nNow = g_pTaskList ? g_pTaskList->IndexOf(nId) : -1;
    if (nNow < 0) return;
    g_pTaskList->RemoveAt(nNow);
    if (nNow < m_pList->topLevelItemCount()) delete m_pList->takeTopLevelItem(nNow);
    SaveList();
}

void CEmailManagerDlg::OnCopy() {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    const CTaskItem source = static_cast<const CTaskList&>(*g_pTaskList)[nIndex];
    CTaskItem copy = source;
    copy.m_strTaskName = "Copy of " + source.m_strTaskName;
    copy.m_strTemplateFile = source.m_strTemplateFile + ".oft";
    std::error_code ec;  // a failed copy leaves a task whose sending fails quietly
    std::filesystem::copy_file(source.m_strTemplateFile, copy.m_strTemplateFile,
                               std::filesystem::copy_options::overwrite_existing, ec);
    const int nNew = g_pTaskList->Add(copy);
    SetRowOf(nNew);
    SaveList();
    // The copy is what the user will want to rename or reschedule next.
    m_pList->setCurrentItem(m_pList->topLevelItem(nNew));
}

void CEmailManagerDlg::SetActive(int bActive) {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    CTaskItem task = static_cast<const CTaskList&>(*g_pTaskList)[nIndex];
    task.m_bActive = bActive;
    g_pTaskList->SetAt(nIndex, task);
    SetRowOf(nIndex);
    SaveList();
}

void CEmailManagerDlg::OnActivate() { SetActive(1); }
void CEmailManagerDlg::OnDisable() { SetActive(0); }

void CEmailManagerDlg::Move(int nDelta) {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    const int nOther = nIndex + nDelta;
    if (nOther < 0 || nOther >= m_pList->topLevelItemCount() || nOther >= g_pTaskList->GetSize()) return;
    if (nDelta < 0) g_pTaskList->MoveUp(nIndex);
    else g_pTaskList->MoveDown(nIndex);
    SetRowOf(nIndex);
    SetRowOf(nOther);
    SaveList();
    m_pList->setCurrentItem(m_pList->topLevelItem(nOther));
    m_pList->setFocus();
    // Scroll by the view's height times the rows plus one: the end of the list comes into view.
    QScrollBar* pBar = m_pList->verticalScrollBar();
    pBar->setValue(pBar->value() + m_pList->height() * (m_pList->topLevelItemCount() + 1));
}

void CEmailManagerDlg::OnMoveUp() { Move(-1); }
void CEmailManagerDlg::OnMoveDown() { Move(+1); }

void CEmailManagerDlg::OnEditScheduleOptions() {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    const CTaskList& list = *g_pTaskList;
    const CTaskList::Id nId = list.IdAt(nIndex);
    // Only while the sheet is open: left set, the next message window the
    // user opens in the host would become an edit of this task. No window
    // is current once it closes, on every path.
    g_nCurTaskIndex = -1;
    g_nCurTaskId = CTaskList::kNoId;
    const QScopedValueRollback<int> keepIndex(g_nCurTaskIndex, nIndex);
    const QScopedValueRollback<CTaskList::Id> keepId(g_nCurTaskId, nId);
    CTaskItem task = list[nIndex];
    if (!CScheduleSheet::EditSchedule(task, nIndex, nId, this) || !g_pTaskList) return;
    // The sheet's event loop lets the list change: the edit goes to the same
    // task wherever it stands now, or comes back as a task of its own when
    // that was removed meanwhile (what the user just confirmed is not lost).
    int nNow = g_pTaskList->IndexOf(nId);
    if (nNow < 0) nNow = g_pTaskList->Add(task);
    else g_pTaskList->SetAt(nNow, task);
    SetRowOf(nNow);
    SaveList();
}

void CEmailManagerDlg::OnAbout() {
    CAboutDlg dlg;
    dlg.exec();
}

void CEmailManagerDlg::OnSupport() { OpenUrl(CMakerInfo::kSupportPage); }
void CEmailManagerDlg::OnWebSite() { OpenUrl(CMakerInfo::kWebSite); }
