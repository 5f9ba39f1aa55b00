#include "CMailJournal.h"

#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The entries say what became of a message; where in our source they were
// written would only carry the build folder into the installed program.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

#include "COwnedFd.h"

namespace {

std::string Joined(const CMailMessage& msg) {
    std::string str;
    for (const auto* pList : {&msg.vecTo, &msg.vecCc, &msg.vecBcc})
        for (const auto& s : *pList) str += (str.empty() ? "" : ", ") + s;
    return str;
}

// The journal's native datagram: KEY=value lines, or for a value with a
// newline KEY, a newline, its length as 64-bit little endian, the value
// and a newline.
std::string NativeDatagram(const CMailJournal::CFields& fields) {
    std::string str;
    for (const auto& [strKey, strValue] : fields) {
        if (strValue.find('\n') == std::string::npos) {
            str += strKey + "=" + strValue + "\n";
            continue;
        }
        str += strKey + "\n";
        for (int i = 0; i < 8; ++i)
            str += static_cast<char>((static_cast<uint64_t>(strValue.size()) >> (8 * i)) & 0xFF);
        str += strValue + "\n";
    }
    return str;
}

CResult<> SendTo(const std::string& strSocket, const std::string& strDatagram) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (strSocket.size() >= sizeof addr.sun_path) return CProblem("journal socket path too long: " + strSocket);
    std::memcpy(addr.sun_path, strSocket.c_str(), strSocket.size());
    const COwnedFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd) return CProblem(std::string("cannot make a journal socket: ") + std::strerror(errno));
    const ssize_t n = ::sendto(fd.Get(), strDatagram.data(), strDatagram.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int nErr = errno;
    if (n != static_cast<ssize_t>(strDatagram.size()))
        return CProblem("cannot write to the journal at " + strSocket + ": " + std::strerror(nErr));
    return {};
}

}  // namespace

std::optional<bool> CMailJournal::InSentItems(EHostEvent kind) {
    if (*CDeliveryWords::Of(kind).pszJournal == '\0') return std::nullopt;
    return kind == EHostEvent::Sent || kind == EHostEvent::SentWithRefusals;
}

CMailJournal::CFields CMailJournal::Fields(const CHostEventRecord& event, const std::string& strLine,
                                           const CMailMessage* pMsg) {
    CFields fields = {{"MESSAGE", strLine},
                      {"PRIORITY", CDeliveryWords::Of(event.kind).pszPriority},
                      {"SYSLOG_IDENTIFIER", "mailhost"},
                      {"RESULT", CDeliveryWords::Of(event.kind).pszJournal},
                      {"MAILHOST_ID", event.strId}};
    if (!event.strText.empty()) fields.emplace_back("REASON", event.strText);
    if (pMsg) {
        fields.emplace_back("QUILLORY_MESSAGE_ID", pMsg->strMessageId);
        fields.emplace_back("SUBJECT", pMsg->strSubject);
        fields.emplace_back("RECIPIENTS", Joined(*pMsg));
        // A scheduled message names its task and occurrence (an extra one
        // when it was sent), so that `journalctl TASK=...` finds every result of one task.
        for (const auto& [strName, strField] :
             {std::pair{kTaskHeader, "TASK"}, {kOccurrenceHeader, "OCCURRENCE"}, {kSendNowHeader, "SEND_NOW"}})
            for (const auto& [strHeader, strValue] : pMsg->vecHeaders)
                if (strcasecmp(strHeader.c_str(), strName) == 0) {
                    fields.emplace_back(strField, strValue);
                    break;
                }
    }
    return fields;
}

CResult<> CMailJournal::Send(const CFields& fields) {
    if (const char* psz = std::getenv("MAILHOST_JOURNAL_SOCKET"); psz && *psz)
        return SendTo(psz, NativeDatagram(fields));
    std::vector<std::string> vecLines;
    for (const auto& [strKey, strValue] : fields) vecLines.push_back(strKey + "=" + strValue);
    std::vector<iovec> vecIov;
    for (auto& str : vecLines) vecIov.push_back({str.data(), str.size()});
    const int nRc = sd_journal_sendv(vecIov.data(), static_cast<int>(vecIov.size()));
    if (nRc < 0) return CProblem(std::string("cannot write to the journal: ") + std::strerror(-nRc));
    return {};
}

bool CMailJournal::StderrIsJournal() {
    const char* psz = std::getenv("JOURNAL_STREAM");
    if (!psz) return false;
    unsigned long long nDev = 0, nIno = 0;
    struct stat st {};
    return std::sscanf(psz, "%llu:%llu", &nDev, &nIno) == 2 && ::fstat(STDERR_FILENO, &st) == 0 && st.st_dev == nDev &&
           st.st_ino == nIno;
}
