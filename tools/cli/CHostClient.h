#pragma once
#include <string>

#include <nlohmann/json.hpp>

#include "CResult.h"

// One request to the add-in of a running host (see CHostProtocol), with a
// time limit on every step, so that a host that hangs never hangs the tool.
class CHostClient {
public:
    static constexpr int kConnectTimeoutMs = 2000;
    static constexpr int kAnswerTimeoutMs = 10000;

    enum class EOutcome {
        kAnswered,  // the host answered; jAnswer holds it (ok or not)
        kNoHost,    // nobody listens there: no socket, or one left by a host that died
        // The whole request went out, but the connection ended or the time
        // ran out before an answer: the host may or may not have made the
        // change. strProblem says what happened.
        kNoAnswer,
    };
    struct CReply {
        EOutcome eOutcome = EOutcome::kNoHost;
        nlohmann::ordered_json jAnswer;
        std::string strProblem;  // kNoAnswer: why there is none
    };

    // The problem: something listens but did not take or answer the
    // request in time, or answered what is no answer.
    static CResult<CReply> Request(const std::string& strSocketPath, const nlohmann::ordered_json& jRequest,
                                   int nAnswerTimeoutMs = kAnswerTimeoutMs);
};
