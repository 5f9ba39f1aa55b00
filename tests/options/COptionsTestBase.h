#pragma once
// Drives the real options sheet offscreen: a fixed clock, a chosen time
// zone, a temp data directory, recorded message boxes and a host object
// model over an in-memory mail store.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CApplication.h"
#include "CAttachmentsPage.h"
#include "CBoxRecorder.h"
#include "CGeneralPage.h"
#include "CMemoryMailBackend.h"
#include "CMessageBox.h"
#include "COptionsDlg.h"
#include "COptionsIds.h"
#include "COtherPage.h"
#include "CSharedStateScope.h"
#include "CTempDir.h"
#include "IClock.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

using CStrings = std::vector<std::string>;

// What the user does on the sheet, in order.
struct CStep {
    enum EAction { kClick, kType, kSelect } eAction;
    int nId;
    std::string strText;  // typed
    int nIndex = 0;       // selected
};
inline CStep ClickOn(int nId) { return {CStep::kClick, nId, {}}; }
inline CStep TypeInto(int nId, const char* pszText) { return {CStep::kType, nId, pszText}; }
inline CStep SelectIn(int nId, int nIndex) { return {CStep::kSelect, nId, {}, nIndex}; }

class COptionsTestBase : public ::testing::Test {
public:
    void SetUp() override {
        m_pScope = std::make_unique<CSharedStateScope>(m_backend, m_dir.Path() + "/", m_list, "UTC");
        m_spApp = m_pScope->App();
        m_clock.Set(Local(2024, 6, 7, 10, 0, 0));
    }
    void TearDown() override {
        m_pDlg.reset();
        m_spApp.Release();
        m_pZone.reset();
        m_pScope.reset();
    }

    // Another zone than the scope's UTC, until the end of the test.
    void SetZone(const char* pszZone) { m_pZone = std::make_unique<CZoneGuard>(pszZone); }
    static time_t Local(int y, int mo, int d, int h, int mi, int s) {
        return ValueOf(TaskTime::ToAbsolute(y, mo, d, h, mi, s));
    }

    // A composed, saved draft as the message window's button leaves it.
    CComPtr<_MailItem> Compose(const std::string& strSubject = "Weekly figures");
    // The sheet for a new message, as the message window's button opens it.
    COptionsDlg& OpenNew(const std::string& strSubject = "Weekly figures") {
        Compose(strSubject);
        return Open(1, COptionsDlg::kModeNewMessage, -1, nullptr, strSubject);
    }
    COptionsDlg& Open(int bNew, int nMode, int nIndex, const CTaskItem* pTask, const std::string& strPreset = {});

    QWidget* Find(int nId) const;
    template <class T>
    T* Get(int nId) const {
        T* p = qobject_cast<T*>(Find(nId));
        EXPECT_TRUE(p) << "no control " << nId;
        return p;
    }
    void Click(int nId) { Get<QAbstractButton>(nId)->click(); }
    void Type(int nId, const std::string& str) { Get<QLineEdit>(nId)->setText(QString::fromStdString(str)); }
    std::string Text(int nId) const { return Get<QLineEdit>(nId)->text().toStdString(); }
    void Select(int nId, int nIndex) { Get<QComboBox>(nId)->setCurrentIndex(nIndex); }
    void Do(const CStep& step) {
        switch (step.eAction) {
            case CStep::kClick: return Click(step.nId);
            case CStep::kType: return Type(step.nId, step.strText);
            case CStep::kSelect: return Select(step.nId, step.nIndex);
        }
    }
    int Selected(int nId) const { return Get<QComboBox>(nId)->currentIndex(); }
    bool Enabled(int nId) const { return Find(nId)->isEnabled(); }
    bool Checked(int nId) const { return Get<QAbstractButton>(nId)->isChecked(); }
    // Each of vecOn is ticked or chosen, none of vecOff.
    void ExpectTicked(const std::vector<int>& vecOn, const std::vector<int>& vecOff = {}) const {
        for (int nId : vecOn) EXPECT_TRUE(Checked(nId)) << nId;
        for (int nId : vecOff) EXPECT_FALSE(Checked(nId)) << nId;
    }
    void SetStart(const QDate& date, const QTime& time) {
        Get<QDateEdit>(1037)->setDate(date);
        Get<QTimeEdit>(1038)->setTime(time);
    }
    // The field loses the keyboard focus.
    void LeaveField(int nId, Qt::FocusReason reason = Qt::TabFocusReason);
    // Schedule pressed; true when the sheet closed with OK.
    bool Schedule();
    // Runs fn on the next modal window that opens while the caller waits in
    // exec(), other than pNot. The timer deletes itself once it has acted; a
    // test whose modal may never come deletes it before its captures go.
    static QTimer* OnNextModal(std::function<void(QWidget*)> fn, QWidget* pNot = nullptr);

    // The fields a table row sets on a task.
    using CFields = std::vector<std::pair<int32_t CTaskItem::*, int32_t>>;
    static void SetFields(CTaskItem& task, const CFields& fields) {
        for (const auto& [pField, nValue] : fields) task.*pField = nValue;
    }

    CStrings Texts() const { return m_boxes.Texts(); }
    CStrings Told() { return m_boxes.Told(); }
    unsigned LastIcon() const { return m_boxes.m_vecShown.empty() ? 0 : (m_boxes.m_vecShown.back().nFlags & 0xF0); }

    static constexpr const char* kScheduled =
        "This email message has been scheduled.\n\nIt is sent while Mail Host runs, also from the tray or as a "
        "service.";

    CFixedClock m_clock{0};
    CTempDir m_dir;
    CTaskList m_list;
    CMemoryMailBackend m_backend;
    std::unique_ptr<CSharedStateScope> m_pScope;
    std::unique_ptr<CZoneGuard> m_pZone;
    CComPtr<CApplication> m_spApp;
    std::unique_ptr<COptionsDlg> m_pDlg;
    CBoxRecorder m_boxes;
};
