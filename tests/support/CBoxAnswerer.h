#pragma once
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Answers the modal message boxes that a test's clicks bring up, in order,
// and records what each one showed. A box nobody expected is recorded too
// and dismissed with Escape, so a faulty window fails the test instead of
// hanging it.
class CBoxAnswerer {
public:
    struct CSeen {
        std::string strTitle, strText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        bool bExpected = false;
        QRect rcFrame;              // where it opened
        QWidget* pOwner = nullptr;  // the window it belongs to
    };
    // Escape presses the box's escape button.
    static constexpr QMessageBox::StandardButton kEscape = QMessageBox::NoButton;

    CBoxAnswerer() {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { OnTick(); });
        m_timer.start();
    }
    ~CBoxAnswerer() { m_timer.stop(); }
    CBoxAnswerer(const CBoxAnswerer&) = delete;
    CBoxAnswerer& operator=(const CBoxAnswerer&) = delete;
    void Expect(QMessageBox::StandardButton answer) { m_deqAnswers.push_back(answer); }
    // Runs while the next box is open, before it is answered: what another
    // window or program might do meanwhile.
    void WhileNextIsOpen(std::function<void()> fn) { m_fnWhileOpen = std::move(fn); }
    const std::vector<CSeen>& Seen() const { return m_vecSeen; }
    size_t Pending() const { return m_deqAnswers.size(); }
    void Clear() { m_vecSeen.clear(); }

private:
    void OnTick() {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!pBox || !pBox->isVisible() || pBox->property("answered").toBool()) return;
        pBox->setProperty("answered", true);
        CSeen seen;
        seen.strTitle = pBox->windowTitle().toStdString();
        seen.strText = pBox->text().toStdString();
        seen.icon = pBox->icon();
        seen.buttons = pBox->standardButtons();
        seen.defaultButton = pBox->defaultButton()
                                 ? pBox->standardButton(static_cast<QAbstractButton*>(pBox->defaultButton()))
                                 : QMessageBox::NoButton;
        seen.bExpected = !m_deqAnswers.empty();
        seen.rcFrame = pBox->frameGeometry();
        seen.pOwner = pBox->parentWidget();
        QMessageBox::StandardButton answer = kEscape;
        if (!m_deqAnswers.empty()) {
            answer = m_deqAnswers.front();
            m_deqAnswers.pop_front();
        }
        m_vecSeen.push_back(seen);
        if (auto fn = std::exchange(m_fnWhileOpen, nullptr)) fn();
        if (answer == kEscape || !pBox->button(answer)) QTest::keyClick(pBox, Qt::Key_Escape);
        else pBox->button(answer)->click();
    }

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_deqAnswers;
    std::vector<CSeen> m_vecSeen;
    std::function<void()> m_fnWhileOpen;
};
