#include "CTaskListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kKey[8] = {'7', 'F', '2', 'B', '9', '4', 'D', '6'};
constexpr size_t kFixedBytes = 232;

void Put(std::vector<uint8_t>& v, size_t& pos, int32_t n) {
    uint32_t u = static_cast<uint32_t>(n);
    for (int i = 0; i < 4; ++i) v[pos++] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t Get(const uint8_t* p) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(p[i]) << (8 * i);
    return static_cast<int32_t>(u);
}

// Pointers to the fixed members in body order.
template <class Task, class Fn>
void ForEachFixed(Task& t, Fn&& fn) {
    auto& s = t.m_dtStart;
    auto& n = t.m_dtNextSending;
    auto& l = t.m_dtLastSent;
    auto& e = t.m_dtEnd;
    auto members = {&t.m_bActive,
                    &s.nSecond,
                    &s.nMinute,
                    &s.nHour,
                    &s.nYear,
                    &s.nMonth,
                    &s.nDayOfWeek,
                    &s.nDay,
                    &t.m_nRecurrence,
                    &t.m_bSendOverdue,
                    &t.m_nEndAfterCount,
                    &t.m_nOccurrenceCount,
                    &n.nYear,
                    &n.nSecond,
                    &n.nMonth,
                    &n.nMinute,
                    &n.nHour,
                    &n.nDayOfWeek,
                    &n.nDay,
                    &l.nYear,
                    &l.nSecond,
                    &l.nMonth,
                    &l.nMinute,
                    &l.nHour,
                    &l.nDayOfWeek,
                    &l.nDay,
                    &t.m_bReceiveBeforeSending,
                    &e.nYear,
                    &t.m_nEndKind,
                    &e.nMonth,
                    &e.nDayOfWeek,
                    &e.nDay,
                    &t.m_nMinuteInterval,
                    &t.m_nDailyMode,
                    &t.m_nDailyInterval,
                    &t.m_nDailyDayKind,
                    &t.m_nWeeklyMode,
                    &t.m_nWeeklyInterval,
                    &t.m_nWeeklyWeekOfMonth,
                    &t.m_bWeekDays[0],
                    &t.m_bWeekDays[1],
                    &t.m_bWeekDays[2],
                    &t.m_bWeekDays[3],
                    &t.m_bWeekDays[4],
                    &t.m_bWeekDays[5],
                    &t.m_bWeekDays[6],
                    &t.m_nMonthlyMode,
                    &t.m_nMonthlyDay,
                    &t.m_nMonthlyInterval,
                    &t.m_nMonthlyOrdinal,
                    &t.m_nMonthlyDayKind,
                    &t.m_nMonthlyInterval2,
                    &t.m_nYearlyMode,
                    &t.m_nYearlyMonth,
                    &t.m_nYearlyDay,
                    &t.m_nYearlyOrdinal,
                    &t.m_nYearlyDayKind,
                    &t.m_nYearlyMonth2};
    for (auto* p : members) fn(*p);
}

// Byte offsets of the fixed members inside CTaskItem, in body order, taken
// once so that reading and writing need not rebuild the member list.
const std::array<size_t, kFixedBytes / 4>& FixedOffsets() {
    static const auto offsets = [] {
        std::array<size_t, kFixedBytes / 4> a{};
        CTaskItem t;
        size_t k = 0;
        ForEachFixed(t, [&](int32_t& n) {
            a[k++] = static_cast<size_t>(reinterpret_cast<char*>(&n) - reinterpret_cast<char*>(&t));
        });
        return a;
    }();
    return offsets;
}

// The texts of a task as the file holds them. Texts that read the same in
// the code page are viewed in the task itself; only the others get a
// converted copy (the reserve keeps the views into vecConverted valid).
struct CFileTexts {
    std::vector<std::string> vecConverted;
    std::string_view strName;
    std::string_view strTemplate;
    std::vector<std::string_view> vecEntries;
    size_t nRecordLength = 0;

