#include "CEmailManagerDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <map>

#include "CAboutDlg.h"
#include "CAddinBox.h"
#include "CAddinIcon.h"
#include "CAddinSettings.h"
#include "CLastResultColumn.h"
#include "CMakerInfo.h"
#include "CManagerCommands.h"
#include "CRecurrenceText.h"
#include "CScheduleSheet.h"
#include "CSendEmailDlg.h"
#include "CSharedListEdit.h"
#include "CTaskHistory.h"
#include "CTaskHistoryFile.h"
#include "CalendarNames.h"
#include "OpenUrl.h"
#include "SharedState.h"
#include "TemplateAccess.h"

using namespace CAddinBox;

namespace {

const char* const kStalledText = "Completed (the schedule cannot move on)";
const char* const kDisabledText = "Disabled";

// The row marks: a green check mark for an active task, a red no-entry
// sign for an inactive one, a grey dash for one with nothing left to send,
// an orange warning sign for one whose last occurrence failed.
QIcon RowIcon(CEmailManagerDlg::ERowMark mark) {
    using ERowMark = CEmailManagerDlg::ERowMark;
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (mark) {
        case ERowMark::Active:
            p.setPen(QPen(QColor(0, 150, 0), 2.5));
            p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
            break;
        case ERowMark::Inactive:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(200, 0, 0));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 7, 8, 2));
            break;
        case ERowMark::Completed:
            p.setPen(QPen(QColor(140, 140, 140), 2.5));
            p.drawLine(QPointF(3, 8), QPointF(13, 8));
            break;
        case ERowMark::Failed:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(230, 120, 0));
            p.drawPolygon(QPolygonF({QPointF(8, 1.5), QPointF(15, 14.5), QPointF(1, 14.5)}));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7.2, 5, 1.6, 5.5));
            p.drawRect(QRectF(7.2, 11.5, 1.6, 1.6));
            break;
    }
    return QIcon(pm);
}

// The marker of a task with rules: a small blue calendar leaf.
QIcon RulesIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 90, 180), 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(2, 3, 12, 11), 2, 2);
    p.setBrush(QColor(30, 90, 180));
    p.drawRect(QRectF(2, 3, 12, 3));
    p.drawRect(QRectF(5, 9, 2, 2));
    return QIcon(pm);
}

// Whether the task's last occurrence went wrong for good.
bool LastFailed(const CTaskItem& task) {
    const CTaskOutcome* pLast =
        g_pTaskHistory ? g_pTaskHistory->History().Last(CTaskHistory::KeyOf(task.m_strTemplateFile)) : nullptr;
    if (!pLast || pLast->bSendNow) return false;
    using EKind = CTaskOutcome::EKind;
    return pLast->kind == EKind::Failed || pLast->kind == EKind::TemplateMissing ||
           pLast->kind == EKind::TemplateDamaged;
}

}  // namespace

