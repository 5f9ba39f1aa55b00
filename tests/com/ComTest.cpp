// The object model's base: ids, reference counting, interfaces, class factories, events and error reasons.
#include <thread>

#include <gtest/gtest.h>

#include "Com.h"

namespace {

// An interface of the test's own: its base, its id and one method.
#define TEST_INTERFACE(Name, BaseName, Guid, Method) \
    struct Name : BaseName {                         \
        using Base = BaseName;                       \
        static constexpr IID iid = MakeGuid(Guid);   \
        virtual Method = 0;                          \
    }
TEST_INTERFACE(ITest, IDispatch, "{11111111-2222-3333-4444-555555555555}", int Value());
TEST_INTERFACE(ITestDerived, ITest, "{11111111-2222-3333-4444-555555555556}", int Twice());
TEST_INTERFACE(IOther, IUnknown, "{99999999-2222-3333-4444-555555555555}", int Other());
TEST_INTERFACE(ITickEvents, IUnknown, "{ABCDEF00-2222-3333-4444-555555555555}", void Tick(int n));

int g_nDestroyed = 0;

class CTestObject : public CComObjectImpl<ITestDerived, IOther> {
public:
    explicit CTestObject(int n = 7) : m_n(n) {}
    ~CTestObject() override { ++g_nDestroyed; }
    int Value() override { return m_n; }
    int Twice() override { return 2 * m_n; }
    int Other() override { return -m_n; }

private:
    int m_n;
};

class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_nBaseline = CComModule::ObjectCount();
        g_nDestroyed = 0;
    }
    void TearDown() override { EXPECT_EQ(CComModule::ObjectCount(), m_nBaseline) << "objects leaked"; }
    long m_nBaseline = 0;
};

TEST(GuidTest, ParsesAndFormatsTheRegistryFormAndRejectsOthers) {
    auto g = GUID::Parse("{1c0e03bf-a359-4adf-96eb-e0d4d6816143}");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Data1, 0x1C0E03BFu);
    EXPECT_EQ(g->Data2, 0xA359u);
    EXPECT_EQ(g->Data3, 0x4ADFu);
    EXPECT_EQ(g->Data4[0], 0x96);
    EXPECT_EQ(g->Data4[7], 0x43);
    EXPECT_EQ(g->ToString(), "{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}");
    EXPECT_EQ(GUID::Parse(g->ToString()), g);
    constexpr GUID kIid = MakeGuid("{00063001-0000-0000-C000-000000000046}");
    EXPECT_EQ(kIid.ToString(), "{00063001-0000-0000-C000-000000000046}");
    EXPECT_EQ(GUID_NULL.ToString(), "{00000000-0000-0000-0000-000000000000}");
    for (const char* psz : {"", "1C0E03BF-A359-4ADF-96EB-E0D4D6816143", "{1C0E03BF-A359-4ADF-96EB-E0D4D681614}",
                            "{1C0E03BF-A359-4ADF-96EB-E0D4D68161433}", "{1C0E03BFA-359-4ADF-96EB-E0D4D6816143}",
                            "{1C0E03BF-A359-4ADF-96EB-E0D4D681614G}", "(1C0E03BF-A359-4ADF-96EB-E0D4D6816143)"})
        EXPECT_FALSE(GUID::Parse(psz)) << psz;
}

