#include "CTaskItem.h"

#include "TaskTime.h"

CTaskItem::CTaskItem() {
    // 1 January 1980 was a Tuesday (day of week 3).
    m_dtStart = TaskDateTime{1980, 1, 1, 3, 0, 0, 1};
    m_dtEnd = TaskDate{1980, 1, 1, 3};
}

std::string CTaskItem::LastSentWarning() const {
    const std::string strProblem = LastSentProblem();
    return strProblem.empty()
               ? std::string()
               : "its last sending time cannot be read (" + strProblem + "); it is sent by its next time all the same";
}

std::string CTaskItem::LastSentProblem() const {
    if (!m_dtLastSent.IsSet()) return {};
    if (auto r = TaskTime::CheckGroup(m_dtLastSent); !r) return r.Problem();
    if (auto r = TaskTime::ToAbsolute(m_dtLastSent); !r) return r.Problem();
    return {};
}
