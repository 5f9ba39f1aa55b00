#include "CHostMessage.h"

#include "CBoxOwner.h"

namespace {

QMessageBox::StandardButton Run(QWidget* pParent, QMessageBox::Icon icon, const std::string& strText,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def,
                                QMessageBox::StandardButton esc) {
    // Centred over its owner, as a parented dialog opens.
    QMessageBox box(icon, CHostMessage::kCaption, QString::fromStdString(strText), buttons, CBoxOwner::For(pParent));
    box.setDefaultButton(def);
    box.setEscapeButton(esc);
    box.setWindowModality(pParent ? Qt::WindowModal : Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void CHostMessage::Warning(QWidget* pParent, const std::string& strText) {
    Run(pParent, QMessageBox::Warning, strText, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

void CHostMessage::Error(QWidget* pParent, const std::string& strText) {
    Run(pParent, QMessageBox::Critical, strText, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton CHostMessage::AskSave(QWidget* pParent, const std::string& strText) {
    return Run(pParent, QMessageBox::Question, strText, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
               QMessageBox::Yes, QMessageBox::Cancel);
}

bool CHostMessage::Confirm(QWidget* pParent, const std::string& strText) {
    return Run(pParent, QMessageBox::Question, strText, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
               QMessageBox::No) == QMessageBox::Yes;
}
