#include "CTaskListServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

#include "CHostProtocol.h"
#include "CJsonText.h"

namespace {

sockaddr_un AddressOf(const std::string& strPath) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, strPath.c_str(), std::min(strPath.size() + 1, sizeof addr.sun_path - 1));
    return addr;
}

// Done when nothing is left at strPath: a socket that nobody listens on is
// what a killed host leaves behind and goes; anything else stays.
CResult<> RemoveStale(const std::string& strPath) {
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0)
        return errno == ENOENT ? CResult<>() : CProblem(strPath + ": " + std::strerror(errno));
    if (!S_ISSOCK(st.st_mode)) return CProblem(strPath + ": not a socket, left alone");
    const sockaddr_un addr = AddressOf(strPath);
    const COwnedFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return CProblem(std::string("cannot make a socket: ") + std::strerror(errno));
    const int nRc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int nErr = errno;
    if (nRc == 0 || nErr == EAGAIN) return CProblem(strPath + ": another process serves there, left alone");
    if (nErr != ECONNREFUSED) return CProblem(strPath + ": " + std::strerror(nErr));
    if (::unlink(strPath.c_str()) != 0 && errno != ENOENT) return CProblem(strPath + ": " + std::strerror(errno));
    return {};
}

// A tool that gave up waiting has closed its end; its request is not acted
// on, so that what it reported ("not applied") stays true.
bool PeerGone(QLocalSocket* pSocket) {
    if (pSocket->state() != QLocalSocket::ConnectedState) return true;
    char c = 0;
    return ::recv(static_cast<int>(pSocket->socketDescriptor()), &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

}  // namespace

// One client: its bytes split into request lines, each byte looked at once,
// and the time it has been silent.
class CTaskListServer::CConnection : public QObject {
public:
    CConnection(QObject* pParent, int fd, int nIdleMs) : QObject(pParent), m_pSocket(new QLocalSocket(this)) {
        m_pSocket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite);
        m_idle.setSingleShot(true);
        m_idle.setInterval(nIdleMs);
        QObject::connect(&m_idle, &QTimer::timeout, this, [this] {
            if (!m_bAnswering) m_pSocket->abort();
        });
        m_idle.start();
        m_tLastHeard = std::chrono::steady_clock::now();
    }
    QLocalSocket* Socket() const { return m_pSocket; }

    enum class ELine {
        kNone,     // no complete line yet
        kReady,    // strLine holds the next one, not yet consumed
        kTooLong,  // more than CHostProtocol::kMaxLine bytes without an end
    };
    ELine Next(std::string& strLine) {
        if (m_pSocket->bytesAvailable() > 0) {
            m_buffer.append(m_pSocket->readAll());
            m_tLastHeard = std::chrono::steady_clock::now();
            m_idle.start();
        }
        const qsizetype nEnd = m_buffer.indexOf('\n', m_nScanned);
        if (nEnd < 0) {
            m_nScanned = m_buffer.size();
            if (static_cast<size_t>(m_buffer.size()) <= CHostProtocol::kMaxLine) return ELine::kNone;
            m_buffer.clear();  // not kept: the connection ends
            m_nScanned = 0;
            return ELine::kTooLong;
        }
        strLine.assign(m_buffer.constData(), static_cast<size_t>(nEnd));
        m_nLineEnd = nEnd + 1;
        return ELine::kReady;
    }
    void Consume() {
        m_buffer.remove(0, m_nLineEnd);
        m_nLineEnd = 0;
        m_nScanned = 0;
    }
    // While a request is answered the client is waiting, not idle.
    void SetAnswering(bool bAnswering) {
        m_bAnswering = bAnswering;
        if (!bAnswering) m_idle.start();
    }
    bool IsAnswering() const { return m_bAnswering; }
    // A whole request read and not answered yet (one put off while a tick runs).
    bool HoldsRequest() const { return m_nLineEnd > 0; }
    std::chrono::steady_clock::time_point LastHeard() const { return m_tLastHeard; }

private:
    QLocalSocket* m_pSocket;  // a child
    QByteArray m_buffer;
    qsizetype m_nScanned = 0;  // no '\n' before this offset
    qsizetype m_nLineEnd = 0;
    QTimer m_idle;
    bool m_bAnswering = false;
    std::chrono::steady_clock::time_point m_tLastHeard;
};

CTaskListServer::CTaskListServer(CContext ctx) : m_ctx(std::move(ctx)) {}

