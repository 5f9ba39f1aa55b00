#pragma once
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CMessageBox.h"

// Stands in for the user at the add-in's message boxes for its lifetime:
// records every box and answers a yes/no(/cancel) question with m_nYesNoAnswer,
// any other box with OK. Each box must carry the add-in's caption.
class CBoxRecorder {
public:
    struct CShown {
        std::string strText;
        unsigned nFlags;  // buttons and icon
    };

    CBoxRecorder() {
        CMessageBox::SetHandler([this](const std::string& strText, const std::string& strCaption, unsigned nFlags) {
            EXPECT_EQ(strCaption, "Quillory");
            m_vecShown.push_back({strText, nFlags});
            const unsigned nType = nFlags & CMessageBox::MB_TYPEMASK;
            const int nTicked = m_bTickDontShowAgain && (nFlags & CMessageBox::MB_DONTSHOWAGAIN)
                                    ? CMessageBox::kDontShowAgainTicked
                                    : 0;
            return (nType == CMessageBox::MB_YESNO || nType == CMessageBox::MB_YESNOCANCEL ? m_nYesNoAnswer
                                                                                           : CMessageBox::IDOK) |
                   nTicked;
        });
    }
    ~CBoxRecorder() { CMessageBox::SetHandler({}); }
    CBoxRecorder(const CBoxRecorder&) = delete;
    CBoxRecorder& operator=(const CBoxRecorder&) = delete;

    std::vector<std::string> Texts() const {
        std::vector<std::string> vec;
        for (const auto& box : m_vecShown) vec.push_back(box.strText);
        return vec;
    }
    // The texts shown so far, which are then forgotten.
    std::vector<std::string> Told() {
        std::vector<std::string> vec = Texts();
        m_vecShown.clear();
        return vec;
    }
    std::vector<unsigned> Flags() const {
        std::vector<unsigned> vec;
        for (const auto& box : m_vecShown) vec.push_back(box.nFlags);
        return vec;
    }

    std::vector<CShown> m_vecShown;
    int m_nYesNoAnswer = CMessageBox::IDYES;
    bool m_bTickDontShowAgain = false;  // ticks "Do not show again" where a box has it
};
