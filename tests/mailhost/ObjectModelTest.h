#pragma once
// The host object model over an in-memory mail store, with a folder for
// files; every COM object made during a test must be gone at its end.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CApplication.h"
#include "CMemoryMailBackend.h"
#include "CTempDir.h"

using Log = std::vector<std::string>;

class ObjectModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_nBaseline = CComModule::ObjectCount();
        m_spApp = CApplication::Create(m_backend);
    }
    void TearDown() override {
        m_spApp = nullptr;
        EXPECT_EQ(CComModule::ObjectCount(), m_nBaseline) << "objects leaked";
    }

    CComPtr<_MailItem> NewMail(const std::string& strSubject = "Subject", const std::string& strTo = "a@example.org") {
        CComPtr<IDispatch> spItem;
        EXPECT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
        CComQIPtr<_MailItem> spMail(spItem);
        EXPECT_TRUE(spMail);
        spMail->put_Subject(strSubject);
        spMail->put_Body("Body text");
        spMail->put_To(strTo);
        return spMail;
    }
    CComPtr<_Inspector> Display(_MailItem* pMail) {
        EXPECT_EQ(pMail->Display(vtMissing), S_OK);
        CComPtr<_Inspector> sp = m_spApp->ActiveInspector();
        EXPECT_TRUE(sp);
        return sp;
    }
    CComPtr<_CommandBarButton> AddButton(_CommandBars* pBars, const std::string& strBar, const std::string& strTag) {
        CComPtr<CommandBar> spBar;
        EXPECT_EQ(pBars->Add(strBar, msoBarTop, vtMissing, true, &spBar), S_OK);
        CComPtr<CommandBarControls> spControls;
        EXPECT_EQ(spBar->get_Controls(&spControls), S_OK);
        CComPtr<CommandBarControl> spControl;
        EXPECT_EQ(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spControl), S_OK);
        CComPtr<_CommandBarButton> spButton;
        EXPECT_EQ(spControl.QueryInterface(&spButton), S_OK);
        spButton->put_Tag(strTag);
        spBar->put_Visible(true);
        return spButton;
    }
    std::string WriteFile(const char* pszName, const std::string& strData) {
        std::string strPath = (m_dir / pszName).string();
        CTempDir::WriteFile(strPath, strData);
        return strPath;
    }

    long m_nBaseline = 0;
    CMemoryMailBackend m_backend;
    CComPtr<CApplication> m_spApp;
    CTempDir m_tmp;
    std::filesystem::path m_dir{m_tmp.Path()};
};