CEmailManagerDlg::CEmailManagerDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("Email Manager - Quillory");
    setWindowIcon(QIcon(CAddinIcon::Pixmap(32)));
    setSizeGripEnabled(true);
    auto* pLayout = new QVBoxLayout(this);
    auto* pMenuBar = new QMenuBar(this);
    pLayout->setMenuBar(pMenuBar);
    QMenu* pMenu = pMenuBar->addMenu("&Help");
    pMenu->addAction("&Web Site", this, &CEmailManagerDlg::OnWebSite)->setProperty("controlId", ID_MENU_WEB_SITE);
    pMenu->addAction("&Support", this, &CEmailManagerDlg::OnSupport)->setProperty("controlId", ID_MENU_SUPPORT);
    pMenu->addSeparator();
    pMenu->addAction("&About Quillory", this, &CEmailManagerDlg::OnAbout)->setProperty("controlId", ID_MENU_ABOUT);

    auto* pGroup = new QGroupBox("Scheduled email messages list", this);
    auto* pGroupLayout = new QGridLayout(pGroup);
    m_pList = new QTreeWidget(pGroup);
    m_pList->setProperty("controlId", IDC_TASK_LIST);
    m_pList->setColumnCount(4);
    m_pList->setHeaderLabels({"Task Name", "Next Sending", CLastResultColumn::kHeader, "Schedule"});
    m_pList->headerItem()->setTextAlignment(kNameColumn, Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->headerItem()->setTextAlignment(kNextSendingColumn, Qt::AlignHCenter | Qt::AlignVCenter);
    // Every column fits at the default size; the schedule takes what is
    // left, and a text too long for its column keeps its start and its end
    // (the whole of it is in the tooltip).
    m_pList->header()->setStretchLastSection(true);
    m_pList->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_pList->header()->setMinimumSectionSize(60);
    m_pList->setTextElideMode(Qt::ElideMiddle);
    m_pList->setColumnWidth(kNameColumn, kDefaultNameWidth);
    m_pList->setColumnWidth(kNextSendingColumn, kDefaultNextSendingWidth);
    m_pList->setColumnWidth(kLastResultColumn, CLastResultColumn::kWidth);
    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setAllColumnsShowFocus(true);

    // The side column in groups (a gap before Activate and Move Up), then the
    // row under the list; Undo Remove stays greyed until something was removed.
    struct {
        int nId;
        const char* pszText;
        bool bGapBefore;
        void (CEmailManagerDlg::*pfn)();
    } const buttons[] = {
        {IDC_NEW_EMAIL, "&New Email...", false, &CEmailManagerDlg::OnNewEmail},
        {IDC_REMOVE, "&Remove", false, &CEmailManagerDlg::OnRemove},
        {IDC_COPY, "Co&py", false, &CEmailManagerDlg::OnCopy},
        {IDC_ACTIVATE, "&Activate", true, &CEmailManagerDlg::OnActivate},
        {IDC_DISABLE, "D&isable", false, &CEmailManagerDlg::OnDisable},
        {IDC_MOVE_UP, "Move &Up", true, &CEmailManagerDlg::OnMoveUp},
        {IDC_MOVE_DOWN, "Move &Down", false, &CEmailManagerDlg::OnMoveDown},
        {IDC_UNDO_REMOVE, "Und&o Remove", true, &CEmailManagerDlg::OnUndoRemove},
        {IDC_EDIT_SCHEDULE, "Edit &Schedule Options...", false, &CEmailManagerDlg::OnEditScheduleOptions},
        {IDC_EDIT_EMAIL, "Edit &Email Message...", false, &CEmailManagerDlg::OnEditEmailMessage},
        {IDC_CLOSE, "&Close", false, &CEmailManagerDlg::OnCloseButton},
    };
    auto* pSide = new QVBoxLayout;
    auto* pBottom = new QHBoxLayout;
    std::map<int, QPushButton*> mapButtons;
    for (const auto& b : buttons) {
        auto* pButton = new QPushButton(b.pszText, this);
        pButton->setProperty("controlId", b.nId);
        pButton->setAutoDefault(false);
        connect(pButton, &QPushButton::clicked, this, b.pfn);
        mapButtons[b.nId] = pButton;
        if (b.nId == IDC_EDIT_SCHEDULE || b.nId == IDC_EDIT_EMAIL) {
            pBottom->addWidget(pButton);
        } else if (b.nId != IDC_CLOSE) {
            if (b.bGapBefore) pSide->addSpacing(b.nId == IDC_UNDO_REMOVE ? 0 : 16);
            if (b.nId == IDC_UNDO_REMOVE) pSide->addStretch(1);
            pSide->addWidget(pButton);
        }
    }
    pGroupLayout->addWidget(m_pList, 0, 0);
    pGroupLayout->addLayout(pSide, 0, 1);
    pBottom->addStretch(1);
    pGroupLayout->addLayout(pBottom, 1, 0);
    pLayout->addWidget(pGroup, 1);
    auto* pCloseRow = new QHBoxLayout;
    pCloseRow->addStretch(1);
    pCloseRow->addWidget(mapButtons[IDC_CLOSE]);
    pLayout->addLayout(pCloseRow);
    mapButtons[IDC_UNDO_REMOVE]->setEnabled(false);
    mapButtons[IDC_UNDO_REMOVE]->setShortcut(QKeySequence::Undo);
    resize(kDefaultWidth, kDefaultHeight);
    RestoreLayout();

    CManagerCommands::CButtons vecMenu;
    for (int nId : {IDC_NEW_EMAIL, IDC_EDIT_SCHEDULE, IDC_EDIT_EMAIL, IDC_REMOVE, IDC_COPY, IDC_ACTIVATE, IDC_DISABLE,
                    IDC_MOVE_UP, IDC_MOVE_DOWN})
        vecMenu.emplace_back(nId, mapButtons[nId]);
    new CManagerCommands(m_pList, std::move(vecMenu),
                         {IDC_EDIT_SCHEDULE, IDC_REMOVE, IDC_ACTIVATE, IDC_DISABLE, IDC_MOVE_UP, IDC_MOVE_DOWN});
    connect(&m_timer, &QTimer::timeout, this, &CEmailManagerDlg::OnTimer);
    OnInitDialog();
}

