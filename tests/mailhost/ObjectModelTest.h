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
#include "CommandBarSteps.h"

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