    CFileTexts(const CTaskItem& task, const CTextCodec& codec) {
        auto fileForm = [&](const std::string& str) -> std::string_view {
            if (codec.PassesThrough(str)) return str;
            return vecConverted.emplace_back(codec.FromUtf8(str));
        };
        vecConverted.reserve(2 + static_cast<size_t>(task.m_arrAttachments.GetSize()));
        strName = fileForm(task.m_strTaskName);
        strTemplate = fileForm(task.m_strTemplateFile);
        size_t nEntryBytes = 0;
        vecEntries.reserve(static_cast<size_t>(task.m_arrAttachments.GetSize()));
        for (const auto& str : task.m_arrAttachments) nEntryBytes += 4 + vecEntries.emplace_back(fileForm(str)).size();
        nRecordLength = 248 + strName.size() + strTemplate.size() + nEntryBytes;
    }
};

// Appends the task's record unless its body would be longer than nMax;
// returns the body length either way.
size_t EncodeTask(std::vector<uint8_t>& out, const CTaskItem& task, const CTextCodec& codec, size_t nMax) {
    const CFileTexts texts(task, codec);
    const size_t nLen = texts.nRecordLength;
    if (nLen > nMax) return nLen;
    size_t pos = out.size();
    out.resize(pos + 4 + nLen);
    Put(out, pos, static_cast<int32_t>(nLen));
    size_t nBody = pos;
    const char* pTask = reinterpret_cast<const char*>(&task);
    for (size_t off : FixedOffsets()) {
        int32_t n;
        std::memcpy(&n, pTask + off, 4);
        Put(out, pos, n);
    }
    auto putText = [&](std::string_view str) {
        Put(out, pos, static_cast<int32_t>(str.size()));
        std::memcpy(out.data() + pos, str.data(), str.size());
        pos += str.size();
    };
    putText(texts.strName);
    putText(texts.strTemplate);
    Put(out, pos, static_cast<int32_t>(texts.vecEntries.size()));
    for (auto str : texts.vecEntries) putText(str);
    Put(out, pos, 0);  // reserved
    CTaskListFile::Scramble(out.data() + nBody, nLen);
    return nLen;
}

// Reads a body into task.
CResult<> DecodeBody(const uint8_t* p, size_t nLen, CTaskItem& task, const CTextCodec& codec) {
    size_t pos = 0;
    if (nLen < kFixedBytes + 12) return CProblem("record body too short");
    char* pTask = reinterpret_cast<char*>(&task);
    for (size_t off : FixedOffsets()) {
        const int32_t n = Get(p + pos);
        std::memcpy(pTask + off, &n, 4);
        pos += 4;
    }
    auto getText = [&]() -> CResult<std::string> {
        if (nLen - pos < 4) return CProblem("text length runs past the record");
        int32_t n = Get(p + pos);
        pos += 4;
        if (n < 0 || n > CTaskListFile::kMaxLength)
            return CProblem("text length " + std::to_string(n) + " out of range");
        if (nLen - pos < static_cast<size_t>(n)) return CProblem("text runs past the record");
        std::string str =
            codec.ToUtf8(std::string_view(reinterpret_cast<const char*>(p + pos), static_cast<size_t>(n)));
        pos += static_cast<size_t>(n);
        return str;
    };
    QUILLORY_TRY_VALUE(task.m_strTaskName, getText());
    QUILLORY_TRY_VALUE(task.m_strTemplateFile, getText());
    if (nLen - pos < 4) return CProblem("attachment count runs past the record");
    int32_t nEntries = Get(p + pos);
    pos += 4;
    if (nEntries > 0) task.m_arrAttachments.Reserve(std::min<size_t>(static_cast<size_t>(nEntries), (nLen - pos) / 4));
    for (int32_t i = 0; i < nEntries; ++i) {
        auto rEntry = getText();
        if (!rEntry) return CProblem("attachment " + std::to_string(i + 1) + ": " + rEntry.Problem());
        task.m_arrAttachments.Add(std::move(rEntry).Value());
    }
    return {};
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t r = ::write(fd, p, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// A task name short enough for a message.
std::string Shortened(const std::string& str) {
    constexpr size_t kMax = 60;
    if (str.size() <= kMax) return str;
    size_t n = kMax;
    while (n > 0 && (static_cast<unsigned char>(str[n]) & 0xC0) == 0x80) --n;  // not inside a UTF-8 sequence
    return str.substr(0, n) + "...";
}

CProblem Errno(const std::string& strWhat) { return CProblem(strWhat + ": " + std::strerror(errno)); }

// Each byte is XORed with the key and with the previous output byte, so the
// output is a running XOR; unscrambling XORs with the previous input byte.
// Eight bytes at a time: the key repeats every eight bytes from the body
// start, and a prefix XOR inside a word is three shifts.
template <bool bScramble>
void RunningXor(uint8_t* p, size_t n) {
    uint64_t nKey = 0;
    std::memcpy(&nKey, kKey, 8);
    uint64_t nPrev = 0;
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            uint64_t nOut;
            if constexpr (bScramble) {
                nOut = w ^ nKey;
                nOut ^= nOut << 8;
                nOut ^= nOut << 16;
                nOut ^= nOut << 32;
                nOut ^= nPrev * 0x0101010101010101ULL;
                nPrev = nOut >> 56;
            } else {
                nOut = w ^ nKey ^ ((w << 8) | nPrev);
                nPrev = w >> 56;
            }
            std::memcpy(p + i, &nOut, 8);
        }
    }
    uint8_t prev = static_cast<uint8_t>(nPrev);
    for (; i < n; ++i) {
        const uint8_t c = p[i];
        p[i] = static_cast<uint8_t>(c ^ kKey[i % 8] ^ prev);
        prev = bScramble ? p[i] : c;
    }
}

}  // namespace

