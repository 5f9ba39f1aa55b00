#include "CAboutDlg.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "CAddinBox.h"
#include "CAddinIcon.h"
#include "CDialogUnits.h"
#include "CMakerInfo.h"
#include "HostName.h"
#include "OpenUrl.h"
#include "SharedState.h"

using CDialogUnits::Rect;

namespace {
const int kLinkIds[3] = {CAboutDlg::IDC_WEB_LINK, CAboutDlg::IDC_MAIL_LINK, CAboutDlg::IDC_LICENSE_LINK};
}

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("About");
    const QPixmap pmIcon = CAddinIcon::Pixmap(32);
    setWindowIcon(QIcon(pmIcon));
    setFixedSize(CDialogUnits::X(270), CDialogUnits::Y(233));
    setMouseTracking(true);
    auto* pIcon = new QLabel(this);
    pIcon->setObjectName("addinIcon");
    pIcon->setPixmap(pmIcon);
    pIcon->setGeometry(Rect(15, 15, 20, 20));
    auto addText = [&](const QString& str, int x, int y, int cx, int cy) {
        auto* p = new QLabel(str, this);
        p->setGeometry(Rect(x, y, cx, cy));
        p->setWordWrap(true);
        p->setAttribute(Qt::WA_TransparentForMouseEvents);
        return p;
    };
    addText(QString::fromStdString("Quillory Using " + HostName()), 65, 15, 204, 8);
    addText("Copyright \u00A9 2026 Tarnwick Software. All rights reserved.", 65, 28, 193, 18);
    addText("Tarnwick Software:", 65, 51, 175, 8);
    AddLink(IDC_WEB_LINK, CMakerInfo::kWebSite, 34, 62, 199, 8);
    addText("Support E-mail:", 65, 78, 169, 8);
    AddLink(IDC_MAIL_LINK, CMakerInfo::kSupportMail, 29, 87, 198, 8);
    auto* pGroup = new QGroupBox(this);
    pGroup->setGeometry(Rect(12, 108, 246, 87));
    pGroup->setAttribute(Qt::WA_TransparentForMouseEvents);
    pGroup->lower();
    AddLink(IDC_LICENSE_LINK, "License", 18, 118, 234, 8);
    auto* pOk = new QPushButton("O&K", this);
    pOk->setProperty("controlId", IDOK_BUTTON);
    pOk->setGeometry(Rect(110, 206, 50, 15));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    OnInitDialog();
}

// Link texts are blue, centred and broken at word boundaries; the dialog
// itself tracks the pointer over them.
QLabel* CAboutDlg::AddLink(int nId, const QString& strText, int x, int y, int cx, int cy) {
    auto* p = new QLabel(strText, this);
    p->setProperty("controlId", nId);
    p->setGeometry(Rect(x, y, cx, cy));
    p->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    p->setWordWrap(true);
    p->setStyleSheet("color: rgb(0, 0, 255); background: transparent;");
    p->setAttribute(Qt::WA_TransparentForMouseEvents);
    return p;
}

void CAboutDlg::OnInitDialog() {
    for (int i = 0; i < 3; ++i) {
        for (QLabel* p : findChildren<QLabel*>())
            if (p->property("controlId").toInt() == kLinkIds[i]) m_rcLinks[i] = p->geometry();
    }
}

QRect CAboutDlg::LinkRect(int nId) const {
    for (int i = 0; i < 3; ++i)
        if (kLinkIds[i] == nId) return m_rcLinks[i];
    return {};
}

int CAboutDlg::LinkAt(const QPoint& pt) const {
    for (int i = 0; i < 3; ++i) {
        const QRect& rc = m_rcLinks[i];
        // QRect's right() and bottom() are the last pixels inside it.
        if (rc.left() < pt.x() && pt.x() < rc.right() + 1 && rc.top() < pt.y() && pt.y() < rc.bottom() + 1)
            return kLinkIds[i];
    }
    return 0;
}

std::string CAboutDlg::LicensePath() { return g_strInstallDir + "license.rtf"; }

// Over a link the dialog holds the mouse, so that the next move, wherever
// it lands, comes here and puts the arrow back.
void CAboutDlg::OnMouseMove(const QPoint& pt) {
    if (LinkAt(pt)) {
        if (QWidget::mouseGrabber() != this) grabMouse();
        setCursor(Qt::PointingHandCursor);
    } else {
        if (QWidget::mouseGrabber() == this) releaseMouse();
        setCursor(Qt::ArrowCursor);
    }
}

void CAboutDlg::hideEvent(QHideEvent* pEvent) {
    if (QWidget::mouseGrabber() == this) releaseMouse();
    QDialog::hideEvent(pEvent);
}

void CAboutDlg::OnLButtonUp(const QPoint& pt) {
    switch (LinkAt(pt)) {
        case IDC_WEB_LINK: OpenUrl(CMakerInfo::kWebSite); break;
        case IDC_MAIL_LINK: OpenUrl(std::string("mailto:") + CMakerInfo::kSupportMail); break;
        case IDC_LICENSE_LINK: {
            // Opened with the desktop's program for the document; a missing
            // file is said plainly instead of starting a program for nothing.
            const std::string strPath = LicensePath();
            if (!QFileInfo::exists(QString::fromStdString(strPath))) {
                CAddinBox::Fail("The licence document \"" + strPath + "\" is missing.");
                break;
            }
            // Without a program for the document the user can still open
            // it by hand, if told where it is.
            if (!OpenDocument(strPath))
                CAddinBox::Fail("No program could open the licence document. You can open it yourself: it is \"" +
                                strPath + "\".");
            break;
        }
        default: break;
    }
}

void CAboutDlg::mouseMoveEvent(QMouseEvent* pEvent) {
    OnMouseMove(pEvent->position().toPoint());
    QDialog::mouseMoveEvent(pEvent);
}

void CAboutDlg::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) OnLButtonUp(pEvent->position().toPoint());
    QDialog::mouseReleaseEvent(pEvent);
}
