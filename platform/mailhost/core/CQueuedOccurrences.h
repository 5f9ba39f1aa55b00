#pragma once
#include <optional>
#include <string>
#include <unordered_map>

#include "CMailMessage.h"

// The scheduled occurrences the store holds a message for, so that one
// handed over before a crash is not queued a second time when the add-in,
// which could not record it, hands it over again after the restart. An
// occurrence is the pair of the kTaskHeader and kOccurrenceHeader fields
// ("Weekly report", "2026-12-14 09:00"); a message without both (one
// typed by the user, one sent outside the schedule) has none.
//
// Keys are only ever added while the host runs: a message deleted from Sent
// Items still counts until the next start, when the folders are read again.
class CQueuedOccurrences {
public:
    // The occurrence msg is sent for; none without both fields.
    static std::optional<std::string> KeyOf(const CMailMessage& msg);

    bool IsFilled() const { return m_bFilled; }
    void SetFilled() { m_bFilled = true; }
    void Note(const std::string& strKey, const std::string& strMessageId) { m_mapIds[strKey] = strMessageId; }
    void Forget(const std::string& strKey) { m_mapIds.erase(strKey); }
    // The Message-ID of the message held for the occurrence.
    std::optional<std::string> Find(const std::string& strKey) const;

private:
    std::unordered_map<std::string, std::string> m_mapIds;
    bool m_bFilled = false;
};