void CEmailManagerDlg::RestoreLayout() {
    const std::string strFile = CAddinSettings::Path();
    if (strFile.empty() || !std::filesystem::exists(strFile)) return;
    const auto pSettings = CAddinSettings::Open();
    if (!pSettings) return;
    // A damaged or foreign entry is ignored: the defaults stand.
    (void)restoreGeometry(pSettings->value("manager/geometry").toByteArray());
    (void)m_pList->header()->restoreState(pSettings->value("manager/columns").toByteArray());
}

void CEmailManagerDlg::SaveLayout() const {
    const auto pSettings = CAddinSettings::Open();
    if (!pSettings) return;
    pSettings->setValue("manager/geometry", saveGeometry());
    pSettings->setValue("manager/columns", m_pList->header()->saveState());
    // Only the window's size is lost when this cannot be written; it is not
    // worth a box, but it is said where the host's log goes.
    (void)CAddinSettings::Save(*pSettings, "the window's size is not kept");
}

void CEmailManagerDlg::hideEvent(QHideEvent* pEvent) {
    SaveLayout();
    QDialog::hideEvent(pEvent);
}

QWidget* CEmailManagerDlg::Control(int nId) const {
    for (QWidget* p : findChildren<QWidget*>())
        if (p->property("controlId").toInt() == nId) return p;
    return nullptr;
}

QString CEmailManagerDlg::NextSendingText(const TaskDateTime& dt) {
    if (dt.nYear < 1 || dt.nMonth < 1 || dt.nDay < 1) return "Completed";
    const char* pszDay =
        dt.nDayOfWeek >= 1 && dt.nDayOfWeek <= 7 ? kWeekdayNames[static_cast<size_t>(dt.nDayOfWeek - 1)] : "";
    const char* pszMonth = dt.nMonth <= 12 ? kMonthNames[static_cast<size_t>(dt.nMonth - 1)] : "";
    return QString::asprintf("%s, %s %d, %4d %02d:%02d", pszDay, pszMonth, dt.nDay, dt.nYear, dt.nHour, dt.nMinute);
}

QString CEmailManagerDlg::ScheduleText(const CTaskItem& task, const CTaskRules& rules) {
    std::string str = CRecurrenceText::Describe(task);
    if (const std::string strEnd = CRecurrenceText::DescribeEnd(task); !strEnd.empty()) str += ", " + strEnd;
    if (!rules.IsEmpty()) str += " (" + rules.Summary() + ")";
    return QString::fromStdString(str);
}

void CEmailManagerDlg::SetAllRows() {
    if (!g_pTaskList) return;
    // The selection stays with its task wherever the list moved it.
    QTreeWidgetItem* pCurrent = m_pList->currentItem();
    const QVariant varSelected = pCurrent ? pCurrent->data(kNameColumn, kTaskIdRole) : QVariant();
    for (int i = 0; i < g_pTaskList->GetSize(); ++i) SetRowOf(i);
    // Tasks removed elsewhere (the tool, a message window) leave no row behind.
    while (m_pList->topLevelItemCount() > g_pTaskList->GetSize())
        delete m_pList->takeTopLevelItem(m_pList->topLevelItemCount() - 1);
    if (!varSelected.isValid()) return;
    const int nNow = g_pTaskList->IndexOf(varSelected.toULongLong());
    if (nNow >= 0) m_pList->setCurrentItem(m_pList->topLevelItem(nNow));
    else m_pList->clearSelection();  // gone: no other task is acted on in its place
}

