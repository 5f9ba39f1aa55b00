#pragma once
#include <map>
#include <string>
#include <vector>

#include "CResult.h"

// Where a message stands on its way out. Every state but None is kept on
// disk, so that `mailhost status` in another process sees a retry and its
// reason too; a Retrying record found at start-up is simply tried again.
enum class EDeliveryState {
    None,          // no record: queued, or long delivered
    Retrying,      // a temporary failure; tried again later
    Handed,        // the whole message went to the server, its answer not yet known
    SentNotMoved,  // accepted by the server; the move to Sent Items is pending
    Failed,        // refused for good; kept in Outbox with the reason
    InDoubt,       // Handed found at start-up: may have arrived, not resent
    Refused,       // delivered, but some recipients were refused
};

struct CDeliveryRecord {
    EDeliveryState state = EDeliveryState::None;
    std::string strReason;
    std::vector<std::string> vecRefused;
    int nAttempts = 0;
};

// Sidecar records in <profile>/.delivery/<id>, one small file each,
// replaced crash-safely. The caller serialises access.
class CDeliveryLedger {
public:
    explicit CDeliveryLedger(std::string strDir) : m_strDir(std::move(strDir)) {}
    CResult<> Open();

    // No record (an unreadable one included) is state None.
    CDeliveryRecord Get(const std::string& strId) const;
    CResult<> Put(const std::string& strId, const CDeliveryRecord& rec);
    CResult<> Erase(const std::string& strId);  // done when there was none
    std::vector<std::string> StoredIds() const;

    static const char* StateName(EDeliveryState state);

private:
    std::string m_strDir;
    std::map<std::string, CDeliveryRecord> m_mapUnwritten;  // retries whose record could not be written
};
