#pragma once
#include <QObject>
#include <QTimer>
#include <functional>

class QLabel;
class QMainWindow;
class CTrayIcon;

// Says, while it is so, that these windows took over from the background
// service, which sends again when they quit: in the main window's status
// bar (a permanent label) and as the tray icon's second tooltip line.
// fnServiceWaits tells whether a service stands aside now; it is asked at
// once and then every nCheckMs (a service started at login shows soon).
class CTakeOverNote : public QObject {
public:
    static constexpr const char* kText = "Took over from the background service; it sends again when you quit";

    CTakeOverNote(QMainWindow& main, CTrayIcon& tray, std::function<bool()> fnServiceWaits, int nCheckMs);
    void Update();
    QLabel* Label() const { return m_pLabel; }

private:
    CTrayIcon& m_tray;
    std::function<bool()> m_fnServiceWaits;
    QLabel* m_pLabel;
    QTimer m_check;
};
