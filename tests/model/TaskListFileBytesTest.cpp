// The exact bytes of "emails.dat", against a writer built here from the
// format's rules alone: member order, plain little-endian lengths, texts in
// the code page and the byte-at-a-time scrambling.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "CTaskListFile.h"
#include "CTempDir.h"

namespace {

// One task and its texts as the code page stores them, written by hand.
struct CExpectedTask {
    CTaskItem task;
    std::string strFileName;
    std::string strFileTemplate;
    std::vector<std::string> vecFileEntries;
};

void PutInt(std::vector<uint8_t>& v, int32_t n) {
    const auto u = static_cast<uint32_t>(n);
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void PutText(std::vector<uint8_t>& v, const std::string& str) {
    PutInt(v, static_cast<int32_t>(str.size()));
    v.insert(v.end(), str.begin(), str.end());
}

std::vector<uint8_t> ReferenceBody(const CExpectedTask& e) {
    const CTaskItem& t = e.task;
    const auto& s = t.m_dtStart;
    const auto& n = t.m_dtNextSending;
    const auto& l = t.m_dtLastSent;
    std::vector<uint8_t> v;
    // clang-format off
    for (int32_t x : {t.m_bActive, s.nSecond, s.nMinute, s.nHour, s.nYear, s.nMonth, s.nDayOfWeek, s.nDay,
                      t.m_nRecurrence, t.m_bSendOverdue, t.m_nEndAfterCount, t.m_nOccurrenceCount,
                      n.nYear, n.nSecond, n.nMonth, n.nMinute, n.nHour, n.nDayOfWeek, n.nDay,
                      l.nYear, l.nSecond, l.nMonth, l.nMinute, l.nHour, l.nDayOfWeek, l.nDay,
                      t.m_bReceiveBeforeSending, t.m_dtEnd.nYear, t.m_nEndKind, t.m_dtEnd.nMonth,
                      t.m_dtEnd.nDayOfWeek, t.m_dtEnd.nDay, t.m_nMinuteInterval,
                      t.m_nDailyMode, t.m_nDailyInterval, t.m_nDailyDayKind,
                      t.m_nWeeklyMode, t.m_nWeeklyInterval, t.m_nWeeklyWeekOfMonth})
        // clang-format on
        PutInt(v, x);
    for (int32_t x : t.m_bWeekDays) PutInt(v, x);
    for (int32_t x : {t.m_nMonthlyMode, t.m_nMonthlyDay, t.m_nMonthlyInterval, t.m_nMonthlyOrdinal, t.m_nMonthlyDayKind,
                      t.m_nMonthlyInterval2, t.m_nYearlyMode, t.m_nYearlyMonth, t.m_nYearlyDay, t.m_nYearlyOrdinal,
                      t.m_nYearlyDayKind, t.m_nYearlyMonth2})
        PutInt(v, x);
    EXPECT_EQ(v.size(), 232u);
    PutText(v, e.strFileName);
    PutText(v, e.strFileTemplate);
    PutInt(v, static_cast<int32_t>(e.vecFileEntries.size()));
    for (const auto& str : e.vecFileEntries) PutText(v, str);
    PutInt(v, 0);  // reserved
    return v;
}

std::vector<uint8_t> ReferenceFile(const std::vector<CExpectedTask>& vecTasks) {
    const char key[] = "7F2B94D6";
    std::vector<uint8_t> v;
    PutInt(v, static_cast<int32_t>(vecTasks.size()));
    for (const auto& e : vecTasks) {
        auto body = ReferenceBody(e);
        uint8_t prev = 0;
        for (size_t i = 0; i < body.size(); ++i) prev = body[i] = static_cast<uint8_t>(body[i] ^ key[i % 8] ^ prev);
        PutInt(v, static_cast<int32_t>(body.size()));
        v.insert(v.end(), body.begin(), body.end());
    }
    return v;
}

// Every member gets a value of its own, so a member written in another
// member's place shows; some are negative or use all four bytes.
CTaskItem Distinct(int nSeed) {
    CTaskItem t;
    int32_t nNext = nSeed * 1000;
    auto next = [&] { return ++nNext % 7 == 0 ? -nNext : nNext % 5 == 0 ? nNext * 65537 : nNext; };
    t.m_bActive = next();
    for (auto* dt : {&t.m_dtStart, &t.m_dtNextSending, &t.m_dtLastSent})
        *dt = {next(), next(), next(), next(), next(), next(), next()};
    t.m_dtEnd = {next(), next(), next(), next()};
    for (auto* p : {&t.m_nRecurrence,           &t.m_bSendOverdue,    &t.m_nEndAfterCount,    &t.m_nOccurrenceCount,
                    &t.m_bReceiveBeforeSending, &t.m_nEndKind,        &t.m_nMinuteInterval,   &t.m_nDailyMode,
                    &t.m_nDailyInterval,        &t.m_nDailyDayKind,   &t.m_nWeeklyMode,       &t.m_nWeeklyInterval,
                    &t.m_nWeeklyWeekOfMonth,    &t.m_nMonthlyMode,    &t.m_nMonthlyDay,       &t.m_nMonthlyInterval,
                    &t.m_nMonthlyOrdinal,       &t.m_nMonthlyDayKind, &t.m_nMonthlyInterval2, &t.m_nYearlyMode,
                    &t.m_nYearlyMonth,          &t.m_nYearlyDay,      &t.m_nYearlyOrdinal,    &t.m_nYearlyDayKind,
                    &t.m_nYearlyMonth2})
        *p = next();
    for (auto& n : t.m_bWeekDays) n = next();
    return t;
}

// Texts of many lengths (so bodies end at every offset modulo eight),
// plain, accented, with the euro sign, with characters CP1252 lacks, and
// empty.
std::vector<CExpectedTask> VariedTasks() {
    std::vector<CExpectedTask> vec;
    const std::pair<std::string, std::string> texts[] = {
        {"", ""},
        {"a", "a"},
        {"Caf\xC3\xA9", "Caf\xE9"},
        {"Invoice \xE2\x82\xAC 40", "Invoice \x80 40"},
        {"Stra\xC3\x9F"
         "e/\xC3\x9C"
         "bersicht.oft",
         "Stra\xDF"
         "e/\xDC"
         "bersicht.oft"},
        {"\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C", "?????"},
        {"\xE6\x97\xA5\xE6\x9C\xAC report", "?? report"},
        {"/home/someone/Documents/Reports/Archive|*.xlsx", "/home/someone/Documents/Reports/Archive|*.xlsx"},
        {"tab\there \"quoted\"", "tab\there \"quoted\""},
        {"\xC2\xA9\xC2\xAE\xE2\x84\xA2", "\xA9\xAE\x99"},
    };
    const int nTexts = static_cast<int>(std::size(texts));
    for (int i = 0; i < 23; ++i) {
        CExpectedTask e;
        e.task = Distinct(i + 1);
        const auto& name = texts[i % nTexts];
        const auto& tmpl = texts[(i * 3 + 1) % nTexts];
        e.task.m_strTaskName = name.first + std::string(static_cast<size_t>(i), 'x');
        e.strFileName = name.second + std::string(static_cast<size_t>(i), 'x');
        e.task.m_strTemplateFile = tmpl.first;
        e.strFileTemplate = tmpl.second;
        e.task.m_arrAttachments.RemoveAll();
        for (int k = 0; k < i % 4; ++k) {
            const auto& entry = texts[(i + k * 5) % nTexts];
            e.task.m_arrAttachments.Add(entry.first);
            e.vecFileEntries.push_back(entry.second);
        }
        vec.push_back(std::move(e));
    }
    return vec;
}

std::vector<uint8_t> ReadAll(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class TaskListFileBytesTest : public ::testing::Test {
protected:
    const CTextCodec m_codec = CTextCodec::Open("CP1252").Value();
    CTempDir m_tmp;
    const std::string m_strPath = (std::filesystem::path(m_tmp.Path()) / "emails.dat").string();
};

}  // namespace

TEST_F(TaskListFileBytesTest, SavedFileEqualsTheReferenceBytes) {
    const auto vecExpected = VariedTasks();
    CTaskList list;
    for (const auto& e : vecExpected) list.Add(e.task);
    const auto reference = ReferenceFile(vecExpected);
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, list, m_codec).Problem(), "");
    EXPECT_EQ(ReadAll(m_strPath), reference);
    EXPECT_EQ(CTaskListFile::Encode(list, m_codec), reference);
    for (int i = 0; i < list.GetSize(); ++i)
        EXPECT_EQ(CTaskListFile::RecordLength(list[i], m_codec), ReferenceBody(vecExpected[i]).size()) << i;
}

