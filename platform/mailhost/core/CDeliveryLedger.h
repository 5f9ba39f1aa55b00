#pragma once
#include <map>
#include <string>
#include <vector>

#include "CDeliveryWords.h"
#include "CResult.h"

// Where a message stands on its way out: one of the kinds with a ledger word
// (CDeliveryWords). Every state but Queued is kept on disk, so that
// `mailhost status` in another process sees a retry and its reason too; a
// RetryLater record found at start-up is simply tried again. Sent is
// accepted by the server with the move to Sent Items pending.
struct CDeliveryRecord {
    EHostEvent state = EHostEvent::Queued;
    std::string strReason;
    std::vector<std::string> vecRefused;
    int nAttempts = 0;
    bool bUnreadable = false;  // there, but not read: held in doubt
};

// Sidecar records in <profile>/.delivery/<id>, one small file each,
// replaced crash-safely. The caller serialises access.
class CDeliveryLedger {
public:
    explicit CDeliveryLedger(std::string strDir) : m_strDir(std::move(strDir)) {}
    CResult<> Open();

    // No record is state None; one that is there but cannot be read is
    // InDoubt, with the reason.
    CDeliveryRecord Get(const std::string& strId) const;
    CResult<> Put(const std::string& strId, const CDeliveryRecord& rec);
    CResult<> Erase(const std::string& strId);  // done when there was none
    std::vector<std::string> StoredIds() const;

private:
    std::string m_strDir;
    std::map<std::string, CDeliveryRecord> m_mapUnwritten;  // retries whose record could not be written
};