TEST_F(ComTest, SmartReferenceCountsReleasesAndReleasesFirstForAnOutParameter) {
    CComPtr<CTestObject> sp = MakeComObject<CTestObject>();
    EXPECT_EQ(sp->RefCount(), 1u);
    {
        CComPtr<CTestObject> sp2 = sp;
        EXPECT_EQ(sp->RefCount(), 2u);
        CComPtr<ITestDerived> spBase = sp;  // derived to base
        EXPECT_EQ(sp->RefCount(), 3u);
        CComPtr<CTestObject> sp3 = std::move(sp2);
        EXPECT_FALSE(sp2);
        EXPECT_EQ(sp->RefCount(), 3u);
    }
    EXPECT_EQ(sp->RefCount(), 1u);
    sp = MakeComObject<CTestObject>(3);  // releases the old object
    EXPECT_EQ(g_nDestroyed, 1);
    EXPECT_EQ(sp->Value(), 3);
    CComPtr<CTestObject>& ref = sp;
    sp = ref;  // self-assignment keeps it
    EXPECT_EQ(sp->RefCount(), 1u);
    sp = nullptr;
    EXPECT_EQ(g_nDestroyed, 2);

    // The out-parameter address releases first.
    CComPtr<CTestObject> spA = MakeComObject<CTestObject>();
    CComPtr<ITest> spTest = spA;
    EXPECT_EQ(spA->RefCount(), 2u);
    ITest** pp = &spTest;  // releases what spTest held
    EXPECT_EQ(*pp, nullptr);
    EXPECT_EQ(spA->RefCount(), 1u);
    EXPECT_EQ(spA->QueryInterface(&spTest), S_OK);
    EXPECT_EQ(spA->RefCount(), 2u);
    CTestObject* pRaw = spA.Detach();
    EXPECT_EQ(pRaw->RefCount(), 2u);
    spA.Attach(pRaw);
    EXPECT_EQ(spA->RefCount(), 2u);
}

TEST_F(ComTest, QueryInterfaceAnswersTheChain) {
    CComPtr<CTestObject> sp = MakeComObject<CTestObject>(5);
    CComPtr<ITest> spTest;
    EXPECT_EQ(sp->QueryInterface(&spTest), S_OK);
    EXPECT_EQ(spTest->Value(), 5);
    CComPtr<IDispatch> spDisp;
    EXPECT_EQ(spTest->QueryInterface(&spDisp), S_OK);
    CComPtr<IOther> spOther;
    EXPECT_EQ(spDisp->QueryInterface(&spOther), S_OK);
    EXPECT_EQ(spOther->Other(), -5);
    CComPtr<ITestDerived> spDerived;
    EXPECT_EQ(spOther->QueryInterface(&spDerived), S_OK);
    EXPECT_EQ(spDerived->Twice(), 10);
    CComPtr<IUnknown> spUnk1, spUnk2;  // one identity whichever interface is asked
    EXPECT_EQ(spOther->QueryInterface(&spUnk1), S_OK);
    EXPECT_EQ(spTest->QueryInterface(&spUnk2), S_OK);
    EXPECT_EQ(spUnk1.p, spUnk2.p);
    CComPtr<ITickEvents> spNo;  // not there: E_NOINTERFACE and a null out-parameter
    EXPECT_EQ(sp->QueryInterface(&spNo), E_NOINTERFACE);
    EXPECT_FALSE(spNo);
    EXPECT_EQ(sp->QueryInterface(ITest::iid, nullptr), E_POINTER);
    CComQIPtr<IOther> spQI(spTest);
    ASSERT_TRUE(spQI);
    CComQIPtr<ITickEvents> spQINo(spTest);
    EXPECT_FALSE(spQINo);
    EXPECT_EQ(sp->RefCount(), 8u);  // sp, spTest, spDisp, spOther, spDerived, spUnk1, spUnk2, spQI
}

