#include "CQueuedOccurrences.h"

#include <strings.h>

namespace {

const std::string* FieldOf(const CMailMessage& msg, const char* pszName) {
    for (const auto& [strName, strValue] : msg.vecHeaders)
        if (::strcasecmp(strName.c_str(), pszName) == 0) return &strValue;
    return nullptr;
}

}  // namespace

std::optional<std::string> CQueuedOccurrences::KeyOf(const CMailMessage& msg) {
    const std::string* pTask = FieldOf(msg, kTaskHeader);
    const std::string* pOccurrence = FieldOf(msg, kOccurrenceHeader);
    if (!pTask || !pOccurrence || pTask->empty() || pOccurrence->empty()) return std::nullopt;
    // A task name cannot hold a line break, so the pair is unambiguous.
    return *pTask + '\n' + *pOccurrence;
}

std::optional<std::string> CQueuedOccurrences::Find(const std::string& strKey) const {
    const auto it = m_mapIds.find(strKey);
    if (it == m_mapIds.end()) return std::nullopt;
    return it->second;
}
