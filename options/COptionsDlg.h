#pragma once
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "CHolidayCache.h"
#include "CMessageBox.h"
#include "CResult.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "IClock.h"

class QTabWidget;
class CGeneralPage;
class CAttachmentsPage;
class COtherPage;
class CRulesPage;

// The options sheet: when and how one message is sent. It works on a copy
// of one task; "Schedule" checks the pages, writes them into the task,
// computes its first sending time and, opened from a message window, saves
// the message as the task's template and removes the draft. The caller
// stores the task (GetTask) after exec() returned 1; 2 means cancelled.
// It opens centred over the window that opened it: pParent, or without one
// the window that was active (a message window), which it then stays above
// without being owned by it.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    enum EMode { kModeNewMessage = 0, kModeSchedule = 1, kModeMessage = 2 };
    enum EResult { kResultOK = 1, kResultCancel = 2 };

    explicit COptionsDlg(QWidget* pParent = nullptr, const IClock& clock = SystemClock());

    void SetTask(const CTaskItem& task) { m_task = task; }
    CTaskItem GetTask() const { return m_task; }
    // The task's rules, kept beside it: shown on the Rules page, and as
    // the page left them after exec() returned 1.
    void SetRules(const CTaskRules& rules) { m_rules = rules; }
    const CTaskRules& GetRules() const { return m_rules; }

    CGeneralPage& GeneralPage() const { return *m_pGeneralPage; }
    CAttachmentsPage& AttachmentsPage() const { return *m_pAttachmentsPage; }
    COtherPage& OtherPage() const { return *m_pOtherPage; }
    CRulesPage& RulesPage() const { return *m_pRulesPage; }
    QTabWidget& Sheet() const { return *m_pSheet; }

    int exec() override;
    void reject() override { done(kResultCancel); }

    // The notice after Schedule (an active task), until the user ticks
    // "Do not show again" (kept under kScheduledNoticeKey).
    static std::string ScheduledNotice(const std::string& strHostName);
    static constexpr const char* kScheduledNoticeKey = "scheduledNotice";

    // Written into the draft so that it can be found again in Deleted Items.
    static constexpr const char* kMarkerSubject = "Quillory-draft-removal-marker-7Q2x9Lk4Vb8Zr1Tn6Hc3Wm5Jd0F";

    int32_t m_bNewTask = 0;
    int32_t m_nMode = kModeNewMessage;
    int32_t m_nEditIndex = -1;
    // The edited task's identity in g_pTaskList; when set it decides which
    // task is "this one" at commit time, as the list may have been reordered
    // while the sheet was open.
    CTaskList::Id m_nEditId = CTaskList::kNoId;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    static const IClock& SystemClock();
    int EditIndexNow() const;
    void OnInitDialog();
    void OnSchedule();
    // The General page's coming sending times, from the pages as they are.
    void UpdatePreview();
    // The sheet into task, scheduled and its template saved: false when a
    // step stopped it, having shown its own message; the problem when the
    // schedule cannot be computed.
    CResult<bool> Commit(CTaskItem& task);
    // Steps of the commit that can stop it; each shows its own message.
    bool ReadPages(CTaskItem& task, time_t tNow);
    bool CheckName(CTaskItem& task);
    // The Rules page into m_rules, its holiday files read once.
    bool ReadRules();
    bool CheckSize(const CTaskItem& task, time_t tNow);
    // The placeholders of the new attachment entries and of the message's
    // subject and body, as sending fills them; the first problem is told.
    bool CheckPlaceholders(const CTaskItem& task);
    bool SaveTemplate(CTaskItem& task, time_t tNow);
    // The template file the task is saved to.
    CResult<std::string> TemplatePath(const CTaskItem& task, time_t tNow) const;
    static void RemoveDraft();
    // The subject the task's message has: the open message's as it is
    // being written, else its template's; empty when neither can be read.
    std::string MessageSubject();
    void Stop(const std::string& strMessage, QWidget* pPage, unsigned nIcon = CMessageBox::MB_ICONWARNING);

    void CentreOverOwner();

    const IClock& m_clock;
    QPointer<QWidget> m_pOwner;
    CTaskItem m_task;
    CTaskRules m_rules;
    QTabWidget* m_pSheet;
    CGeneralPage* m_pGeneralPage;
    CAttachmentsPage* m_pAttachmentsPage;
    COtherPage* m_pOtherPage;
    CRulesPage* m_pRulesPage;
    bool m_bInitialized = false;
    QTimer m_previewTimer;                            // coalesces a burst of edits into one preview
    std::optional<std::string> m_optTemplateSubject;  // read once: the template does not change while the sheet is open
    // The preview's holidays, read again when a file changes; told on stderr.
    CHolidayCache m_holidays{[](const std::string& str) { std::fputs(("Quillory: " + str + "\n").c_str(), stderr); }};
};
