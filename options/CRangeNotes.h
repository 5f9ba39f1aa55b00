#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Values of a stored task that its controls cannot show (a damaged or
// hand-edited file): each is brought into range and noted, so the user is
// told instead of the sheet failing or showing nonsense.
class CRangeNotes {
public:
    void Clamp(int32_t& n, int nMin, int nMax, const std::string& strWhat);
    // An item of a list with nCount items.
    void Index(int32_t& n, int nCount, const std::string& strWhat);
    void Add(const std::string& strNote) { m_vecNotes.push_back(strNote); }

    bool IsEmpty() const { return m_vecNotes.empty(); }
    const std::vector<std::string>& Notes() const { return m_vecNotes; }
    std::string Message() const;

private:
    std::vector<std::string> m_vecNotes;
};
