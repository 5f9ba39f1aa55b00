#pragma once
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "CApplication.h"
#include "CCommandBarView.h"

class QLineEdit;
class QPlainTextEdit;
class QListWidget;
class QPushButton;
class QAction;
class QMenu;

// A message window over one inspector of the object model. What the user
// types goes into the mail item at once, so an add-in reading the item
// (say from its toolbar button) sees what is on the screen. Focus changes
// become the model's Activate and Deactivate; closing goes through the
// model, which raises Close and then tells the host to drop this window.
class CInspectorWindow : public QMainWindow {
public:
    CInspectorWindow(CApplication* pApp, _Inspector* pInspector, std::function<void()> fnStoreChanged);
    ~CInspectorWindow() override;

    _Inspector* Inspector() const { return m_spInspector; }
    bool IsEdited() const { return m_bEdited; }
    bool IsReadOnly() const { return m_bReadOnly; }
    CCommandBarView& Bars() { return *m_pBars; }

    // The user's commands (also behind the buttons and menus).
    bool OnSave();
    // As far as it can without asking (the host is being stopped).
    bool SaveQuietly();
    void OnSend();
    // Asks about unsaved changes; false when the user chose to stay.
    bool OnClose();
    void AddAttachmentFiles(const QStringList& listPaths);
    void RemoveSelectedAttachments();

    // The model closed the window: it goes without asking anything.
    void ModelClosed();

    QLineEdit* ToField() const { return m_pTo; }
    QLineEdit* CcField() const { return m_pCc; }
    QLineEdit* BccField() const { return m_pBcc; }
    QLineEdit* SubjectField() const { return m_pSubject; }
    QPlainTextEdit* BodyField() const { return m_pBody; }
    QListWidget* AttachmentList() const { return m_pAttachments; }
    QAction* SendAction() const { return m_pSend; }
    QAction* SaveAction() const { return m_pSave; }
    QAction* CloseAction() const { return m_pClose; }

protected:
    bool event(QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void BuildWidgets();
    void LoadFromItem();
    void ReloadAttachments();
    // Every address field checked; shows the first problem.
    bool CheckAddresses();
    void PushRecipients();
    void Edited();
    void UpdateTitle();
    // Where the store keeps the message; empty while it is not stored.
    std::string StoredAs() const;
    // "No" to saving a message the user never kept: a copy stored while the
    // window was open (by an add-in) goes too, so Drafts holds nothing the
    // user refused.
    void DropUnkeptCopy();

    CComPtr<CApplication> m_spApp;
    CComPtr<_Inspector> m_spInspector;
    CComPtr<_MailItem> m_spMail;
    std::function<void()> m_fnStoreChanged;
    std::unique_ptr<CCommandBarView> m_pBars;
    QLineEdit* m_pTo = nullptr;
    QLineEdit* m_pCc = nullptr;
    QLineEdit* m_pBcc = nullptr;
    QLineEdit* m_pSubject = nullptr;
    QPlainTextEdit* m_pBody = nullptr;
    QListWidget* m_pAttachments = nullptr;
    QPushButton* m_pAddAttachment = nullptr;
    QPushButton* m_pRemoveAttachment = nullptr;
    QAction* m_pSend = nullptr;
    QAction* m_pSave = nullptr;
    QAction* m_pClose = nullptr;
    QMenu* m_pMessageMenu = nullptr;  // also holds the add-ins' toolbar buttons
    bool m_bLoading = false;
    bool m_bEdited = false;
    bool m_bReadOnly = false;
    bool m_bModelClosed = false;
    bool m_bKept = false;  // stored when the window opened, or saved by the user since
};