void CTaskListFile::Scramble(uint8_t* p, size_t n) { RunningXor<true>(p, n); }

void CTaskListFile::Unscramble(uint8_t* p, size_t n) { RunningXor<false>(p, n); }

std::vector<uint8_t> CTaskListFile::Encode(const CTaskList& list, const CTextCodec& codec) {
    std::vector<uint8_t> out(4);
    size_t pos = 0;
    Put(out, pos, list.GetSize());
    for (const auto& task : list) (void)EncodeTask(out, task, codec, SIZE_MAX);  // an image as given, limits or not
    return out;
}

size_t CTaskListFile::RecordLength(const CTaskItem& task, const CTextCodec& codec) {
    return CFileTexts(task, codec).nRecordLength;
}

CResult<> CTaskListFile::LoadFromBytes(const std::vector<uint8_t>& vecBytes, CTaskList& list, const CTextCodec& codec,
                                       CLoadCounts* pCounts) {
    std::vector<uint8_t> vecCopy(vecBytes);
    return LoadInPlace(vecCopy, list, codec, pCounts);
}

// Unscrambles the bodies in the buffer itself: the caller's copy is ours.
CResult<> CTaskListFile::LoadInPlace(std::vector<uint8_t>& vecBytes, CTaskList& list, const CTextCodec& codec,
                                     CLoadCounts* pCounts) {
    CLoadCounts counts;
    CLoadCounts& res = pCounts ? *pCounts : counts;
    res = CLoadCounts{};
    res.bOpened = true;
    const size_t nSize = vecBytes.size();
    if (nSize < 4) {
        if (nSize > 0) return CProblem("file too short for the task count");
        return {};
    }
    res.nDeclared = Get(vecBytes.data());
    // Never trust the declared count for the allocation: each task needs at
    // least a length and a fixed part.
    if (res.nDeclared > 0)
        list.Reserve(list.GetSize() + std::min<size_t>(res.nDeclared, nSize / (4 + kFixedBytes + 12)));
    size_t pos = 4;
    for (int32_t i = 0; i < res.nDeclared; ++i) {
        auto damaged = [i](const std::string& strWhat) {
            return CProblem("task " + std::to_string(i + 1) + ": " + strWhat);
        };
        if (nSize - pos < 4) return damaged("file ends before the record length");
        int32_t nLen = Get(vecBytes.data() + pos);
        pos += 4;
        if (nLen < 0 || nLen > kMaxLength) return damaged("record length " + std::to_string(nLen) + " out of range");
        if (nSize - pos < static_cast<size_t>(nLen)) return damaged("file ends inside the record");
        uint8_t* pBody = vecBytes.data() + pos;
        pos += static_cast<size_t>(nLen);
        Unscramble(pBody, static_cast<size_t>(nLen));
        CTaskItem task;
        if (auto r = DecodeBody(pBody, static_cast<size_t>(nLen), task, codec); !r) return damaged(r.Problem());
        list.Add(std::move(task));
        ++res.nLoaded;
    }
    return {};
}