CTaskListServer::~CTaskListServer() {
    // The socket file goes before the lock, so that nobody finds it unserved
    // while the lock says a host is there; only the file this server made.
    m_pAcceptNotifier.reset();
    if (m_fdListen) {
        struct stat st {};
        if (::lstat(m_strSocketPath.c_str(), &st) == 0 &&
            std::pair<unsigned long, unsigned long>(st.st_dev, st.st_ino) == m_idSocketFile)
            ::unlink(m_strSocketPath.c_str());
        m_fdListen.Reset();
    }
    m_pConnections.reset();
}
CResult<> CTaskListServer::Claim(const std::string& strTaskFile) {
    m_strTaskFile = strTaskFile;
    const auto rState = m_lock.Acquire(strTaskFile, kClaimWaitMs);
    if (!rState) {
        // Without a lock file (a folder that cannot be written) there is
        // nothing to share either: the add-in runs, and the tool cannot reach it.
        std::cerr << "Quillory: " << rState.Problem() << "; the quillory tool cannot reach this add-in\n";
        return {};
    }
    if (*rState == CTaskListLock::EState::kHeld) return {};
    return CProblem("The task list " + strTaskFile + " is in use by another running Quillory" +
                    (m_lock.HolderPid() > 0 ? " (process " + std::to_string(m_lock.HolderPid()) + ")" : "") +
                    ". This one stays off, so that neither overwrites the other's tasks.");
}

void CTaskListServer::AddHandler(const std::string& strCommand, bool bWrites, CHandler fn) {
    m_mapCommands[strCommand] = {bWrites, std::move(fn)};
}

CResult<> CTaskListServer::Listen() {
    if (!m_lock.IsHeld()) return CProblem("the task list " + m_strTaskFile + " is not locked by this add-in");
    std::string strNotice;
    QUILLORY_TRY_VALUE(const std::string strSocket, CTaskListLock::SocketPathOf(m_strTaskFile, &strNotice));
    if (!strNotice.empty()) std::cerr << "Quillory: " << strNotice << '\n';
    QUILLORY_TRY(RemoveStale(strSocket));
    COwnedFd fdListen(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int fd = fdListen.Get();
    if (fd < 0) return CProblem(std::string("cannot make a socket: ") + std::strerror(errno));
    const sockaddr_un addr = AddressOf(strSocket);
    struct stat st {};
    // The folder is this user's alone; the mode keeps the file so too whatever the umask.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::chmod(strSocket.c_str(), 0600) != 0 || ::lstat(strSocket.c_str(), &st) != 0 || ::listen(fd, 64) != 0)
        return CProblem(strSocket + ": " + std::strerror(errno));
    m_fdListen = std::move(fdListen);
    m_idSocketFile = {st.st_dev, st.st_ino};
    m_pConnections = std::make_unique<QObject>();
    m_pAcceptNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_pAcceptNotifier.get(), &QSocketNotifier::activated, [this] { OnAcceptable(); });
    m_strSocketPath = strSocket;
    m_lock.RecordSocket(m_strSocketPath);
    return {};
}

int CTaskListServer::ConnectionCount() const {
    return m_pConnections ? static_cast<int>(m_pConnections->children().size()) : 0;
}

CTaskListServer::json CTaskListServer::Ok() { return json{{CHostProtocol::kOk, true}}; }

CTaskListServer::json CTaskListServer::Refused(std::vector<std::string> vecProblems) {
    return json{{CHostProtocol::kOk, false}, {CHostProtocol::kProblems, std::move(vecProblems)}};
}

