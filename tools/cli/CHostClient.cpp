#include "CHostClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "CHostProtocol.h"
#include "CJsonText.h"
#include "COwnedFd.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point tEnd) {
    const auto n = std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - Clock::now()).count();
    return n > 0 ? static_cast<int>(n) : 0;
}

// Waits for fd to become ready for nEvents; false when the time is up.
bool WaitFor(int fd, short nEvents, Clock::time_point tEnd) {
    for (;;) {
        pollfd pfd{fd, nEvents, 0};
        const int n = ::poll(&pfd, 1, MsLeft(tEnd));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return false;
    }
}

CProblem Unreachable(std::string str) { return CProblem(std::move(str)); }

CHostClient::CReply NoHost() { return {CHostClient::EOutcome::kNoHost, {}, {}}; }

CHostClient::CReply NoAnswer(std::string str) { return {CHostClient::EOutcome::kNoAnswer, {}, std::move(str)}; }

}  // namespace

CResult<CHostClient::CReply> CHostClient::Request(const std::string& strSocketPath,
                                                  const nlohmann::ordered_json& jRequest, int nAnswerTimeoutMs) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (strSocketPath.size() >= sizeof addr.sun_path) return Unreachable(strSocketPath + ": too long for a socket");
    std::memcpy(addr.sun_path, strSocketPath.c_str(), strSocketPath.size() + 1);

    COwnedFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0) return Unreachable(std::string("cannot make a socket: ") + std::strerror(errno));

    // A full backlog answers EAGAIN at once instead of waiting; try again
    // until the time for connecting is up.
    const auto tConnectEnd = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    for (;;) {
        if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) break;
        const int nErr = errno;
        if (nErr == ENOENT || nErr == ECONNREFUSED) return NoHost();
        if (nErr == EINPROGRESS) {
            int nSoError = 0;
            socklen_t nLen = sizeof nSoError;
            if (!WaitFor(fd.Get(), POLLOUT, tConnectEnd))
                return Unreachable("the host at " + strSocketPath + " does not take connections");
            ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &nSoError, &nLen);
            if (nSoError == 0) break;
            if (nSoError == ECONNREFUSED) return NoHost();
            return Unreachable(strSocketPath + ": " + std::strerror(nSoError));
        }
        if (nErr != EAGAIN && nErr != EINTR) return Unreachable(strSocketPath + ": " + std::strerror(nErr));
        if (MsLeft(tConnectEnd) == 0) return Unreachable("the host at " + strSocketPath + " does not take connections");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    const auto tEnd = Clock::now() + std::chrono::milliseconds(nAnswerTimeoutMs);
    const std::string strTimeout =
        "the host at " + strSocketPath + " did not answer within " + std::to_string(nAnswerTimeoutMs / 1000) + " s";
    const std::string strLine = CJsonText::Dump(jRequest) + "\n";
    // A host that closed before taking the request (too busy) may have said
    // why first: that answer is read before the broken send is reported.
    std::string strBroke;
    for (size_t nSent = 0; nSent < strLine.size() && strBroke.empty();) {
        const ssize_t n = ::send(fd.Get(), strLine.data() + nSent, strLine.size() - nSent, MSG_NOSIGNAL);
        if (n > 0) {
            nSent += static_cast<size_t>(n);
        } else if (errno == EAGAIN || errno == EINTR) {
            if (!WaitFor(fd.Get(), POLLOUT, tEnd)) return Unreachable(strTimeout);
        } else {
            strBroke = "the host at " + strSocketPath + " broke off: " + std::strerror(errno);
        }
    }

    std::string strAnswer;
    for (;;) {
        if (const size_t nEnd = strAnswer.find('\n'); nEnd != std::string::npos) {
            strAnswer.resize(nEnd);
            break;
        }
        if (strAnswer.size() > CHostProtocol::kMaxLine) return Unreachable("the host's answer is too long");
        char buf[4096];
        const ssize_t n = ::recv(fd.Get(), buf, sizeof buf, 0);
        if (n > 0) {
            strAnswer.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            if (!strBroke.empty()) return Unreachable(strBroke);
            return NoAnswer("the host at " + strSocketPath + " closed the connection without answering");
        } else if (errno == EAGAIN || errno == EINTR) {
            if (!WaitFor(fd.Get(), POLLIN, tEnd)) {
                if (!strBroke.empty()) return Unreachable(strBroke);
                return NoAnswer(strTimeout);
            }
        } else {
            if (!strBroke.empty()) return Unreachable(strBroke);
            return NoAnswer("the host at " + strSocketPath + " broke off: " + std::strerror(errno));
        }
    }
    auto rAnswer = CJsonText::Parse(strAnswer);
    if (!rAnswer) return Unreachable("the host's answer is " + rAnswer.Problem());
    CReply result{EOutcome::kAnswered, std::move(*rAnswer), {}};
    if (!result.jAnswer.is_object() || !result.jAnswer.contains(CHostProtocol::kOk) ||
        !result.jAnswer[CHostProtocol::kOk].is_boolean())
        return Unreachable("the host's answer says neither ok nor not");
    return result;
}
