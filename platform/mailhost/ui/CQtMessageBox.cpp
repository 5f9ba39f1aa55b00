#include "CQtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "CBoxOwner.h"
#include "CMessageBox.h"

using namespace CMessageBox;

std::unique_ptr<QMessageBox> CQtMessageBox::Build(const std::string& strText, const std::string& strCaption,
                                                  unsigned nFlags, QWidget* pParent) {
    auto pBox = std::make_unique<QMessageBox>(pParent);
    pBox->setWindowTitle(QString::fromStdString(strCaption));
    pBox->setText(QString::fromStdString(strText));
    switch (nFlags & MB_ICONMASK) {
        case MB_ICONERROR: pBox->setIcon(QMessageBox::Critical); break;
        case MB_ICONWARNING: pBox->setIcon(QMessageBox::Warning); break;
        case MB_ICONQUESTION: pBox->setIcon(QMessageBox::Question); break;
        case MB_ICONINFORMATION: pBox->setIcon(QMessageBox::Information); break;
        default: pBox->setIcon(QMessageBox::NoIcon); break;
    }
    if ((nFlags & MB_TYPEMASK) == MB_YESNO) {
        pBox->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        pBox->setDefaultButton(DefaultAnswer(nFlags) == IDNO ? QMessageBox::No : QMessageBox::Yes);
        pBox->setEscapeButton(QMessageBox::No);
    } else {
        pBox->setStandardButtons(QMessageBox::Ok);
        pBox->setDefaultButton(QMessageBox::Ok);
        pBox->setEscapeButton(QMessageBox::Ok);
    }
    return pBox;
}

int CQtMessageBox::Show(const std::string& strText, const std::string& strCaption, unsigned nFlags) {
    auto pBox = Build(strText, strCaption, nFlags, CBoxOwner::For(nullptr));
    pBox->setWindowModality(Qt::ApplicationModal);
    int nButton = pBox->exec();
    if ((nFlags & MB_TYPEMASK) == MB_YESNO) return nButton == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
}

void CQtMessageBox::Install() { SetHandler(&CQtMessageBox::Show); }

void CQtMessageBox::Uninstall() { SetHandler({}); }
