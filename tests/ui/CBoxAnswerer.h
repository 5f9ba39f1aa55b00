#pragma once
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <string>
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
    };
    // Escape presses the box's escape button.
    static constexpr QMessageBox::StandardButton kEscape = QMessageBox::NoButton;

    CBoxAnswerer();
    ~CBoxAnswerer();
    void Expect(QMessageBox::StandardButton answer) { m_deqAnswers.push_back(answer); }
    const std::vector<CSeen>& Seen() const { return m_vecSeen; }
    size_t Pending() const { return m_deqAnswers.size(); }
    void Clear() { m_vecSeen.clear(); }

private:
    void OnTick();

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_deqAnswers;
    std::vector<CSeen> m_vecSeen;
};
