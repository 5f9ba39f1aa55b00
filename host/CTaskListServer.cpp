#include "CTaskListServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "CHostProtocol.h"

namespace {

// Done when nothing is left at strPath: a socket that nobody listens on is
// what a killed host leaves behind and goes; anything else stays.
CResult<> RemoveStale(const std::string& strPath) {
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0)
        return errno == ENOENT ? CResult<>() : CProblem(strPath + ": " + std::strerror(errno));
    if (!S_ISSOCK(st.st_mode)) return CProblem(strPath + ": not a socket, left alone");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, strPath.c_str(), std::min(strPath.size() + 1, sizeof addr.sun_path - 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return CProblem(std::string("cannot make a socket: ") + std::strerror(errno));
    const int nRc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int nErr = errno;
    ::close(fd);
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

CTaskListServer::CTaskListServer(CContext ctx) : m_ctx(std::move(ctx)) {}

CTaskListServer::~CTaskListServer() {
    // The socket file goes before the lock, so that nobody finds it unserved
    // while the lock says a host is there.
    if (m_pServer) m_pServer->close();
    m_pServer.reset();
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
    QUILLORY_TRY_VALUE(const std::string strSocket, CTaskListLock::SocketPathOf(m_strTaskFile));
    QUILLORY_TRY(RemoveStale(strSocket));
    auto pServer = std::make_unique<QLocalServer>();
    pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!pServer->listen(QString::fromStdString(strSocket)))
        return CProblem(strSocket + ": " + pServer->errorString().toStdString());
    QObject::connect(pServer.get(), &QLocalServer::newConnection, [this] { OnNewConnection(); });
    m_pServer = std::move(pServer);
    m_strSocketPath = strSocket;
    m_lock.RecordSocket(m_strSocketPath);
    return {};
}

CTaskListServer::json CTaskListServer::Ok() { return json{{CHostProtocol::kOk, true}}; }

CTaskListServer::json CTaskListServer::Refused(std::vector<std::string> vecProblems) {
    return json{{CHostProtocol::kOk, false}, {CHostProtocol::kProblems, std::move(vecProblems)}};
}

void CTaskListServer::OnNewConnection() {
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
        // The server owns its sockets, so none outlives this object.
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, [this, pSocket] { Serve(pSocket); });
        QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        Serve(pSocket);
    }
}

void CTaskListServer::Serve(QLocalSocket* pSocket) {
    for (;;) {
        const QByteArray buffer = pSocket->peek(pSocket->bytesAvailable());
        const qsizetype nEnd = buffer.indexOf('\n');
        if (nEnd < 0) {
            if (static_cast<size_t>(buffer.size()) > CHostProtocol::kMaxLine) {
                Send(pSocket, Refused({"request longer than " + std::to_string(CHostProtocol::kMaxLine) + " bytes"}));
                pSocket->disconnectFromServer();
            }
            return;
        }
        bool bDeferred = false;
        json jAnswer = Answer(buffer.left(nEnd).toStdString(), pSocket, bDeferred);
        if (bDeferred) {
            QTimer::singleShot(kRetryMs, pSocket, [this, pSocket] { Serve(pSocket); });
            return;
        }
        pSocket->skip(nEnd + 1);
        if (jAnswer.is_null()) {
            pSocket->abort();
            return;
        }
        Send(pSocket, std::move(jAnswer));
    }
}

CTaskListServer::json CTaskListServer::Answer(const std::string& strLine, QLocalSocket* pSocket, bool& bDeferred) {
    bDeferred = false;
    json jRequest;
    try {
        jRequest = json::parse(strLine);
    } catch (const json::parse_error& e) {
        return Refused({std::string("request: not valid JSON: ") + e.what()});
    }
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
        return it->second.fn(jRequest);
    } catch (const std::exception& e) {
        return Refused({strCommand + ": " + e.what()});
    }
}

void CTaskListServer::Send(QLocalSocket* pSocket, json jAnswer) {
    jAnswer[CHostProtocol::kPid] = static_cast<long>(::getpid());
    // Task names may hold bytes that are not UTF-8; they must not cost the answer.
    const std::string str = jAnswer.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    pSocket->write(str.data(), static_cast<qint64>(str.size()));
    pSocket->flush();
}
