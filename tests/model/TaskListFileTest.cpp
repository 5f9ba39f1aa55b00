// "emails.dat": its exact bytes against a writer built here from the format's rules alone, damaged and cut files, the
// record limit, and saves that fail or race.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "CRecordScrambler.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "Contains.h"

namespace fs = std::filesystem;

namespace {

// One task and its texts as the code page stores them, written by hand.
struct CExpectedTask {
    CTaskItem task;
    std::string strFileName;
    std::string strFileTemplate;
    std::vector<std::string> vecFileEntries;
};

void PutInt(std::vector<uint8_t>& v, int32_t n) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(static_cast<uint32_t>(n) >> (8 * i)));
}

void PutText(std::vector<uint8_t>& v, const std::string& str) {
    PutInt(v, static_cast<int32_t>(str.size()));
    v.insert(v.end(), str.begin(), str.end());
}

// The members in file order, plain little-endian, then the texts.
std::vector<uint8_t> ReferenceBody(const CExpectedTask& e) {
    const CTaskItem& t = e.task;
    const auto &s = t.m_dtStart, &n = t.m_dtNextSending, &l = t.m_dtLastSent;
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
        PutInt(v, x);
    for (int32_t x : t.m_bWeekDays) PutInt(v, x);
    for (int32_t x : {t.m_nMonthlyMode, t.m_nMonthlyDay, t.m_nMonthlyInterval, t.m_nMonthlyOrdinal, t.m_nMonthlyDayKind,
                      t.m_nMonthlyInterval2, t.m_nYearlyMode, t.m_nYearlyMonth, t.m_nYearlyDay, t.m_nYearlyOrdinal,
                      t.m_nYearlyDayKind, t.m_nYearlyMonth2})
        PutInt(v, x);
    // clang-format on
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

// Every member gets a value of its own, so a member written in another member's place shows; some are negative or use
// all four bytes.
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

// Texts of many lengths (so bodies end at every offset modulo eight): plain, accented, the euro sign, characters CP1252
// lacks, and empty; in UTF-8 and as CP1252 stores them.
std::vector<CExpectedTask> VariedTasks() {
    // clang-format off
    const std::pair<std::string, std::string> texts[] = {
        {"", ""}, {"a", "a"}, {"Caf\xC3\xA9", "Caf\xE9"}, {"Invoice \xE2\x82\xAC 40", "Invoice \x80 40"},
        {"Stra\303\237e/\303\234bersicht.oft", "Stra\337e/\334bersicht.oft"},
        {"\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C", "?????"}, {"\xE6\x97\xA5\xE6\x9C\xAC report", "?? report"},
        {"/home/someone/Documents/Reports/Archive|*.xlsx", "/home/someone/Documents/Reports/Archive|*.xlsx"},
        {"tab\there \"quoted\"", "tab\there \"quoted\""}, {"\xC2\xA9\xC2\xAE\xE2\x84\xA2", "\xA9\xAE\x99"},
    };
    // clang-format on
    const int nTexts = static_cast<int>(std::size(texts));
    std::vector<CExpectedTask> vec;
    for (int i = 0; i < 23; ++i) {
        CExpectedTask e;
        e.task = Distinct(i + 1);
        const auto &name = texts[i % nTexts], &tmpl = texts[(i * 3 + 1) % nTexts];
        e.task.m_strTaskName = name.first + std::string(static_cast<size_t>(i), 'x');
        e.strFileName = name.second + std::string(static_cast<size_t>(i), 'x');
        e.task.m_strTemplateFile = tmpl.first;
        e.strFileTemplate = tmpl.second;
        e.task.m_arrAttachments.RemoveAll();
        for (int k = 0; k < i % 4; ++k) {
            e.task.m_arrAttachments.Add(texts[(i + k * 5) % nTexts].first);
            e.vecFileEntries.push_back(texts[(i + k * 5) % nTexts].second);
        }
        vec.push_back(std::move(e));
    }
    return vec;
}

class TaskListFileTest : public ::testing::Test {
protected:
    std::vector<uint8_t> ReadFile() const {
        std::ifstream in(m_strPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static int32_t At(const std::vector<uint8_t>& v, size_t pos) {
        int32_t n;
        std::memcpy(&n, v.data() + pos, 4);
        return n;
    }
    static void SetAt(std::vector<uint8_t>& v, size_t pos, int32_t n) { std::memcpy(v.data() + pos, &n, 4); }
    static CTaskItem Sample(int i) {
        CTaskItem t;
        t.m_bActive = i % 2;
        t.m_strTaskName = "Task " + std::to_string(i);
        t.m_strTemplateFile = "/data/Task " + std::to_string(i) + ".oft";
        t.m_nRecurrence = i % 6;
        t.m_dtStart = {2024, 3, 1 + i % 28, 0, i % 24, i % 60, 1};
        t.m_dtNextSending = {2025, 1 + i % 12, 2, 5, 9, 30, 1};
        t.m_nOccurrenceCount = i;
        t.m_bWeekDays[i % 7] = 1;
        for (int k = 0; k < i % 3; ++k) t.m_arrAttachments.Add("/att/" + std::to_string(k) + "/*.pdf");
        return t;
    }
    static CTaskList Samples(int n) {
        CTaskList list;
        for (int i = 1; i <= n; ++i) list.Add(Sample(i));
        return list;
    }
    CResult<> Save(const CTaskList& list) const { return CTaskListFile::SaveTaskList(m_strPath, list, m_codec); }
    // What the folder holds besides the task list: a failed save leaves no temporary file.
    std::vector<std::string> Others() const {
        std::vector<std::string> vec;
        for (const auto& e : fs::directory_iterator(m_dir))
            if (e.path().filename() != "emails.dat") vec.push_back(e.path().filename().string());
        return vec;
    }

    const CTextCodec m_codec = CTextCodec::Open("CP1252").Value();
    CTempDir m_tmp;  // given back its permissions before removal
    const fs::path m_dir{m_tmp.Path()};
    const std::string m_strPath = (m_dir / "emails.dat").string();
};

}  // namespace

// Saving gives the reference bytes, and reading them (from memory or from disk) gives each task back with its texts as
// the code page kept them.
TEST_F(TaskListFileTest, SavesTheReferenceBytesAndReadsThemBack) {
    const auto vecExpected = VariedTasks();
    CTaskList list;
    for (const auto& e : vecExpected) list.Add(e.task);
    const auto reference = ReferenceFile(vecExpected);
    ASSERT_EQ(Save(list).Problem(), "");
    EXPECT_EQ(ReadFile(), reference);
    EXPECT_EQ(CTaskListFile::Encode(list, m_codec), reference);
    for (int i = 0; i < list.GetSize(); ++i)
        EXPECT_EQ(CTaskListFile::RecordLength(list[i], m_codec), ReferenceBody(vecExpected[i]).size()) << i;
    for (bool bFromDisk : {false, true}) {
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        ASSERT_EQ((bFromDisk ? CTaskListFile::LoadTaskList(m_strPath, back, m_codec, &counts)
                             : CTaskListFile::LoadFromBytes(reference, back, m_codec, &counts))
                      .Problem(),
                  "");
        EXPECT_EQ(counts.nLoaded, static_cast<int>(vecExpected.size()));
        ASSERT_EQ(back.GetSize(), static_cast<int>(vecExpected.size()));
        for (int i = 0; i < back.GetSize(); ++i) {
            const CExpectedTask& e = vecExpected[static_cast<size_t>(i)];
            CTaskItem expected = e.task;  // what CP1252 lacks comes back as '?'
            expected.m_strTaskName = m_codec.ToUtf8(e.strFileName);
            expected.m_strTemplateFile = m_codec.ToUtf8(e.strFileTemplate);
            expected.m_arrAttachments.RemoveAll();
            for (const auto& str : e.vecFileEntries) expected.m_arrAttachments.Add(m_codec.ToUtf8(str));
            EXPECT_EQ(back[i], expected) << (bFromDisk ? "file, task " : "memory, task ") << i;
        }
    }
    // A code page that does not keep ASCII as it is (EBCDIC) converts even plain text, both ways.
    const CTextCodec ebcdic = CTextCodec::Open("IBM037").Value();
    CExpectedTask e{{}, "\xC1\xC2\x40\xF1", "\x81\x4B\x96\x86\xA3", {"\xE9"}};
    e.task.m_strTaskName = "AB 1";
    e.task.m_strTemplateFile = "a.oft";
    e.task.m_arrAttachments.Add("Z");
    CTaskList one;
    one.Add(e.task);
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, one, ebcdic).Problem(), "");
    EXPECT_EQ(ReadFile(), ReferenceFile({e}));
    CTaskList back;
    ASSERT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, ebcdic).Problem(), "");
    EXPECT_EQ(back, one);
}