TEST_F(ComTest, ClassFactoryMakesInstancesAndLocks) {
    CComPtr<IClassFactory> spCF = MakeComObject<CClassFactory<CTestObject>>();
    CComPtr<ITest> spTest;
    EXPECT_EQ(spCF->CreateInstance(nullptr, ITest::iid, reinterpret_cast<void**>(&spTest)), S_OK);
    ASSERT_TRUE(spTest);
    EXPECT_EQ(spTest->Value(), 7);
    CComPtr<IOther> spOther;
    EXPECT_EQ(spCF->CreateInstance(nullptr, ITickEvents::iid, reinterpret_cast<void**>(&spOther)), E_NOINTERFACE);
    EXPECT_FALSE(spOther);
    EXPECT_EQ(g_nDestroyed, 1);  // the refused instance was freed
    EXPECT_EQ(spCF->CreateInstance(spTest, ITest::iid, reinterpret_cast<void**>(&spOther)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(spCF->CreateInstance(nullptr, ITest::iid, nullptr), E_POINTER);
    EXPECT_FALSE(CComModule::CanUnloadNow());
    const long nLocks = CComModule::LockCount();
    spCF->LockServer(true);
    EXPECT_EQ(CComModule::LockCount(), nLocks + 1);
    spCF->LockServer(false);
    EXPECT_EQ(CComModule::LockCount(), nLocks);
}

// A sink that records ticks and may act on its connection point meanwhile.
class CTickSink : public CComObjectImpl<ITickEvents> {
public:
    void Tick(int n) override {
        m_vecTicks.push_back(n);
        if (m_fnOnTick) m_fnOnTick();
    }
    std::vector<int> m_vecTicks;
    std::function<void()> m_fnOnTick;
    ~CTickSink() override { ++g_nDestroyed; }
};

// An event source that is a connection point container.
class CTickSource : public CComObjectImpl<IConnectionPointContainer> {
public:
    CTickSource() : m_spCP(MakeComObject<CConnectionPoint<ITickEvents>>()) {}
    ~CTickSource() override { m_spCP->Clear(); }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (riid != ITickEvents::iid) return CONNECT_E_NOCONNECTION;
        return m_spCP.CopyTo(reinterpret_cast<CConnectionPoint<ITickEvents>**>(pp));
    }
    void Fire(int n) {
        m_spCP->Fire([n](ITickEvents* p) { p->Tick(n); });
    }
    CComPtr<CConnectionPoint<ITickEvents>> m_spCP;
};

TEST_F(ComTest, AdviseGivesFreshCookiesAndEventsReachEverySubscriber) {
    auto spSource = MakeComObject<CTickSource>();
    auto spA = MakeComObject<CTickSink>(), spB = MakeComObject<CTickSink>();
    DWORD dwA = 0, dwB = 0;
    EXPECT_EQ(AtlAdvise(spSource, spA, ITickEvents::iid, &dwA), S_OK);
    EXPECT_EQ(AtlAdvise(spSource, spB, ITickEvents::iid, &dwB), S_OK);
    EXPECT_NE(dwA, 0u);
    EXPECT_NE(dwA, dwB);
    EXPECT_EQ(spA->RefCount(), 2u);  // the point holds its sink
    spSource->Fire(1);
    EXPECT_EQ(AtlUnadvise(spSource, ITickEvents::iid, dwA), S_OK);
    EXPECT_EQ(spA->RefCount(), 1u);
    EXPECT_EQ(AtlUnadvise(spSource, ITickEvents::iid, dwA), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(AtlUnadvise(spSource, ITickEvents::iid, 12345), CONNECT_E_NOCONNECTION);
    spSource->Fire(2);
    EXPECT_EQ(spA->m_vecTicks, std::vector<int>{1});  // both had the first, only B the second
    EXPECT_EQ(spB->m_vecTicks, (std::vector<int>{1, 2}));
    // A sink without the event interface is refused; a wrong event id too.
    auto spNotSink = MakeComObject<CTestObject>();
    DWORD dw = 99;
    EXPECT_EQ(AtlAdvise(spSource, spNotSink->GetUnknown(), ITickEvents::iid, &dw), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(dw, 0u);
    EXPECT_EQ(AtlAdvise(spSource, spA, ITest::iid, &dw), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(AtlAdvise(spNotSink->GetUnknown(), spA, ITickEvents::iid, &dw), E_NOINTERFACE);
    EXPECT_EQ(AtlUnadvise(spSource, ITickEvents::iid, dwB), S_OK);

    // Cookies are not reused; null arguments are refused.
    auto spCP = spSource->m_spCP;
    DWORD dw1, dw2;
    EXPECT_EQ(spCP->Advise(spA, &dw1), S_OK);
    EXPECT_EQ(spCP->Unadvise(dw1), S_OK);
    EXPECT_EQ(spCP->Advise(spA, &dw2), S_OK);
    EXPECT_NE(dw1, dw2);
    EXPECT_EQ(spCP->Unadvise(dw1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(spCP->Advise(nullptr, &dw1), E_POINTER);
    EXPECT_EQ(spCP->Advise(spA, nullptr), E_POINTER);
    IID iid;
    EXPECT_EQ(spCP->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, ITickEvents::iid);
    spCP->Clear();
    EXPECT_EQ(spA->RefCount(), 1u);
}

TEST_F(ComTest, SubscriberMayUnadviseDuringAnEvent) {
    auto spSource = MakeComObject<CTickSource>();
    auto spA = MakeComObject<CTickSink>(), spB = MakeComObject<CTickSink>(), spC = MakeComObject<CTickSink>();
    DWORD dwA, dwB, dwC;
    AtlAdvise(spSource, spA, ITickEvents::iid, &dwA);
    AtlAdvise(spSource, spB, ITickEvents::iid, &dwB);
    AtlAdvise(spSource, spC, ITickEvents::iid, &dwC);
    // A ends its own subscription and B's while the event runs: B is not called any more; C still is.
    spA->m_fnOnTick = [&] {
        EXPECT_EQ(AtlUnadvise(spSource, ITickEvents::iid, dwA), S_OK);
        EXPECT_EQ(AtlUnadvise(spSource, ITickEvents::iid, dwB), S_OK);
    };
    spSource->Fire(1);
    EXPECT_EQ(spA->m_vecTicks.size(), 1u);
    EXPECT_TRUE(spB->m_vecTicks.empty());
    EXPECT_EQ(spC->m_vecTicks.size(), 1u);
    spA->m_fnOnTick = nullptr;
    // A sink whose last outside reference goes during its own event, after it unadvised itself, lives until its call
    // returns.
    CTickSink* pRawC = spC;
    spC->m_fnOnTick = [&] {
        AtlUnadvise(spSource, ITickEvents::iid, dwC);
        spC = nullptr;
        pRawC->m_vecTicks.push_back(100);  // still alive: ASan would object otherwise
    };
    int nBefore = g_nDestroyed;
    spSource->Fire(2);
    EXPECT_EQ(g_nDestroyed, nBefore + 1);
    // Advising during an event: the new sink gets later events only.
    DWORD dwD = 0;
    auto spD = MakeComObject<CTickSink>();
    spA->m_fnOnTick = [&] { AtlAdvise(spSource, spD, ITickEvents::iid, &dwD); };
    AtlAdvise(spSource, spA, ITickEvents::iid, &dwA);
    spSource->Fire(3);
    EXPECT_TRUE(spD->m_vecTicks.empty());
    spA->m_fnOnTick = nullptr;
    spSource->Fire(4);
    EXPECT_EQ(spD->m_vecTicks, std::vector<int>{4});
    EXPECT_NE(dwD, dwA);
    // The source going away ends the remaining subscriptions.
    spSource = nullptr;
    EXPECT_EQ(spA->RefCount(), 1u);
    EXPECT_EQ(spD->RefCount(), 1u);
}

}  // namespace

TEST(ErrorInfoTest, TheReasonBelongsToTheThreadAndIsTakenOnce) {
    EXPECT_EQ(ReportError(E_INVALIDARG, "no such folder"), E_INVALIDARG);
    std::string strOther = "unset";
    std::thread([&] { strOther = TakeErrorDescription(); }).join();
    EXPECT_EQ(strOther, "") << "another thread's failure is not this one's";
    EXPECT_EQ(TakeErrorDescription(), "no such folder");
    EXPECT_EQ(TakeErrorDescription(), "") << "taking it clears it";
    CComPtr<IErrorInfo> spInfo;
    EXPECT_EQ(GetErrorInfo(0, &spInfo), S_FALSE);
    EXPECT_FALSE(spInfo);
    EXPECT_EQ(GetErrorInfo(1, &spInfo), E_INVALIDARG);
    EXPECT_EQ(HResultToString(E_POINTER), "E_POINTER");
    EXPECT_EQ(HResultToString(MakeHResult(0x80001234u)), "0x80001234");
}
