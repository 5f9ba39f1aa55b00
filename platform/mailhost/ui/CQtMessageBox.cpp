#include "CQtMessageBox.h"

#include <QApplication>
#include <QCheckBox>
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
    if ((nFlags & MB_TYPEMASK) == MB_YESNOCANCEL) {
        pBox->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        pBox->setDefaultButton(DefaultAnswer(nFlags) == IDNO ? QMessageBox::No : QMessageBox::Yes);
        pBox->setEscapeButton(QMessageBox::Cancel);
    } else if ((nFlags & MB_TYPEMASK) == MB_YESNO) {
        pBox->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        pBox->setDefaultButton(DefaultAnswer(nFlags) == IDNO ? QMessageBox::No : QMessageBox::Yes);
        pBox->setEscapeButton(QMessageBox::No);
    } else {
        pBox->setStandardButtons(QMessageBox::Ok);
        pBox->setDefaultButton(QMessageBox::Ok);
        pBox->setEscapeButton(QMessageBox::Ok);
    }
    if (nFlags & MB_DONTSHOWAGAIN) pBox->setCheckBox(new QCheckBox("Do &not show again"));
    return pBox;
}

int CQtMessageBox::Show(const std::string& strText, const std::string& strCaption, unsigned nFlags) {
    auto pBox = Build(strText, strCaption, nFlags, CBoxOwner::For(nullptr));
    pBox->setWindowModality(Qt::ApplicationModal);
    int nButton = pBox->exec();
    const int nTicked = pBox->checkBox() && pBox->checkBox()->isChecked() ? kDontShowAgainTicked : 0;
    if ((nFlags & MB_TYPEMASK) == MB_YESNOCANCEL)
        return (nButton == QMessageBox::Yes ? IDYES : nButton == QMessageBox::No ? IDNO : IDCANCEL) | nTicked;
    if ((nFlags & MB_TYPEMASK) == MB_YESNO) return (nButton == QMessageBox::Yes ? IDYES : IDNO) | nTicked;
    return IDOK | nTicked;
}

void CQtMessageBox::Install() { SetHandler(&CQtMessageBox::Show); }

void CQtMessageBox::Uninstall() { SetHandler({}); }