// A file of several MiB, cut at many places (on and around record boundaries, inside lengths and texts): the reader
// keeps exactly the records that are whole before the cut, however its reads fall.
TEST_F(TaskListFileTest, LongFileCutAnywhereKeepsTheWholeRecordsBeforeTheCut) {
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
    for (size_t pos = 4; pos < image.size(); vecEnds.push_back(pos)) pos += 4 + static_cast<size_t>(At(image, pos));
    ASSERT_EQ(vecEnds.size(), 6000u);
    ASSERT_EQ(vecEnds.back(), image.size());
    // Texts the code page lacks come back changed: a cut file is compared with the whole one.
    CTaskList whole;
    ASSERT_EQ(CTaskListFile::LoadFromBytes(image, whole, m_codec).Problem(), "");
    ASSERT_EQ(whole.GetSize(), 6000);
    std::vector<size_t> vecCuts = {image.size(), 0, 1, 3, 4, 5};
    for (size_t nIndex : {0u, 1u, 998u, 999u, 1000u, 2500u, 5998u})
        for (long nDelta : {-300001L, -1L, 0L, 1L, 3L, 4L, 250L, 255L, 3000L}) {
            const long nCut = static_cast<long>(vecEnds[nIndex]) + nDelta;
            if (nCut > 0 && nCut <= static_cast<long>(image.size())) vecCuts.push_back(static_cast<size_t>(nCut));
        }
    for (size_t nPow = 12; (size_t{1} << nPow) < image.size(); ++nPow) vecCuts.push_back(size_t{1} << nPow);
    for (size_t nCut : vecCuts) {
        std::ofstream(m_strPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(nCut));
        const int nWhole = static_cast<int>(std::upper_bound(vecEnds.begin(), vecEnds.end(), nCut) - vecEnds.begin());
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        const auto rLoaded = CTaskListFile::LoadTaskList(m_strPath, back, m_codec, &counts);
        EXPECT_EQ(rLoaded.Ok(), nCut == 0 || nCut == image.size()) << nCut << ": " << rLoaded.Problem();
        EXPECT_EQ(counts.nLoaded, nWhole) << nCut;
        ASSERT_EQ(back.GetSize(), nWhole) << nCut;
        for (int i : {0, nWhole / 2, nWhole - 1})
            if (i >= 0 && i < nWhole) {
                EXPECT_EQ(back[i], whole[i]) << nCut << " task " << i;
            }
    }
}