void CEmailManagerDlg::SetRowOf(int nIndex) {
    const CTaskList& list = *g_pTaskList;  // read only: the sender's cache stays valid
    const CTaskItem& t = list[nIndex];
    SetTaskRow(nIndex, t.m_bActive, t.m_strTaskName, t.m_dtNextSending);
    // A task the scheduler had to complete says so, with the reason at hand.
    const std::string* pWhy = g_pSendEmailDlg ? g_pSendEmailDlg->Stalled().Reason(list.IdAt(nIndex), t) : nullptr;
    QTreeWidgetItem* pItem = m_pList->topLevelItem(nIndex);
    if (!pItem) return;
    pItem->setData(kNameColumn, kTaskIdRole, QVariant::fromValue<qulonglong>(list.IdAt(nIndex)));
    // The schedule column lies past the list's width; the name tells it too.
    // Rules that cannot be read are shown as such: the task is then sent as its schedule alone says.
    const auto rRules = SharedTaskRules(t);
    const QString strSchedule =
        rRules ? ScheduleText(t, *rRules)
               : ScheduleText(t) + QString::fromStdString(" (rules not readable: " + rRules.Problem() + ")");
    const bool bRules = !rRules || !rRules->IsEmpty();
    pItem->setText(kScheduleColumn, strSchedule);
    pItem->setIcon(kScheduleColumn, bRules ? RulesIcon() : QIcon());
    pItem->setData(kScheduleColumn, kRulesRole, bRules);
    pItem->setToolTip(kNameColumn, strSchedule);
    pItem->setToolTip(kScheduleColumn, strSchedule);
    CLastResultColumn::Fill(pItem, kLastResultColumn, t, g_pTaskHistory ? &g_pTaskHistory->History() : nullptr);
    // The active tick only where the task will still send.
    const ERowMark mark = !t.m_bActive                         ? ERowMark::Inactive
                          : LastFailed(t)                      ? ERowMark::Failed
                          : !t.m_dtNextSending.IsSet() || pWhy ? ERowMark::Completed
                                                               : ERowMark::Active;
    pItem->setIcon(kNameColumn, RowIcon(mark));
    pItem->setData(kNameColumn, kMarkRole, static_cast<int>(mark));
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
    pItem->setIcon(kNameColumn, RowIcon(bActive ? ERowMark::Active : ERowMark::Inactive));
    pItem->setData(kNameColumn, Qt::UserRole, bActive ? 1 : 0);
    pItem->setData(kNameColumn, kMarkRole, static_cast<int>(bActive ? ERowMark::Active : ERowMark::Inactive));
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
    // By the task the row shows, not its place: the list may have changed
    // since the rows were last refreshed.
    const QVariant varId = selected.isEmpty() ? QVariant() : selected.front()->data(kNameColumn, kTaskIdRole);
    const int nIndex = varId.isValid() && g_pTaskList ? g_pTaskList->IndexOf(varId.toULongLong()) : -1;
    if (nIndex < 0) {  // no row, or its task is gone
        Warn("Please select an email message item.");
        return -1;
    }
    return nIndex;
}

std::optional<CTaskListEdit::COutcome> CEmailManagerDlg::Edit(CTaskListEdit::ECommand eCommand, int nIndex,
                                                              const char* pszFailure, int nTo, const CTaskItem* pTask,
                                                              const CTaskRules* pRules,
                                                              const CTaskHistoryFile::CKept* pKept) {
    CTaskListEdit::CEdit edit;
    edit.eCommand = eCommand;
    edit.nIndex = nIndex;
    edit.nTo = nTo;
    if (pTask) edit.task = *pTask;
    if (pRules) edit.optRules = *pRules;
    if (pKept) edit.optKept = *pKept;
    auto rDone = CSharedListEdit::Apply(edit);
    if (!rDone) {
        Fail(std::string(pszFailure) + "\n\n" + rDone.Problem());
        return std::nullopt;
    }
    return std::move(*rDone);
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
    const std::string strName = static_cast<const CTaskList&>(*g_pTaskList)[nIndex].m_strTaskName;
    if (!AskRisky("Remove the task \"" + strName +
                  "\"?\n\nIt will not be sent again. Undo Remove brings it back while this window is open."))
        return;
    // The question's event loop lets the list change; the task is found again.
    const int nNow = g_pTaskList ? g_pTaskList->IndexOf(nId) : -1;
    if (nNow < 0) return;
    const auto done = Edit(CTaskListEdit::ECommand::Remove, nNow, "Failed to remove the task.");
    if (!done) return;
    m_removed = CRemoved{done->task, nId, nNow, done->optKept};
    if (nNow < m_pList->topLevelItemCount()) delete m_pList->takeTopLevelItem(nNow);
    if (QWidget* pUndo = Control(IDC_UNDO_REMOVE)) pUndo->setEnabled(true);
}

