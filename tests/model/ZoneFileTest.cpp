// Zones read by name from the system's zone files against the C library with TZ set to the same zone, the rules at the
// files' end on their own, and what must be refused, with the zone named.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CEnvScope.h"
#include "CPosixZoneRule.h"
#include "CSeededRandom.h"
#include "CTempDir.h"
#include "CZoneFile.h"
#include "CZoneHold.h"
#include "CZoneRules.h"
#include "Contains.h"
#include "LibcTime.h"
#include "OffsetChanges.h"
#include "ZoneGuard.h"

namespace {

using namespace LibcTime;

constexpr time_t k1970 = 0, k2100 = 4102444800;

// Checks fnOffset against the C library (TZ already set) from tFrom to tTo: every nStep seconds, and to the second on
// both sides of each change the C library makes. Returns the number of changes met.
template <class F>
int ExpectOffsetsAsLibc(const F& fnOffset, time_t tFrom, time_t tTo, time_t nStep) {
    int nChanges = 0;
    long nPrev = Local(tFrom).tm_gmtoff;
    for (time_t t = tFrom; t < tTo; t += nStep) {
        const long nLibc = Local(t).tm_gmtoff;
        EXPECT_EQ(fnOffset(t), nLibc) << "at " << t;
        if (nLibc != nPrev) {
            time_t lo = t - nStep, hi = t;  // the change is in (lo, hi]
            while (hi - lo > 1) (Local(lo + (hi - lo) / 2).tm_gmtoff == nPrev ? lo : hi) = lo + (hi - lo) / 2;
            EXPECT_EQ(fnOffset(hi - 1), Local(hi - 1).tm_gmtoff) << "before the change at " << hi;
            EXPECT_EQ(fnOffset(hi), Local(hi).tm_gmtoff) << "at the change at " << hi;
            ++nChanges;
        }
        nPrev = nLibc;
        if (::testing::Test::HasFailure()) return nChanges;
    }
    return nChanges;
}

class ZoneFileTest : public ::testing::TestWithParam<const char*> {
protected:
    CZoneGuard m_tz{GetParam()};
};

// The offsets 1970..2100 (past the files' last listed change in 2037, where the rule at their end takes over), then
// with the named zone held the conversions of wall times around its changes.
TEST_P(ZoneFileTest, AgreesWithTheCLibraryFrom1970To2100) {
    auto zone = CZoneFile::Read(GetParam());
    ASSERT_TRUE(zone) << zone.Problem();
    // A step that is no divisor of a day meets every hour of it.
    const int nChanges = ExpectOffsetsAsLibc([&](time_t t) { return zone->OffsetAt(t); }, k1970, k2100, 7919);
    if (std::string(GetParam()) == "America/New_York") {
        EXPECT_GT(nChanges, 250);  // past 2037 too
    }
    auto pZone = CZoneRules::Named(GetParam());
    ASSERT_TRUE(pZone) << pZone.Problem();
    const CZoneHold hold(**pZone);
    ASSERT_EQ(&CZoneRules::Current(), *pZone);
    std::vector<time_t> vecAround = OffsetChanges(k1970 + kDay, k2100 - kDay, 3 * kHour);
    CSeededRandom rnd(std::hash<std::string>{}(GetParam()));
    for (int i = 0; i < 60; ++i)
        vecAround.push_back(k1970 + kDay + static_cast<time_t>(rnd.m_rng() % (k2100 - 2 * kDay)));
    for (size_t i = 0; i < vecAround.size(); i += 1 + vecAround.size() / 150) {
        ExpectBothWays(vecAround[i] - 2 * kHour + rnd.Int(0, 4 * 3600));
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneFileTest,
                         ::testing::Values("America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                           "America/Santiago", "Asia/Kolkata", "UTC", "Pacific/Apia", "America/Nuuk",
                                           "Europe/Dublin", "Africa/Casablanca", "Asia/Tehran"),
                         [](const auto& info) { return ZoneTestName(info.param); });

// The rules alone, with TZ set to the same text for the C library: changes at midnight and past it, at negative times,
// on counted days with and without 29 February, and summer behind standard time.
TEST(PosixZoneRuleTest, OffsetsAgreeWithTheCLibrary) {
    const char* const kRules[] = {
        "EST5EDT,M3.2.0,M11.1.0",
        "<-04>4<-03>,M9.1.6/24,M4.1.6/24",
        "<-02>2<-01>,M3.5.0/-1,M10.5.0/0",
        "IST-1GMT0,M10.5.0,M3.5.0/1",
        "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
        "<+0545>-5:45",
        "AAA3BBB,J60/2,J300/2:30",
        "CCC-2DDD-3,59/2,299/2",
        "XXX+9:30:15YYY+8,M2.5.3/-3:15,M11.5.0/50",
    };
    for (const char* pszRule : kRules) {
        SCOPED_TRACE(pszRule);
        CZoneGuard tz(pszRule);
        auto rule = CPosixZoneRule::Parse(pszRule);
        ASSERT_TRUE(rule) << rule.Problem();
        // 1999 .. 2061: leap years, and 2000 and 2100's neighbours.
        ExpectOffsetsAsLibc([&](time_t t) { return rule->OffsetAt(t); }, 915148800, 2871676800, 3 * 3600 + 7);
    }
}

// The fields of a zone file written from the format's rules: a header, the data (times of nTimeBytes), and for version
// 2 on the same again with 64-bit times and the rule between newlines.
struct CZoneFields {
    std::vector<int64_t> vecAt;
    std::vector<uint8_t> vecType;
    std::vector<int32_t> vecOff;
    std::string strRule;  // the text between the newlines
};

std::string BigEndian(uint64_t n, int nBytes) {
    std::string str;
    for (int i = nBytes - 1; i >= 0; --i) str += static_cast<char>(n >> (8 * i) & 0xff);
    return str;
}

std::string ZoneBytes(char cVersion, const CZoneFields& fields) {
    const auto block = [&](char cVer, int nTimeBytes) {
        std::string str = "TZif" + std::string(1, cVer) + std::string(15, '\0');
        for (uint64_t n : {uint64_t{0}, uint64_t{0}, uint64_t{0}, uint64_t{fields.vecAt.size()},
                           uint64_t{fields.vecOff.size()}, uint64_t{4}})
            str += BigEndian(n, 4);
        for (int64_t t : fields.vecAt) str += BigEndian(static_cast<uint64_t>(t), nTimeBytes);
        for (uint8_t n : fields.vecType) str += static_cast<char>(n);
        for (int32_t n : fields.vecOff) str += BigEndian(static_cast<uint32_t>(n), 4) + std::string("\0\0", 2);
        return str + std::string("ABC\0", 4);
    };
    if (cVersion == '\0') return block(cVersion, 4);
    return block(cVersion, 4) + block(cVersion, 8) + "\n" + fields.strRule + "\n";
}

// Zone files written from the format's rules, read as they say: around the changes, and past the last one.
TEST(ZoneFileFormatTest, ReadsEveryVersionAsTheFormatSays) {
    const struct {
        char cVersion;
        CZoneFields fields;
        std::vector<std::pair<time_t, long>> vecWant;  // instant, offset
    } cases[] = {
        // Version 1: no rule, the last change holds.
        {'\0', {{1000, 2000}, {1, 0}, {0, 3600}, ""}, {{999, 0}, {1000, 3600}, {2000, 0}, {4000000000, 0}}},
        // Version 2: the rule after the last change.
        {'2',
         {{-5000000000, 2000000000}, {1, 2}, {100, 0, 18000}, "<+05>-5"},
         {{-5000000001, 100}, {0, 0}, {8000000000, 18000}}},
        // Version 3: no changes, the rule at all times; summer all year.
        {'3',
         {{}, {}, {0}, "EST5EDT,M3.2.0,M11.1.0"},
         {{1719835200, -14400}, {1735732800, -18000}, {-2000000000, -14400}}},
        {'3', {{}, {}, {0}, "EST5EDT,0/0,J365/25"}, {{915148800, -14400}, {1719835200, -14400}, {1735732800, -14400}}},
        // Version 4: an empty rule leaves the last change in force.
        {'4', {{0}, {1}, {0, -7200}, ""}, {{-1, 0}, {0, -7200}, {9000000000, -7200}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields.strRule + " version " + std::to_string(c.cVersion));
        auto zone = CZoneFile::Parse("Test/Zone", ZoneBytes(c.cVersion, c.fields));
        ASSERT_TRUE(zone) << zone.Problem();
        for (const auto& [t, nOff] : c.vecWant) EXPECT_EQ(zone->OffsetAt(t), nOff) << t;
    }
}

// Names that could leave the zone folder, and files that are not zones, are problems naming the zone; $TZDIR is where
// zones are read from.
TEST(ZoneFileFormatTest, RefusesWhatIsNotAZoneAndHonoursTzdir) {
    CTempDir dir;
    const CEnvScope tzdir("TZDIR", dir.Path().c_str());
    const std::string strNewYork = CTempDir::ReadFile("/usr/share/zoneinfo/America/New_York");
    ASSERT_GT(strNewYork.size(), 1000u);
    std::string strBadRule =
        strNewYork.substr(0, strNewYork.rfind('\n', strNewYork.size() - 2)) + "\nEST5EDT,M13.2.0,M11.1.0\n";
    const CZoneFields stray{{0}, {3}, {0}, ""};
    const struct {
        const char* pszName;
        std::string strBytes;  // written under the name in $TZDIR unless empty
        const char* pszProblem;
    } cases[] = {
        {"../escape", "", "not a zone name"},
        {"/usr/share/zoneinfo/UTC", "", "not by a path"},
        {"Europe/../../etc/passwd", "", "not a zone name"},
        {"Europe//Berlin", "", "not a zone name"},
        {"Europe/Berlin\n", "", "not a zone name"},
        {".hidden", "", "not a zone name"},
        {"", "", "not a zone name"},
        {"Missing/Zone", "", "No such file"},
        {"Bad/Text", "not a zone at all, but long enough to hold a header of forty-four bytes", "not a zone file"},
        {"Bad/Short", strNewYork.substr(0, 300), "cut short"},
        {"Bad/Rule", strBadRule, "zone rule"},
        {"Bad/NoRule", strNewYork.substr(0, strNewYork.size() - 1), "no rule"},
        {"Bad/Stray", ZoneBytes('2', stray), "not listed"},
        {"Bad/Order", ZoneBytes('2', {{5, 5}, {0, 0}, {0}, ""}), "out of order"},
        {"Bad/Offset", ZoneBytes('2', {{5}, {0}, {-2147483647 - 1}, ""}), "out of range"},
        {"Bad/Huge", std::string(CZoneFile::kMaxBytes + 1, 'T'), "too large"},
    };
    std::filesystem::create_directories(dir.Path() + "/Bad");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        if (!c.strBytes.empty()) CTempDir::WriteFile(dir / c.pszName, c.strBytes);
        const auto zone = CZoneFile::Read(c.pszName);
        ASSERT_FALSE(zone);
        EXPECT_TRUE(Contains(zone.Problem(), c.pszProblem));
        // Named, with what cannot be printed shown as "?".
        std::string strShown = c.pszName;
        std::replace(strShown.begin(), strShown.end(), '\n', '?');
        EXPECT_TRUE(Contains(zone.Problem(), "zone \"" + strShown + "\""));
    }
    // The copy in $TZDIR is read, under a name the system does not have.
    std::filesystem::create_directories(dir.Path() + "/Test");
    CTempDir::WriteFile(dir / "Test/Copy", strNewYork);
    auto copy = CZoneFile::Read("Test/Copy");
    ASSERT_TRUE(copy) << copy.Problem();
    EXPECT_EQ(copy->OffsetAt(1805965200), -14400);
    EXPECT_EQ(copy->OffsetAt(5000000000), -14400);  // 2128-06-11, past the listed changes: summer
}

}  // namespace