// The word-at-a-time scrambling, in place and from the reader's buffer into a body buffer of its own (which reads each
// input byte twice instead of carrying it), must equal the byte rule at every length and input alignment, tails that
// are not a multiple of eight included, and write nothing past the body; unscrambling arbitrary bytes follows the rule
// too, so a flipped byte changes only itself and the next.
TEST_F(TaskListFileTest, ScramblingMatchesTheByteRuleAtEveryLengthAndAlignment) {
    const char key[] = "7F2B94D6";
    std::mt19937 rng(11);
    for (size_t nAlign = 0; nAlign < 4; ++nAlign)
        for (size_t n = 0; n <= 140; ++n) {
            SCOPED_TRACE("length " + std::to_string(n) + ", offset " + std::to_string(nAlign));
            std::vector<uint8_t> input(nAlign + n);
            for (auto& b : input) b = static_cast<uint8_t>(rng());
            const std::vector<uint8_t> plain(input.begin() + static_cast<std::ptrdiff_t>(nAlign), input.end());
            std::vector<uint8_t> scrambled(n), unscrambled(n);
            uint8_t prev = 0;
            for (size_t i = 0; i < n; ++i) {
                prev = scrambled[i] = static_cast<uint8_t>(plain[i] ^ key[i % 8] ^ prev);
                unscrambled[i] = static_cast<uint8_t>(plain[i] ^ key[i % 8] ^ (i == 0 ? 0 : plain[i - 1]));
            }
            auto c = plain;
            CTaskListFile::Scramble(c.data(), c.size());
            EXPECT_EQ(c, scrambled);
            c = plain;
            CTaskListFile::Unscramble(c.data(), c.size());
            EXPECT_EQ(c, unscrambled);
            std::vector<uint8_t> out(n + 40, 0xA5);
            CRecordScrambler::Unscramble(input.data() + nAlign, out.data(), n);
            EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), unscrambled);
            EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), 0xA5), 40);
        }
}

