#pragma once
#include <QMessageBox>
#include <string>

// The host's own messages (the add-in's go through CQtMessageBox), all with
// the host's name as caption and modal over their window.
class CHostMessage {
public:
    static constexpr const char* kCaption = "Mail Host";
    static void Warning(QWidget* pParent, const std::string& strText);
    static void Error(QWidget* pParent, const std::string& strText);
    // Yes, No or Cancel; Escape cancels.
    static QMessageBox::StandardButton AskSave(QWidget* pParent, const std::string& strText);
    static bool Confirm(QWidget* pParent, const std::string& strText);
};
