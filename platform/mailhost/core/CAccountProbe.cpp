#include "CAccountProbe.h"

std::string CAccountProbe::CReport::Text() const {
    std::string str = (smtp.bOk ? "Sending: OK. " : "Sending: FAILED. ") + smtp.strSummary;
    if (bReceive) str += std::string("\nReceiving: ") + (receive.bOk ? "OK. " : "FAILED. ") + receive.strSummary;
    return str;
}

CAccountProbe::CReport CAccountProbe::Run(const CAccount& account, long nTimeoutSeconds) {
    CReport report;
    report.smtp = CServerProbe::Smtp(account, nTimeoutSeconds);
    report.bReceive = !account.strReceiveUrl.empty();
    if (report.bReceive) report.receive = CServerProbe::Receive(account, nTimeoutSeconds);
    return report;
}