// Damage stops reading and keeps the tasks before it; a huge count in a tiny file allocates nothing large; a FIFO is
// named, never waited on.
TEST_F(TaskListFileTest, DamageStopsReadingAndKeepsEarlierTasks) {
    const CTaskList list = Samples(3);
    const auto good = CTaskListFile::Encode(list, m_codec);
    const size_t second = 4 + 4 + static_cast<size_t>(At(good, 4));
    // Rewrites the name's length inside the second record's plain body.
    auto nameLength = [&](int32_t nNameLen) {
        return [=](std::vector<uint8_t>& v) {
            const auto itBody = v.begin() + static_cast<std::ptrdiff_t>(second) + 4;
            std::vector<uint8_t> body(itBody, itBody + At(v, second));
            CTaskListFile::Unscramble(body.data(), body.size());
            SetAt(body, 232, nNameLen);
            CTaskListFile::Scramble(body.data(), body.size());
            std::copy(body.begin(), body.end(), itBody);
        };
    };
    auto setAt = [](size_t nAt, int32_t n) { return [=](std::vector<uint8_t>& v) { SetAt(v, nAt, n); }; };
    const struct {
        const char* pszName;
        std::function<void(std::vector<uint8_t>&)> damage;
        int nExpect;  // tasks kept; the load always says the file is damaged
    } cases[] = {
        {"second record too long", setAt(second, 2000000), 1},
        {"negative record length", setAt(second, -5), 1},
        {"count larger than records", setAt(0, 9), 3},
        {"negative count", setAt(0, -1), 0},
        {"count smaller than records", setAt(0, 2), 2},
        {"record shorter than its fixed members", setAt(4, 100), 0},
        {"negative text length", nameLength(-1), 1},
        {"text length past the body", nameLength(5000), 1},
        {"text length past the limit", nameLength(2000000), 1},
        {"huge count in a tiny file", [](auto& v) { v.assign(10, 0), SetAt(v, 0, 0x7FFFFFFF), SetAt(v, 4, 248); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        auto v = good;
        c.damage(v);
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        EXPECT_FALSE(CTaskListFile::LoadFromBytes(v, back, m_codec, &counts).Ok());
        EXPECT_EQ(back.GetSize(), c.nExpect);
        EXPECT_EQ(counts.nLoaded, c.nExpect);
        for (int i = 0; i < back.GetSize(); ++i) EXPECT_EQ(back[i], list[i]);
    }
    CTaskList back;
    ASSERT_EQ(::mkfifo(m_strPath.c_str(), 0600), 0);
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, m_codec).Problem(),
              "not a regular file (a FIFO): " + m_strPath);
}

