#pragma once
#include <QDialog>
#include <QRect>
#include <string>

class QLabel;

// The add-in's name, maker and three links: the web site, the support
// address and the licence document beside the module.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    enum : int { IDD = 102, IDC_WEB_LINK = 1120, IDC_MAIL_LINK = 1305, IDC_LICENSE_LINK = 1344, IDOK_BUTTON = 1 };

    explicit CAboutDlg(QWidget* pParent = nullptr);

    // A point is on a link when it lies strictly inside its rectangle.
    int LinkAt(const QPoint& pt) const;  // the link's id, or 0
    QRect LinkRect(int nId) const;
    // The licence document: "license.rtf" in the install folder.
    static std::string LicensePath();

protected:
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;

private:
    void OnInitDialog();
    void OnMouseMove(const QPoint& pt);
    void OnLButtonUp(const QPoint& pt);
    QLabel* AddLink(int nId, const QString& strText, int x, int y, int cx, int cy);

    QRect m_rcLinks[3];
};
