#pragma once
// Several problems found at once, in the order found, each naming its place
// and what is wrong there: {"task 3: minuteInterval", "must be at least 1,
// not 0"}. A CProblem made of them keeps them apart, so that whoever shows
// them takes them one by one (CResult::ProblemLines), never by splitting a
// string on newlines.
#include <string>
#include <utility>
#include <vector>

#include "CResult.h"

class CProblems {
public:
    struct CEntry {
        std::string strWhere;  // the field, key or thing; empty when strText names it
        std::string strText;
        // "task 3: minuteInterval: must be at least 1, not 0".
        std::string Line() const { return strWhere.empty() ? strText : strWhere + ": " + strText; }
    };

    void Add(std::string strWhere, std::string strText) {
        m_vecEntries.push_back({std::move(strWhere), std::move(strText)});
    }
    void Add(CEntry entry) { m_vecEntries.push_back(std::move(entry)); }
    bool Empty() const { return m_vecEntries.empty(); }
    size_t Size() const { return m_vecEntries.size(); }
    const CEntry& Front() const { return m_vecEntries.front(); }
    auto begin() const { return m_vecEntries.begin(); }
    auto end() const { return m_vecEntries.end(); }

    std::vector<std::string> Lines() const {
        std::vector<std::string> vec;
        for (const auto& entry : m_vecEntries) vec.push_back(entry.Line());
        return vec;
    }
    // All of them as the one problem of a result.
    CProblem AsProblem() const { return CProblem(Lines()); }

private:
    std::vector<CEntry> m_vecEntries;
};