// The reader refuses a record body over 1,048,576 bytes and drops every task after it, so a save must never write one;
// a save that fails keeps the old file and leaves nothing aside. 248 bytes surround the texts, so a name of 1,048,328
// bytes is the longest that loads.
TEST_F(TaskListFileTest, ARecordAtTheLimitLoadsAndOneByteOverIsRefusedAtSave) {
    const size_t nMostName = static_cast<size_t>(CTaskListFile::kMaxLength) - 248;
    CTaskList list = Samples(3);
    const std::string strEntry = "/a/b.pdf";  // its length and its bytes
    const size_t nName = nMostName - 4 - strEntry.size();
    list[1].m_strTaskName = std::string(nName, 'n');
    list[1].m_strTemplateFile = "";
    list[1].m_arrAttachments.RemoveAll();
    list[1].m_arrAttachments.Add(strEntry);
    ASSERT_EQ(Save(list).Problem(), "");
    EXPECT_EQ(At(ReadFile(), 4 + 4 + At(ReadFile(), 4)), CTaskListFile::kMaxLength);
    CTaskList back;
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, m_codec).Problem(), "");
    EXPECT_EQ(back, list);

    // Measured in the code page: "\xC3\xA9" is two bytes in UTF-8 but one in CP1252, so this name still fits; one more
    // ASCII byte does not.
    CTaskList over = list;
    const std::string strAccented = std::string(nName - 1, 'n') + "\xC3\xA9";
    over[1].m_strTaskName = strAccented;
    ASSERT_EQ(Save(over).Problem(), "");
    const auto before = ReadFile();
    over[1].m_strTaskName = std::string(nName, 'n') + "x";
    EXPECT_EQ(Save(over).Problem(),
              "task 2 (" + std::string(60, 'n') + "...): record length 1048577 over the limit of 1048576 bytes");
    EXPECT_EQ(ReadFile(), before);
    CTaskList after;
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, after, m_codec).Problem(), "");
    ASSERT_EQ(after.GetSize(), 3);
    EXPECT_EQ(after[1].m_strTaskName, strAccented);
    EXPECT_EQ(Others(), std::vector<std::string>{});
    // A long attachment counts as much as a long name.
    over = list;
    over[0].m_arrAttachments.Add(std::string(nMostName, 'a'));
    EXPECT_TRUE(Contains(Save(over).Problem(), "task 1 (Task 1): record length"));
    if (geteuid() != 0) {  // root ignores folder permissions
        fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_NE(Save(Samples(1)).Problem(), "");
        EXPECT_EQ(ReadFile(), before);
        fs::permissions(m_dir, fs::perms::owner_all);
    }
    // An empty list is no file at all.
    ASSERT_EQ(Save(CTaskList{}).Problem(), "");
    EXPECT_FALSE(fs::exists(m_strPath));
    CTaskList none;
    CTaskListFile::CLoadCounts counts;
    EXPECT_TRUE(CTaskListFile::LoadTaskList(m_strPath, none, m_codec, &counts).Ok());
    EXPECT_FALSE(counts.bOpened);
    EXPECT_EQ(none.GetSize(), 0);
}

// The temporary file is the save's own: neither a leftover under the old fixed name nor a second writer can make a save
// fail or tear the file.
TEST_F(TaskListFileTest, SavesDoNotShareATemporaryFile) {
    fs::create_directory(m_strPath + ".tmp");
    ASSERT_EQ(Save(Samples(1)).Problem(), "");
    CTaskList back;
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, m_codec).Problem(), "");
    EXPECT_EQ(back, Samples(1));
    struct stat st {};
    ASSERT_EQ(::stat(m_strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a new task list is private";

    // Two writers of different lists, and a reader that must always find one of them (or the list before them) whole.
    std::atomic<bool> bDone{false};
    std::atomic<int> nFailed{0};
    auto writer = [&](int nTasks) {
        const CTextCodec codec = CTextCodec::Open("CP1252").Value();
        for (int k = 0; k < 200; ++k)
            if (!CTaskListFile::SaveTaskList(m_strPath, Samples(nTasks), codec).Ok()) ++nFailed;
    };
    std::vector<std::string> vecTorn;
    std::thread reader([&] {
        const CTextCodec codec = CTextCodec::Open("CP1252").Value();
        while (!bDone) {
            CTaskList seen;
            const auto rLoaded = CTaskListFile::LoadTaskList(m_strPath, seen, codec);
            if (!rLoaded.Ok() || (seen.GetSize() != 1 && seen.GetSize() != 3 && seen.GetSize() != 40))
                vecTorn.push_back(rLoaded.Problem() + " / " + std::to_string(seen.GetSize()));
        }
    });
    std::thread a(writer, 3), b(writer, 40);
    a.join();
    b.join();
    bDone = true;
    reader.join();
    EXPECT_EQ(nFailed, 0);
    EXPECT_EQ(vecTorn, std::vector<std::string>{});
    EXPECT_EQ(Others(), std::vector<std::string>{"emails.dat.tmp"});
}
