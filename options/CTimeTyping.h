#pragma once
#include <QObject>

class QDateTimeEdit;

// Typing a time over a time field whose text is selected as a whole
// ("09:30" after select-all): the digits fill the hours and then the
// minutes, so "0930" gives 09:30. Left alone, the field would take the
// digits as a replacement of its whole text and refuse them.
class CTimeTyping : public QObject {
    Q_OBJECT
public:
    static void Attach(QDateTimeEdit* pEdit);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    explicit CTimeTyping(QDateTimeEdit* pEdit);

    QDateTimeEdit* m_pEdit;
};