// Reading the reference bytes gives each task back with its texts as the
// code page kept them.
TEST_F(TaskListFileBytesTest, ReferenceBytesLoadAsTheTasks) {
    const auto vecExpected = VariedTasks();
    const auto reference = ReferenceFile(vecExpected);
    for (bool bFromDisk : {false, true}) {
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        if (bFromDisk) {
            std::ofstream(m_strPath, std::ios::binary)
                .write(reinterpret_cast<const char*>(reference.data()), static_cast<std::streamsize>(reference.size()));
            ASSERT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, m_codec, &counts).Problem(), "");
        } else {
            ASSERT_EQ(CTaskListFile::LoadFromBytes(reference, back, m_codec, &counts).Problem(), "");
        }
        EXPECT_EQ(counts.nLoaded, static_cast<int>(vecExpected.size()));
        ASSERT_EQ(back.GetSize(), static_cast<int>(vecExpected.size()));
        for (int i = 0; i < back.GetSize(); ++i) {
            CTaskItem expected = vecExpected[static_cast<size_t>(i)].task;
            // What CP1252 lacks comes back as '?'.
            expected.m_strTaskName = m_codec.ToUtf8(vecExpected[static_cast<size_t>(i)].strFileName);
            expected.m_strTemplateFile = m_codec.ToUtf8(vecExpected[static_cast<size_t>(i)].strFileTemplate);
            expected.m_arrAttachments.RemoveAll();
            for (const auto& str : vecExpected[static_cast<size_t>(i)].vecFileEntries)
                expected.m_arrAttachments.Add(m_codec.ToUtf8(str));
            EXPECT_EQ(back[i], expected) << (bFromDisk ? "file, task " : "memory, task ") << i;
        }
    }
}