void CEmailManagerDlg::OnUndoRemove() {
    if (!m_removed || !g_pTaskList) return;
    // An occurrence handled while the task was away (its send was under
    // way) is not handled again: it comes back advanced past it.
    if (const CTaskItem* pHandled = g_pSendEmailDlg ? g_pSendEmailDlg->HandledWhileRemoved(m_removed->nId) : nullptr) {
        m_removed->task.m_nOccurrenceCount = pHandled->m_nOccurrenceCount;
        m_removed->task.m_dtLastSent = pHandled->m_dtLastSent;
        m_removed->task.m_dtNextSending = pHandled->m_dtNextSending;
    }
    // Back where it stood, as far as the list still reaches; its template
    // was never deleted.
    const auto done = Edit(CTaskListEdit::ECommand::Restore, -1, "Failed to bring the task back.", m_removed->nIndex,
                           &m_removed->task, nullptr, m_removed->optKept ? &*m_removed->optKept : nullptr);
    if (!done) return;
    m_removed.reset();
    if (QWidget* pUndo = Control(IDC_UNDO_REMOVE)) pUndo->setEnabled(false);
    SetAllRows();
    m_pList->setCurrentItem(m_pList->topLevelItem(done->nIndex));
    m_pList->setFocus();
}

void CEmailManagerDlg::OnCopy() {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    // "Copy of" the name (made unique) with a template of its own.
    const auto done = Edit(CTaskListEdit::ECommand::Copy, nIndex, "Failed to copy the task.");
    if (!done) return;
    SetRowOf(done->nIndex);
    // The copy is what the user will want to rename or reschedule next.
    m_pList->setCurrentItem(m_pList->topLevelItem(done->nIndex));
}

void CEmailManagerDlg::SetActive(int bActive) {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    if (!Edit(bActive ? CTaskListEdit::ECommand::Enable : CTaskListEdit::ECommand::Disable, nIndex,
              bActive ? "Failed to activate the task." : "Failed to disable the task."))
        return;
    SetRowOf(nIndex);
}

void CEmailManagerDlg::OnActivate() { SetActive(1); }
void CEmailManagerDlg::OnDisable() { SetActive(0); }

void CEmailManagerDlg::Move(int nDelta) {
    const int nIndex = SelectedIndex();
    if (nIndex < 0) return;
    const int nOther = nIndex + nDelta;
    if (nOther < 0 || nOther >= m_pList->topLevelItemCount() || nOther >= g_pTaskList->GetSize()) return;
    if (!Edit(CTaskListEdit::ECommand::Move, nIndex, "Failed to move the task.", nOther)) return;
    SetRowOf(nIndex);
    SetRowOf(nOther);
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
    auto rRules = SharedTaskRules(task);
    if (!rRules) {
        CAddinBox::Warn("The rules kept for this task cannot be read (" + rRules.Problem() +
                        "); its Rules page starts from none.");
        rRules = CTaskRules{};
    }
    CTaskRules rules = *rRules;
    if (!CScheduleSheet::EditSchedule(task, rules, nIndex, nId, this) || !g_pTaskList) return;
    // The sheet's event loop lets the list change: the edit goes to the same
    // task wherever it stands now, or comes back as a task of its own when
    // that was removed meanwhile (what the user just confirmed is not lost).
    const auto done =
        Edit(CTaskListEdit::ECommand::Store, g_pTaskList->IndexOf(nId), "Failed to store the task.", -1, &task, &rules);
    if (done) SetRowOf(done->nIndex);
}

void CEmailManagerDlg::OnAbout() {
    CAboutDlg dlg;
    dlg.exec();
}

void CEmailManagerDlg::OnSupport() { OpenUrl(CMakerInfo::kSupportPage); }
void CEmailManagerDlg::OnWebSite() { OpenUrl(CMakerInfo::kWebSite); }
