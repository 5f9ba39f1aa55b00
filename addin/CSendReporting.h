#pragma once
#include <memory>

#include "CSendEmailDlg.h"
#include "MailHostOM.h"

class CTaskHistoryFile;
class COutcomeRecorder;
class CApplicationEventsSink;
class INotifier;

// What the add-in sets up so that the outcome of each occurrence is seen:
// the task history beside the task list (loaded now, a damaged one
// reported), the desktop notifier, and the subscription to the host's
// send results. Lives while the add-in is connected.
class CSendReporting {
public:
    explicit CSendReporting(_Application* pApplication);
    ~CSendReporting();
    CSendReporting(const CSendReporting&) = delete;
    CSendReporting& operator=(const CSendReporting&) = delete;

    // Lets the scheduler send through the recorder and tell it of skips
    // and of the catch-up.
    void Wire(CSendContext& ctx);
    // Writes the history's outcomes not written yet; before the task list goes.
    void Flush();

    // Tests hand in a recorder of notifications; null: the desktop's.
    static void SetNotifierForTests(INotifier* pNotifier);

private:
    CComPtr<_Application> m_spApplication;
    std::unique_ptr<INotifier> m_pDesktop;
    std::unique_ptr<CTaskHistoryFile> m_pHistory;
    std::unique_ptr<COutcomeRecorder> m_pRecorder;
    CComPtr<CApplicationEventsSink> m_spSink;
    DWORD m_dwCookie = 0;
};
