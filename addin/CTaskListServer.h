#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "COwnedFd.h"
#include "CTaskListLock.h"

class QLocalSocket;
class QObject;
class QSocketNotifier;

// The add-in's side of the quillory tool's writing commands. Claim takes
// the task list's lock for as long as the add-in is connected; Listen then
// answers requests (see CHostProtocol) on a Unix socket, on the host's UI
// thread, so that a change lands in the list the sender and the Email
// Manager work on and every later save keeps it. A command is one handler.
// A writing command waits while fnBusy says a sender tick runs (a send may
// pump events, and a tick writes tasks back by position), and is refused
// while fnRefusal gives a reason.
//
// No client can stop the serving: a request line costs time in proportion
// to its length, at most kMaxConnections are open at once (the longest idle
// one makes room for a new one), a connection silent for kIdleMs is closed,
// and an accept that fails (too many open files) pauses the listening for
// kAcceptPauseMs rather than ending it. A client that goes while its
// request is answered (a send-now runs the event loop) is simply not
// answered.
class CTaskListServer {
public:
    using json = nlohmann::ordered_json;
    // The answer to a request: Ok() or Refused(), with results added.
    using CHandler = std::function<json(const json& jRequest)>;

    static constexpr int kClaimWaitMs = 3000;
    static constexpr int kRetryMs = 50;
    static constexpr int kMaxConnections = 32;
    static constexpr int kIdleMs = 15000;
    static constexpr int kAcceptPauseMs = 500;

    struct CContext {
        std::function<bool()> fnBusy;
        std::function<CResult<>()> fnRefusal;  // the reason writing is refused now
        int nIdleMs = kIdleMs;                 // a silent connection is closed after this
    };
    explicit CTaskListServer(CContext ctx);
    ~CTaskListServer();
    CTaskListServer(const CTaskListServer&) = delete;
    CTaskListServer& operator=(const CTaskListServer&) = delete;

    // Takes the lock of strTaskFile, waiting a little for a tool that is
    // writing the file. The problem is the message for the user when another
    // add-in holds it; a lock that cannot be taken at all is only logged.
    CResult<> Claim(const std::string& strTaskFile);
    void AddHandler(const std::string& strCommand, bool bWrites, CHandler fn);
    // Listens on the socket of the claimed file, reachable only by this user,
    // after removing one that nobody listens on.
    CResult<> Listen();
    // How many clients are connected now.
    int ConnectionCount() const;
    const std::string& SocketPath() const { return m_strSocketPath; }

    static json Ok();
    static json Refused(std::vector<std::string> vecProblems);

private:
    struct CCommand {
        bool bWrites = false;
        CHandler fn;
    };
    class CConnection;
    void OnAcceptable();
    // Takes a new client on fd, making room for it when the server is full.
    void Adopt(COwnedFd fd);
    // Answers every complete request line waiting on pConnection, in order.
    void Serve(CConnection* pConnection);
    // The answer to one request line; bDeferred: none yet, asked again
    // later (a second outcome, not a failure: a refusal is an answer).
    json Answer(const std::string& strLine, QLocalSocket* pSocket, bool& bDeferred);
    static void Send(QLocalSocket* pSocket, json jAnswer);

    CContext m_ctx;
    CTaskListLock m_lock;
    std::string m_strTaskFile;
    std::string m_strSocketPath;
    std::map<std::string, CCommand> m_mapCommands;
    COwnedFd m_fdListen;
    std::pair<unsigned long, unsigned long> m_idSocketFile{};  // device and inode of the socket file made
    std::unique_ptr<QSocketNotifier> m_pAcceptNotifier;
    std::unique_ptr<QObject> m_pConnections;  // the parent of every open connection
    bool m_bAcceptFailed = false;             // logged once until an accept succeeds again
};