void CTaskListServer::OnAcceptable() {
    for (;;) {
        COwnedFd fd(::accept4(m_fdListen.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (fd) {
            m_bAcceptFailed = false;
            Adopt(std::move(fd));
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        // Out of descriptors or memory: the waiting client stays queued, and
        // the socket keeps listening once some are free again.
        if (!m_bAcceptFailed)
            std::cerr << "Quillory: " << m_strSocketPath << ": cannot accept a connection: " << std::strerror(errno)
                      << "; trying again\n";
        m_bAcceptFailed = true;
        m_pAcceptNotifier->setEnabled(false);
        QTimer::singleShot(kAcceptPauseMs, m_pAcceptNotifier.get(), [this] { m_pAcceptNotifier->setEnabled(true); });
        return;
    }
}

void CTaskListServer::Adopt(COwnedFd fd) {
    // Its only children are connections.
    const QObjectList& connections = m_pConnections->children();
    if (connections.size() >= kMaxConnections) {
        CConnection* pIdlest = nullptr;
        for (QObject* pChild : connections)
            if (auto* p = static_cast<CConnection*>(pChild);
                !p->IsAnswering() && !p->HoldsRequest() && (!pIdlest || p->LastHeard() < pIdlest->LastHeard()))
                pIdlest = p;
        if (!pIdlest) {
            // Every connection waits for an answer: this one is told so, not
            // left to guess whether its request was taken.
            const std::string strBusy =
                Refused({"the add-in is answering " + std::to_string(kMaxConnections) + " other requests; try again"})
                    .dump() +
                "\n";
            (void)::send(fd.Get(), strBusy.data(), strBusy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);  // best effort
            return;
        }
        pIdlest->Socket()->abort();
        delete pIdlest;
    }
    auto* pConnection = new CConnection(m_pConnections.get(), fd.Release(), m_ctx.nIdleMs);  // owned by its parent
    QLocalSocket* pSocket = pConnection->Socket();
    QObject::connect(pSocket, &QLocalSocket::readyRead, pConnection, [this, pConnection] { Serve(pConnection); });
    QObject::connect(pSocket, &QLocalSocket::disconnected, pConnection, &QObject::deleteLater);
    Serve(pConnection);
}

void CTaskListServer::Serve(CConnection* pConnection) {
    // Reentered from a nested event loop while a request is answered: the
    // loop below takes the next line when that one is done.
    if (pConnection->IsAnswering() || pConnection->Socket()->state() != QLocalSocket::ConnectedState) return;
    // A nested event loop in a command (send-now) may delete the connection
    // and even this server; neither is touched once it has gone.
    const QPointer<CConnection> pAlive(pConnection);
    QLocalSocket* pSocket = pConnection->Socket();
    for (;;) {
        std::string strLine;
        const auto eLine = pConnection->Next(strLine);
        if (eLine == CConnection::ELine::kTooLong) {
            Send(pSocket, Refused({"request longer than " + std::to_string(CHostProtocol::kMaxLine) + " bytes"}));
            pSocket->disconnectFromServer();
            return;
        }
        if (eLine == CConnection::ELine::kNone) return;
        bool bDeferred = false;
        pConnection->SetAnswering(true);
        json jAnswer = Answer(strLine, pSocket, bDeferred);
        if (!pAlive) return;
        pConnection->SetAnswering(false);
        if (bDeferred) {
            QTimer::singleShot(kRetryMs, pConnection, [this, pConnection] { Serve(pConnection); });
            return;
        }
        pConnection->Consume();
        if (jAnswer.is_null()) {
            pSocket->abort();
            return;
        }
        Send(pSocket, std::move(jAnswer));
    }
}

CTaskListServer::json CTaskListServer::Answer(const std::string& strLine, QLocalSocket* pSocket, bool& bDeferred) {
    bDeferred = false;
    auto rRequest = CJsonText::Parse(strLine);
    if (!rRequest) return Refused({"request: " + rRequest.Problem()});
    const json& jRequest = *rRequest;
    const auto itName = jRequest.is_object() ? jRequest.find(CHostProtocol::kCommand) : jRequest.end();
    if (!jRequest.is_object() || itName == jRequest.end() || !itName->is_string())
        return Refused({"request: \"command\" must name a command"});
    const std::string strCommand = itName->get<std::string>();
    const auto it = m_mapCommands.find(strCommand);
    if (it == m_mapCommands.end()) return Refused({"unknown command \"" + strCommand + "\""});
    if (it->second.bWrites) {
        if (m_ctx.fnRefusal)
            if (const auto rAllowed = m_ctx.fnRefusal(); !rAllowed)
                return Refused({strCommand + ": " + rAllowed.Problem()});
        if (m_ctx.fnBusy && m_ctx.fnBusy()) {
            bDeferred = true;
            return {};
        }
        if (PeerGone(pSocket)) return {};
    }
    try {
        // A copy: a nested event loop in the command may end this server.
        const CHandler fn = it->second.fn;
        return fn(jRequest);
    } catch (const std::exception& e) {
        return Refused({strCommand + ": " + e.what()});
    }
}

void CTaskListServer::Send(QLocalSocket* pSocket, json jAnswer) {
    jAnswer[CHostProtocol::kPid] = static_cast<long>(::getpid());
    const std::string str = CJsonText::Dump(jAnswer) + "\n";
    pSocket->write(str.data(), static_cast<qint64>(str.size()));
    pSocket->flush();
}
