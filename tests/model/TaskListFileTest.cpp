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

namespace fs = std::filesystem;

namespace {

class TaskListFileTest : public ::testing::Test {
protected:
    void SetUp() override { m_strPath = (m_dir / "emails.dat").string(); }
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

    const CTextCodec m_codec = CTextCodec::Open("CP1252").Value();
    CTempDir m_tmp;  // given back its permissions before removal
    const fs::path m_dir{m_tmp.Path()};
    std::string m_strPath;
};

}  // namespace

// An empty list is no file at all (what a save and a load keep of each
// task: TaskListFileBytesTest, against the reference bytes).
TEST_F(TaskListFileTest, AnEmptyListRemovesTheFile) {
    CTaskList list;
    list.Add(Sample(1));
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, list, m_codec).Problem(), "");
    ASSERT_TRUE(fs::exists(m_strPath));
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, CTaskList{}, m_codec).Problem(), "");
    EXPECT_FALSE(fs::exists(m_strPath));
    CTaskList none;
    CTaskListFile::CLoadCounts counts;
    EXPECT_TRUE(CTaskListFile::LoadTaskList(m_strPath, none, m_codec, &counts).Ok());
    EXPECT_FALSE(counts.bOpened);
    EXPECT_EQ(none.GetSize(), 0);
}

// The word-at-a-time scrambling, in place and from the reader's buffer
// into a body buffer of its own (which reads each input byte twice instead
// of carrying it), must equal the byte rule at every length and input
// alignment, tails that are not a multiple of eight included, and write
// nothing past the body; unscrambling arbitrary bytes follows the rule too,
// so a flipped byte changes only itself and the next.
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

TEST_F(TaskListFileTest, DamageStopsReadingAndKeepsEarlierTasks) {
    CTaskList list;
    for (int i = 0; i < 3; ++i) list.Add(Sample(i));
    const auto good = CTaskListFile::Encode(list, m_codec);
    const size_t second = 4 + 4 + static_cast<size_t>(At(good, 4));
    struct Case {
        const char* pszName;
        std::function<void(std::vector<uint8_t>&)> damage;
        int nExpect;
    };
    const Case cases[] = {
        {"second record too long", [&](auto& v) { SetAt(v, second, 2000000); }, 1},
        {"negative record length", [&](auto& v) { SetAt(v, second, -5); }, 1},
        {"count larger than records", [&](auto& v) { SetAt(v, 0, 9); }, 3},
        {"negative count", [&](auto& v) { SetAt(v, 0, -1); }, 0},
        {"record shorter than fixed part", [&](auto& v) { SetAt(v, 4, 100); }, 0},
    };
    for (const auto& c : cases) {
        auto v = good;
        c.damage(v);
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        (void)CTaskListFile::LoadFromBytes(v, back, m_codec, &counts);  // some cases are whole, some damaged
        EXPECT_EQ(back.GetSize(), c.nExpect) << c.pszName;
        EXPECT_EQ(counts.nLoaded, c.nExpect) << c.pszName;
        for (int i = 0; i < back.GetSize(); ++i) EXPECT_EQ(back[i], list[i]) << c.pszName;
    }
    CTaskList back;

    // A FIFO in place of the file is named, never waited on, and never read as an empty list.
    ASSERT_EQ(::mkfifo(m_strPath.c_str(), 0600), 0);
    const auto rFifo = CTaskListFile::LoadTaskList(m_strPath, back, m_codec);
    EXPECT_EQ(rFifo.Problem(), "not a regular file (a FIFO): " + m_strPath);
}

TEST_F(TaskListFileTest, TextLengthsInsideTheBodyAreChecked) {
    CTaskList list;
    list.Add(Sample(2));
    const auto good = CTaskListFile::Encode(list, m_codec);
    // Rewrite a length inside the plain body, then scramble it again.
    auto withBody = [&](int32_t nNameLen) {
        std::vector<uint8_t> v = good;
        std::vector<uint8_t> body(v.begin() + 8, v.end());
        CTaskListFile::Unscramble(body.data(), body.size());
        SetAt(body, 232, nNameLen);
        CTaskListFile::Scramble(body.data(), body.size());
        std::copy(body.begin(), body.end(), v.begin() + 8);
        return v;
    };
    for (int32_t n : {-1, 5000, 2000000}) {
        CTaskList back;
        const auto rLoaded = CTaskListFile::LoadFromBytes(withBody(n), back, m_codec);
        EXPECT_EQ(back.GetSize(), 0) << n;
        EXPECT_FALSE(rLoaded.Ok());
    }
}

TEST_F(TaskListFileTest, HugeCountInATinyFileAllocatesNothingLarge) {
    std::vector<uint8_t> v(10, 0);
    SetAt(v, 0, 0x7FFFFFFF);
    SetAt(v, 4, 248);
    CTaskList back;
    CTaskListFile::CLoadCounts counts;
    EXPECT_FALSE(CTaskListFile::LoadFromBytes(v, back, m_codec, &counts).Ok());
    EXPECT_EQ(back.GetSize(), 0);
    EXPECT_EQ(counts.nDeclared, 0x7FFFFFFF);
}

// What the directory holds besides the task list: a failed save must
// leave no temporary file behind.
std::vector<std::string> Others(const fs::path& dir) {
    std::vector<std::string> vec;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename() != "emails.dat") vec.push_back(e.path().filename().string());
    return vec;
}