// A code page that does not keep ASCII as it is (EBCDIC) must convert even
// plain text, both ways.
TEST_F(TaskListFileBytesTest, PlainTextIsConvertedWhereTheCodePageDiffersFromAscii) {
    const CTextCodec ebcdic = CTextCodec::Open("IBM037").Value();
    CExpectedTask e;
    e.task.m_strTaskName = "AB 1";
    e.strFileName = "\xC1\xC2\x40\xF1";
    e.task.m_strTemplateFile = "a.oft";
    e.strFileTemplate = "\x81\x4B\x96\x86\xA3";
    e.task.m_arrAttachments.Add("Z");
    e.vecFileEntries = {"\xE9"};
    CTaskList list;
    list.Add(e.task);
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, list, ebcdic).Problem(), "");
    EXPECT_EQ(ReadAll(m_strPath), ReferenceFile({e}));
    CTaskList back;
    ASSERT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, ebcdic).Problem(), "");
    ASSERT_EQ(back.GetSize(), 1);
    EXPECT_EQ(back[0], e.task);
}

// A file of several MiB, cut at many places (on and around record
// boundaries, inside lengths and texts): the reader keeps exactly the
// records that are whole before the cut, however its reads fall.
TEST_F(TaskListFileBytesTest, LongFileCutAnywhereKeepsTheWholeRecordsBeforeTheCut) {
    const auto vecVaried = VariedTasks();
    CTaskList list;
    for (int i = 0; i < 6000; ++i) {
        CTaskItem t = vecVaried[static_cast<size_t>(i) % vecVaried.size()].task;
        t.m_nOccurrenceCount = i;
        // Now and then a record longer than a typical read.
        if (i % 1000 == 999) t.m_strTemplateFile = std::string(300000 + static_cast<size_t>(i), 't');
        list.Add(t);
    }
    const auto image = CTaskListFile::Encode(list, m_codec);
    ASSERT_GT(image.size(), 2u << 20);
    std::vector<size_t> vecEnds;  // where each record ends, from the plain lengths
    for (size_t pos = 4; pos < image.size();) {
        int32_t nLen;
        std::memcpy(&nLen, image.data() + pos, 4);
        pos += 4 + static_cast<size_t>(nLen);
        vecEnds.push_back(pos);
    }
    ASSERT_EQ(vecEnds.size(), 6000u);
    ASSERT_EQ(vecEnds.back(), image.size());
    // Texts the code page lacks come back changed; what a cut file gives is
    // compared with what the whole file gives.
    CTaskList whole;
    ASSERT_EQ(CTaskListFile::LoadFromBytes(image, whole, m_codec).Problem(), "");
    ASSERT_EQ(whole.GetSize(), 6000);

    std::vector<size_t> vecCuts = {image.size(), 0, 1, 3, 4, 5};
    for (size_t nIndex : {0u, 1u, 998u, 999u, 1000u, 2500u, 5998u}) {
        for (long nDelta : {-300001L, -1L, 0L, 1L, 3L, 4L, 250L, 255L, 3000L}) {
            const long nCut = static_cast<long>(vecEnds[nIndex]) + nDelta;
            if (nCut > 0 && nCut <= static_cast<long>(image.size())) vecCuts.push_back(static_cast<size_t>(nCut));
        }
    }
    for (size_t nPow = 12; (size_t{1} << nPow) < image.size(); ++nPow) vecCuts.push_back(size_t{1} << nPow);

    for (size_t nCut : vecCuts) {
        {
            std::ofstream out(m_strPath, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(nCut));
        }
        const int nWhole = static_cast<int>(std::upper_bound(vecEnds.begin(), vecEnds.end(), nCut) - vecEnds.begin());
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        const auto rLoaded = CTaskListFile::LoadTaskList(m_strPath, back, m_codec, &counts);
        EXPECT_EQ(rLoaded.Ok(), nCut == 0 || nCut == image.size()) << nCut << ": " << rLoaded.Problem();
        EXPECT_EQ(counts.nLoaded, nWhole) << nCut;
        ASSERT_EQ(back.GetSize(), nWhole) << nCut;
        for (int i : {0, nWhole / 2, nWhole - 1}) {
            if (i >= 0 && i < nWhole) {
                EXPECT_EQ(back[i], whole[i]) << nCut << " task " << i;
            }
        }
    }
}
