#include "CWindowedHost.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "CAccount.h"
#include "CAddinCommand.h"
#include "CAutostartEntry.h"
#include "CCloseGuard.h"
#include "CHostMessage.h"
#include "CHostWindows.h"
#include "CKeyringPasswordStore.h"
#include "COwnedFd.h"
#include "CQtMessageBox.h"
#include "CTakeOverNote.h"
#include "CTrayIcon.h"

namespace {

constexpr int kReceiveEveryMs = 10 * 60 * 1000;
constexpr int kTakeOverCheckMs = 3000;  // a service started at login shows soon
constexpr const char* kEmailManager = "Email Manager";
constexpr const char* kNotSetUp = "Not set up yet: File \u2192 Accounts\u2026";

bool Set(const char* pszName) {
    const char* psz = std::getenv(pszName);
    return psz && *psz;
}

}  // namespace

bool CWindowedHost::DisplayAvailable() { return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM"); }

int CWindowedHost::Run(int argc, char** argv, const CHostOptions& options, const CHooks& hooks) {
    // Blocked before any thread starts, so only the signalfd sees them.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, kActivateSignal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    const COwnedFd fdSignals(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    const int fdSignal = fdSignals.Get();
    signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setApplicationName(kHostProductName);
    QApplication::setQuitOnLastWindowClosed(false);

    CKeyringPasswordStore keyring;
    CHostOptions hostOptions = options;
    if (!hostOptions.pKeyring) hostOptions.pKeyring = &keyring;
    CMailHost host(hostOptions);
    if (CResult<> r = host.Start(); !r) {
        CHostMessage::Error(nullptr, r.Problem());
        return 1;
    }
    std::fprintf(stderr, "mailhost: profile %s%s\n", host.ProfileDir().c_str(),
                 host.TransportName().empty() ? "" : (", sending via " + host.TransportName()).c_str());
    for (const auto& str : host.ConfigMessages()) std::fprintf(stderr, "mailhost: %s\n", str.c_str());

    int nResult = 0;
    {
        CComPtr<CApplication> spApp = CApplication::Create(host);
        std::string strAccounts =
            options.strAccountsPath.empty() ? CAccountsFile::DefaultPath() : options.strAccountsPath;
        CHostWindows windows(spApp, host, strAccounts);
        CQtMessageBox::Install();
        CMainWindow& main = windows.Main();
        // Without a tray nothing would show the host was started at all.
        if (!hooks.bStartInTray || !QSystemTrayIcon::isSystemTrayAvailable()) main.show();
        // The account's notes went to stderr above (the security warning is
        // the Accounts dialog's to give); the window says only what to do.
        if (host.TransportName().empty()) main.statusBar()->showMessage(kNotSetUp);

        CTrayIcon::CCallbacks trayCallbacks;
        trayCallbacks.fnOpen = [&main] {
            main.showNormal();
            main.raise();
            main.activateWindow();
        };
        trayCallbacks.fnHasEmailManager = [&spApp] { return CAddinCommand::Find(spApp, kEmailManager) != nullptr; };
        trayCallbacks.fnEmailManager = [&spApp] { (void)CAddinCommand::Execute(spApp, kEmailManager); };
        trayCallbacks.fnProblems = [&main] { main.ShowProblems(); };
        trayCallbacks.fnQuit = [&main] { main.Quit(); };
        CTrayIcon tray(CAutostartEntry::ConfigHome() + "/mailhost/host.ini",
                       QCoreApplication::applicationFilePath().toStdString(), std::move(trayCallbacks));
        if (QSystemTrayIcon::isSystemTrayAvailable()) tray.Show();
        // Start at login also where there is no tray to hold it.
        const QList<QAction*> listFile = main.FileMenu()->actions();
        main.FileMenu()->insertAction(listFile.size() >= 2 ? listFile[listFile.size() - 2] : nullptr,
                                      tray.StartAtLoginAction());
        QObject::connect(main.FileMenu(), &QMenu::aboutToShow, &tray, [&tray] { tray.UpdateMenu(); });
        const CCloseGuard closeGuard({.fnTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                                      .fnActiveTasks = hooks.fnActiveTasks,
                                      .fnHidden = [&tray] { tray.OnHidden(); },
                                      .fnCarriedOn = hooks.fnServiceWaits});
        // The service that stands aside for these windows and takes over again.
        new CTakeOverNote(main, tray, hooks.fnServiceWaits, kTakeOverCheckMs);  // owned by the main window
        main.SetCloseDecision([&main, &closeGuard](bool bQuit) { return closeGuard.Decide(&main, bQuit); });

        QSocketNotifier* pSignals = nullptr;
        if (fdSignal >= 0) {
            pSignals = new QSocketNotifier(fdSignal, QSocketNotifier::Read, &app);
            QObject::connect(pSignals, &QSocketNotifier::activated, &app, [&] {
                signalfd_siginfo info{};
                if (::read(fdSignal, &info, sizeof info) != sizeof info) return;
                if (static_cast<int>(info.ssi_signo) == kActivateSignal) {
                    std::fprintf(stderr, "mailhost: started again: bringing the main window to the front\n");
                    main.showNormal();
                    main.raise();
                    main.activateWindow();
                    return;
                }
                std::fprintf(stderr, "mailhost: stopping on %s\n", strsignal(static_cast<int>(info.ssi_signo)));
                // Not quit(): a window may veto that, and nobody is there to answer.
                QCoreApplication::exit(0);
            });
        }
        QTimer receive;
        QObject::connect(&receive, &QTimer::timeout, &app, [&] { host.SendReceiveNow(); });
        receive.start(kReceiveEveryMs);

        if (hooks.fnConnect) hooks.fnConnect(*spApp);
        host.SendReceiveNow();
        nResult = app.exec();

        main.SetCloseDecision(nullptr);
        if (hooks.fnDisconnect) hooks.fnDisconnect(*spApp);
        // Stopped by a signal with windows open: keep their edits in Drafts.
        windows.SaveEditedDrafts();
        spApp->Shutdown();
        windows.Detach();
        CQtMessageBox::Uninstall();
        delete pSignals;
    }
    host.Stop();
    std::fprintf(stderr, "mailhost: stopped\n");
    return nResult;
}