// The reader refuses a record body over 1,048,576 bytes and drops every
// task after it, so a save must never write one. 248 bytes surround the
// texts, so a name of 1,048,328 bytes is the longest that loads.
TEST_F(TaskListFileTest, ARecordAtTheLimitLoadsAndOneByteOverIsRefusedAtSave) {
    const size_t nMostName = static_cast<size_t>(CTaskListFile::kMaxLength) - 248;
    CTaskList list;
    list.Add(Sample(1));
    CTaskItem atLimit = Sample(2);
    const std::string strEntry = "/a/b.pdf";  // its length and its bytes
    const size_t nName = nMostName - 4 - strEntry.size();
    atLimit.m_strTaskName = std::string(nName, 'n');
    atLimit.m_strTemplateFile = "";
    atLimit.m_arrAttachments.RemoveAll();
    atLimit.m_arrAttachments.Add(strEntry);
    list.Add(atLimit);
    list.Add(Sample(3));
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, list, m_codec).Problem(), "");
    EXPECT_EQ(At(ReadFile(), 4 + 4 + At(ReadFile(), 4)), CTaskListFile::kMaxLength);
    CTaskList back;
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, m_codec).Problem(), "");
    ASSERT_EQ(back.GetSize(), 3);
    EXPECT_EQ(back[1], atLimit);
    EXPECT_EQ(back[2], Sample(3));

    // Measured in the code page: "\xC3\xA9" is two bytes in UTF-8 but one in
    // CP1252, so this name still fits; one more ASCII byte does not.
    CTaskList over = list;
    const std::string strAccented = std::string(nName - 1, 'n') + "\xC3\xA9";
    over[1].m_strTaskName = strAccented;
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, over, m_codec).Problem(), "");
    const auto before = ReadFile();
    over[1].m_strTaskName = std::string(nName, 'n') + "x";
    EXPECT_EQ(CTaskListFile::SaveTaskList(m_strPath, over, m_codec).Problem(),
              "task 2 (" + std::string(60, 'n') + "...): record length 1048577 over the limit of 1048576 bytes");
    EXPECT_EQ(ReadFile(), before);
    CTaskList after;
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, after, m_codec).Problem(), "");
    ASSERT_EQ(after.GetSize(), 3);
    EXPECT_EQ(after[1].m_strTaskName, strAccented);
    EXPECT_EQ(Others(m_dir), std::vector<std::string>{});
    // A long attachment counts as much as a long name.
    over = list;
    over[0].m_arrAttachments.Add(std::string(nMostName, 'a'));
    EXPECT_NE(CTaskListFile::SaveTaskList(m_strPath, over, m_codec).Problem().find("task 1 (Task 1): record length"),
              std::string::npos);
}

TEST_F(TaskListFileTest, FailedSaveKeepsTheOldFile) {
    CTaskList list;
    list.Add(Sample(1));
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, list, m_codec).Problem(), "");
    const auto before = ReadFile();
    CTaskList bigger = list;
    bigger.Add(Sample(2));
    if (geteuid() != 0) {  // root ignores directory permissions
        fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_NE(CTaskListFile::SaveTaskList(m_strPath, bigger, m_codec).Problem(), "");
        EXPECT_EQ(ReadFile(), before);
        fs::permissions(m_dir, fs::perms::owner_all);
    }
    // A record the reader would refuse stops the save half-way through the
    // temporary file.
    bigger.Add(Sample(3));
    bigger[2].m_strTaskName = std::string(static_cast<size_t>(CTaskListFile::kMaxLength), 'z');
    EXPECT_NE(CTaskListFile::SaveTaskList(m_strPath, bigger, m_codec).Problem(), "");
    EXPECT_EQ(ReadFile(), before);
    EXPECT_EQ(Others(m_dir), std::vector<std::string>{});
}

// The temporary file is the save's own: neither a leftover under the old
// fixed name nor a second writer can make a save fail or tear the file.
TEST_F(TaskListFileTest, SavesDoNotShareATemporaryFile) {
    fs::create_directory(m_strPath + ".tmp");
    CTaskList list;
    list.Add(Sample(1));
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strPath, list, m_codec).Problem(), "");
    CTaskList back;
    EXPECT_EQ(CTaskListFile::LoadTaskList(m_strPath, back, m_codec).Problem(), "");
    EXPECT_EQ(back.GetSize(), 1);
    struct stat st {};
    ASSERT_EQ(::stat(m_strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a new task list is private";

    // Two writers of different lists, and a reader that must always find
    // one of them (or the list before them) whole.
    std::atomic<bool> bDone{false};
    std::atomic<int> nFailed{0};
    auto writer = [&](int nTasks) {
        const CTextCodec codec = CTextCodec::Open("CP1252").Value();
        CTaskList mine;
        for (int i = 0; i < nTasks; ++i) mine.Add(Sample(i));
        for (int k = 0; k < 200; ++k)
            if (!CTaskListFile::SaveTaskList(m_strPath, mine, codec).Ok()) ++nFailed;
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
    std::thread a(writer, 3);
    std::thread b(writer, 40);
    a.join();
    b.join();
    bDone = true;
    reader.join();
    EXPECT_EQ(nFailed, 0);
    EXPECT_EQ(vecTorn, std::vector<std::string>{});
    EXPECT_EQ(Others(m_dir), std::vector<std::string>{"emails.dat.tmp"});
}