CResult<> CTaskListFile::LoadTaskList(const std::string& strPath, CTaskList& list, const CTextCodec& codec,
                                      CLoadCounts* pCounts) {
    if (pCounts) *pCounts = CLoadCounts{};
    int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::vector<uint8_t> vecBytes;
    struct stat st {};
    size_t nHave = 0;
    vecBytes.resize(::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 65536);
    for (;;) {
        if (nHave == vecBytes.size()) vecBytes.resize(vecBytes.size() * 2);  // the file grew meanwhile
        ssize_t r = ::read(fd, vecBytes.data() + nHave, vecBytes.size() - nHave);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;  // a read error ends the data like a short file
        nHave += static_cast<size_t>(r);
    }
    ::close(fd);
    vecBytes.resize(nHave);
    return LoadInPlace(vecBytes, list, codec, pCounts);
}

CResult<> CTaskListFile::SaveTaskList(const std::string& strPath, const CTaskList& list, const CTextCodec& codec) {
    std::string strDir = ".";
    if (auto slash = strPath.rfind('/'); slash != std::string::npos)
        strDir = slash == 0 ? "/" : strPath.substr(0, slash);
    if (list.IsEmpty()) {
        if (::unlink(strPath.c_str()) != 0 && errno != ENOENT) return Errno("cannot remove " + strPath);
        return {};
    }
    // A name of its own beside the file, so that two writers, or anything
    // left lying under a fixed name, cannot stop a save.
    std::string strTmp = strPath + ".tmp-XXXXXX";
    int fd = ::mkostemp(strTmp.data(), O_CLOEXEC);
    if (fd < 0) return Errno("cannot create a temporary file beside " + strPath);
    auto fail = [&](CProblem problem) {
        ::close(fd);
        ::unlink(strTmp.c_str());
        return problem;
    };
    if (::fchmod(fd, 0644) != 0) return fail(Errno("cannot set the mode of " + strTmp));
    // Encoded in slices through one reused buffer, so a large list never
    // needs its whole image in memory.
    constexpr size_t kSlice = 1 << 20;
    std::vector<uint8_t> vecBuf(4);
    vecBuf.reserve(kSlice + 4096);
    size_t pos = 0;
    Put(vecBuf, pos, list.GetSize());
    int nIndex = 0;
    for (const auto& task : list) {
        ++nIndex;
        // The reader stops at a longer record and drops every task after
        // it, so such a record is never written.
        if (size_t nLen = EncodeTask(vecBuf, task, codec, kMaxLength); nLen > static_cast<size_t>(kMaxLength))
            return fail(CProblem("task " + std::to_string(nIndex) + " (" + Shortened(task.m_strTaskName) +
                                 "): record length " + std::to_string(nLen) + " over the limit of " +
                                 std::to_string(kMaxLength) + " bytes"));
        if (vecBuf.size() >= kSlice) {
            if (!WriteAll(fd, vecBuf.data(), vecBuf.size())) return fail(Errno("cannot write " + strTmp));
            vecBuf.clear();
        }
    }
    if (!WriteAll(fd, vecBuf.data(), vecBuf.size()) || ::fsync(fd) != 0) return fail(Errno("cannot write " + strTmp));
    if (::close(fd) != 0) {
        CProblem err = Errno("cannot close " + strTmp);
        ::unlink(strTmp.c_str());
        return err;
    }
    if (::rename(strTmp.c_str(), strPath.c_str()) != 0) {
        CProblem err = Errno("cannot replace " + strPath);
        ::unlink(strTmp.c_str());
        return err;
    }
    int dfd = ::open(strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}
