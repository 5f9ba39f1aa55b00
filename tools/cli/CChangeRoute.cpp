#include "CChangeRoute.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>
#include <vector>

#include "CHostClient.h"
#include "CHostProtocol.h"
#include "CJsonText.h"
#include "CMessageSwap.h"
#include "CTaskListLock.h"

namespace {

// What the host said to a change, as the tool's exit status.
int Report(const CResult<CHostClient::CReply>& rReply, const std::string& strCommand, const std::string& strFile,
           nlohmann::ordered_json* pAnswer, const std::function<std::string(const std::string&)>& fnWords) {
    if (!rReply) {
        std::cerr << "quillory: " << rReply.Problem() << "\nquillory: " << strCommand << " not applied to " << strFile
                  << '\n';
        return kExitHost;
    }
    const nlohmann::ordered_json& jAnswer = rReply->jAnswer;
    if (jAnswer[CHostProtocol::kOk].get<bool>()) {
        if (pAnswer) *pAnswer = jAnswer;
        return kExitOk;
    }
    if (const auto it = jAnswer.find(CHostProtocol::kProblems); it != jAnswer.end() && it->is_array())
        for (const auto& p : *it) {
            const std::string strProblem = p.is_string() ? p.get<std::string>() : CJsonText::Dump(p);
            std::cerr << "quillory: " << (fnWords ? fnWords(strProblem) : strProblem) << '\n';
        }
    const auto itPid = jAnswer.find(CHostProtocol::kPid);
    const std::string strHost = itPid != jAnswer.end() ? " (process " + CJsonText::Dump(*itPid) + ")" : "";
    std::cerr << "quillory: the running host" << strHost << " refused the " << strCommand << "; nothing changed\n";
    // The request's own fault has the status it has without a host.
    const auto itFault = jAnswer.find(CHostProtocol::kFault);
    return itFault != jAnswer.end() && *itFault == CHostProtocol::kFaultRequest ? kExitData : kExitHost;
}

// With the lock just taken: a change its last holder left half done is
// settled before the file is read or written.
void SettleSwaps(const std::string& strFile) {
    CMessageSwap::Settle(CChangeRoute::DataDirOf(strFile),
                         [](const std::string& str) { std::cerr << "quillory: " << str << '\n'; });
}

// The host took the request and vanished before it answered: its lock
// ends with it, and then the file holds whatever it saved.
int Settle(const std::string& strFile, const std::string& strCommand, const std::string& strWhy,
           const CChangeRoute::CFindFn& fnFind, nlohmann::ordered_json* pAnswer) {
    using EFound = CChangeRoute::EFound;
    std::cerr << "quillory: " << strWhy << '\n';
    CTaskListLock lock;
    const auto rLock = lock.Acquire(strFile, CChangeRoute::kLockWaitMs);
    if (!rLock || *rLock != CTaskListLock::EState::kHeld || !fnFind) {
        std::cerr << "quillory: whether the " << strCommand << " was applied to " << strFile << " is not known";
        if (rLock && *rLock == CTaskListLock::EState::kBusy)
            std::cerr << ": the host still holds the file and may still save it; look with quillory list";
        std::cerr << '\n';
        return kExitHost;
    }
    SettleSwaps(strFile);
    nlohmann::ordered_json jAnswer;
    switch (fnFind(jAnswer)) {
        case EFound::kApplied:
            std::cerr << "quillory: the host stopped before it answered, but " << strFile << " holds the " << strCommand
                      << ": it was applied\n";
            if (pAnswer) *pAnswer = jAnswer;
            return kExitOk;
        case EFound::kNotApplied:
            std::cerr << "quillory: the host stopped before it saved the " << strCommand << "; " << strCommand
                      << " not applied to " << strFile << '\n';
            return kExitHost;
        case EFound::kUnknown: break;
    }
    std::cerr << "quillory: the host stopped before it answered, and " << strFile << " cannot tell whether the "
              << strCommand << " was carried out\n";
    return kExitHost;
}

}  // namespace

std::string CChangeRoute::DataDirOf(const std::string& strFile) {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(strFile, ec);
    return (ec ? std::filesystem::path(strFile) : path).parent_path().string() + "/";
}

int CChangeRoute::Write(const std::string& strFile, const nlohmann::ordered_json& jRequest,
                        const std::function<int()>& fnDirect, nlohmann::ordered_json* pAnswer,
                        const std::function<std::string(const std::string&)>& fnWords, const CFindFn& fnFind) {
    const std::string strCommand = jRequest[CHostProtocol::kCommand];
    const auto rSocket = CTaskListLock::SocketPathOf(strFile);
    const std::string strOwnSocket = rSocket ? *rSocket : std::string();  // none: only the holder's record is tried
    CTaskListLock lock;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    for (;;) {
        // Where this environment puts the socket, and where the lock's holder
        // said it serves (its environment may differ, as under cron).
        std::vector<std::string> vecSockets;
        if (!strOwnSocket.empty()) vecSockets.push_back(strOwnSocket);
        if (!lock.HolderSocket().empty() && lock.HolderSocket() != strOwnSocket)
            vecSockets.push_back(lock.HolderSocket());
        for (const std::string& strSocket : vecSockets) {
            const auto rReply = CHostClient::Request(strSocket, jRequest);
            if (rReply && rReply->eOutcome == CHostClient::EOutcome::kNoAnswer)
                return Settle(strFile, strCommand, rReply->strProblem, fnFind, pAnswer);
            if (!rReply || rReply->eOutcome != CHostClient::EOutcome::kNoHost)
                return Report(rReply, strCommand, strFile, pAnswer, fnWords);
        }
        const auto rLock = lock.TryAcquire(strFile);
        if (!rLock) {
            std::cerr << "quillory: " << rLock.Problem() << '\n';
            return kExitData;
        }
        if (*rLock == CTaskListLock::EState::kHeld) {
            SettleSwaps(strFile);
            return fnDirect();
        }
        if (std::chrono::steady_clock::now() >= tEnd) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string strHolder =
        lock.HolderPid() > 0 ? "process " + std::to_string(lock.HolderPid()) : std::string("another process");
    const std::string strWhere = !lock.HolderSocket().empty() ? lock.HolderSocket()
                                 : !strOwnSocket.empty()      ? strOwnSocket
                                                              : std::string("its socket");
    std::cerr << "quillory: " << strFile << " is locked by " << strHolder << ", which does not answer at " << strWhere
              << " (a host that hangs?)";
    if (!rSocket) std::cerr << "; " << rSocket.Problem();
    std::cerr << "\nquillory: " << strCommand << " not applied\n";
    return kExitHost;
}
