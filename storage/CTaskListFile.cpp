#include "CTaskListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "CFileOps.h"
#include "CRecordScrambler.h"
#include "TaskTime.h"

namespace {

constexpr size_t kFixedBytes = 232;

void PutAt(uint8_t* p, int32_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &n, 4);
    } else {
        const auto u = static_cast<uint32_t>(n);
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
    }
}

void Append(std::vector<uint8_t>& v, int32_t n) {
    uint8_t bytes[4];
    PutAt(bytes, n);
    v.insert(v.end(), bytes, bytes + 4);
}

int32_t Get(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        int32_t n;
        std::memcpy(&n, p, 4);
        return n;
    } else {
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(p[i]) << (8 * i);
        return static_cast<int32_t>(u);
    }
}

// Hands each fixed member to fn in body order, one call per member, so that
// a reader or writer inlines to straight loads and stores at fixed offsets.
template <class Task, class Fn>
void ForEachFixed(Task& t, Fn&& fn) {
    auto& s = t.m_dtStart;
    auto& n = t.m_dtNextSending;
    auto& l = t.m_dtLastSent;
    auto& e = t.m_dtEnd;
    fn(t.m_bActive);
    fn(s.nSecond);
    fn(s.nMinute);
    fn(s.nHour);
    fn(s.nYear);
    fn(s.nMonth);
    fn(s.nDayOfWeek);
    fn(s.nDay);
    fn(t.m_nRecurrence);
    fn(t.m_bSendOverdue);
    fn(t.m_nEndAfterCount);
    fn(t.m_nOccurrenceCount);
    fn(n.nYear);
    fn(n.nSecond);
    fn(n.nMonth);
    fn(n.nMinute);
    fn(n.nHour);
    fn(n.nDayOfWeek);
    fn(n.nDay);
    fn(l.nYear);
    fn(l.nSecond);
    fn(l.nMonth);
    fn(l.nMinute);
    fn(l.nHour);
    fn(l.nDayOfWeek);
    fn(l.nDay);
    fn(t.m_bReceiveBeforeSending);
    fn(e.nYear);
    fn(t.m_nEndKind);
    fn(e.nMonth);
    fn(e.nDayOfWeek);
    fn(e.nDay);
    fn(t.m_nMinuteInterval);
    fn(t.m_nDailyMode);
    fn(t.m_nDailyInterval);
    fn(t.m_nDailyDayKind);
    fn(t.m_nWeeklyMode);
    fn(t.m_nWeeklyInterval);
    fn(t.m_nWeeklyWeekOfMonth);
    fn(t.m_bWeekDays[0]);
    fn(t.m_bWeekDays[1]);
    fn(t.m_bWeekDays[2]);
    fn(t.m_bWeekDays[3]);
    fn(t.m_bWeekDays[4]);
    fn(t.m_bWeekDays[5]);
    fn(t.m_bWeekDays[6]);
    fn(t.m_nMonthlyMode);
    fn(t.m_nMonthlyDay);
    fn(t.m_nMonthlyInterval);
    fn(t.m_nMonthlyOrdinal);
    fn(t.m_nMonthlyDayKind);
    fn(t.m_nMonthlyInterval2);
    fn(t.m_nYearlyMode);
    fn(t.m_nYearlyMonth);
    fn(t.m_nYearlyDay);
    fn(t.m_nYearlyOrdinal);
    fn(t.m_nYearlyDayKind);
    fn(t.m_nYearlyMonth2);
}

// The file form of a text: the text itself when the code page keeps it as
// it is, else its conversion.
std::string_view FileForm(const std::string& str, const CTextCodec& codec, std::string& strConverted) {
    if (codec.PassesThrough(str)) return str;
    strConverted = codec.FromUtf8(str);
    return strConverted;
}

void AppendText(std::vector<uint8_t>& out, const std::string& str, const CTextCodec& codec, std::string& strConverted) {
    const std::string_view strFile = FileForm(str, codec, strConverted);
    Append(out, static_cast<int32_t>(strFile.size()));
    // As bytes: copying char into uint8_t element by element would not be a memcpy.
    const auto* pBytes = reinterpret_cast<const uint8_t*>(strFile.data());
    out.insert(out.end(), pBytes, pBytes + strFile.size());
}

// Appends the task's record (length and scrambled body) and returns the
// body length. The length is filled in once the texts are written, so each
// text is converted at most once and plain ones are copied straight in.
size_t AppendRecord(std::vector<uint8_t>& out, const CTaskItem& task, const CTextCodec& codec,
                    std::string& strConverted) {
    const size_t nRecord = out.size();
    out.resize(nRecord + 4 + kFixedBytes);
    uint8_t* pFixed = out.data() + nRecord + 4;
    ForEachFixed(task, [&pFixed](int32_t n) {
        PutAt(pFixed, n);
        pFixed += 4;
    });
    AppendText(out, task.m_strTaskName, codec, strConverted);
    AppendText(out, task.m_strTemplateFile, codec, strConverted);
    Append(out, task.m_arrAttachments.GetSize());
    for (const auto& str : task.m_arrAttachments) AppendText(out, str, codec, strConverted);
    Append(out, 0);  // reserved
    const size_t nLen = out.size() - nRecord - 4;
    PutAt(out.data() + nRecord, static_cast<int32_t>(nLen));
    CRecordScrambler::Scramble(out.data() + nRecord + 4, out.data() + nRecord + 4, nLen);
    return nLen;
}

// Reads the plain body of one record; the problem names what is damaged.
class CBodyReader {
public:
    CBodyReader(const uint8_t* pBody, size_t nLen) : m_pBody(pBody), m_nLen(nLen) {}

    CResult<> Read(CTaskItem& task, const CTextCodec& codec) {
        if (m_nLen < kFixedBytes + 12) return CProblem("record body too short");
        const uint8_t* p = m_pBody;
        ForEachFixed(task, [&p](int32_t& n) {
            n = Get(p);
            p += 4;
        });
        m_nPos = kFixedBytes;
        QUILLORY_TRY(Text(task.m_strTaskName, codec));
        QUILLORY_TRY(Text(task.m_strTemplateFile, codec));
        if (m_nLen - m_nPos < 4) return CProblem("attachment count runs past the record");
        const int32_t nEntries = Get(m_pBody + m_nPos);
        m_nPos += 4;
        if (nEntries <= 0) return {};
        // Never by the declared count alone: each entry needs its length.
        task.m_arrAttachments.Reserve(std::min<size_t>(static_cast<size_t>(nEntries), (m_nLen - m_nPos) / 4));
        std::string str;
        for (int32_t i = 0; i < nEntries; ++i) {
            if (auto rEntry = Text(str, codec); !rEntry)
                return CProblem("attachment " + std::to_string(i + 1) + ": " + rEntry.Problem());
            task.m_arrAttachments.Add(std::move(str));
        }
        return {};
    }

private:
    CResult<> Text(std::string& str, const CTextCodec& codec) {
        if (m_nLen - m_nPos < 4) return CProblem("text length runs past the record");
        const int32_t n = Get(m_pBody + m_nPos);
        m_nPos += 4;
        if (n < 0 || n > CTaskListFile::kMaxLength)
            return CProblem("text length " + std::to_string(n) + " out of range");
        if (m_nLen - m_nPos < static_cast<size_t>(n)) return CProblem("text runs past the record");
        const std::string_view svBytes(reinterpret_cast<const char*>(m_pBody + m_nPos), static_cast<size_t>(n));
        codec.ToUtf8(svBytes, str);
        // Bytes the code page cannot read became U+FFFD; only then can a text fail to come back.
        if (!m_bNotInCodePage && str.find("\xEF\xBF\xBD") != std::string::npos)
            m_bNotInCodePage = codec.FromUtf8(str) != svBytes;
        m_nPos += static_cast<size_t>(n);
        return {};
    }

public:
    bool NotInCodePage() const { return m_bNotInCodePage; }

private:
    const uint8_t* m_pBody;
    size_t m_nLen;
    size_t m_nPos = 0;
    bool m_bNotInCodePage = false;
};

// A file image already in memory.
class CMemorySource {
public:
    CMemorySource(const uint8_t* p, size_t n) : m_p(p), m_nLeft(n) {}
    size_t SizeHint() const { return m_nLeft; }
    // The next n bytes, or nullptr when fewer are left.
    const uint8_t* Take(size_t n) {
        if (m_nLeft < n) return nullptr;
        const uint8_t* p = m_p;
        m_p += n;
        m_nLeft -= n;
        return p;
    }
    bool AtEnd() const { return m_nLeft == 0; }

private:
    const uint8_t* m_p;
    size_t m_nLeft;
};

// The file read through one small buffer that is used again and again: a
// buffer the size of the file would cost a fresh page for every 4 KiB read,
// which is dearer than the reading itself.
class CFileSource {
public:
    explicit CFileSource(int fd) : m_fd(fd), m_vecBuf(kChunk) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size > 0) m_nSizeHint = static_cast<size_t>(st.st_size);
    }
    size_t SizeHint() const { return m_nSizeHint; }
    const uint8_t* Take(size_t n) {
        if (m_nEnd - m_nPos < n && !Fill(n)) return nullptr;
        const uint8_t* p = m_vecBuf.data() + m_nPos;
        m_nPos += n;
        return p;
    }
    bool AtEnd() {
        (void)Fill(1);  // only whether any byte is left matters
        return m_nEnd == m_nPos;
    }
    int ReadErrno() const { return m_nReadErrno; }  // 0: every read succeeded

private:
    static constexpr size_t kChunk = 256 * 1024;

    // Makes n unread bytes contiguous in the buffer; false when the file
    // ends first. Reads until the end, so a file that grew since it was
    // opened is read whole; a read error ends the data and is kept in
    // ReadErrno, so that it is not taken for a short file.
    bool Fill(size_t n) {
        if (m_nEnd - m_nPos >= n) return true;
        std::memmove(m_vecBuf.data(), m_vecBuf.data() + m_nPos, m_nEnd - m_nPos);
        m_nEnd -= m_nPos;
        m_nPos = 0;
        if (m_vecBuf.size() < n) m_vecBuf.resize(std::max(n, 2 * m_vecBuf.size()));
        while (!m_bEnded && m_nEnd < n) {
            const ssize_t r = ::read(m_fd, m_vecBuf.data() + m_nEnd, m_vecBuf.size() - m_nEnd);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                if (r < 0) m_nReadErrno = errno;
                m_bEnded = true;
                break;
            }
            m_nEnd += static_cast<size_t>(r);
        }
        return m_nEnd >= n;
    }

    int m_fd;
    std::vector<uint8_t> m_vecBuf;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    size_t m_nSizeHint = 0;
    bool m_bEnded = false;
    int m_nReadErrno = 0;
};

template <class Source>
CResult<> LoadRecords(Source& source, CTaskList& list, const CTextCodec& codec, CTaskListFile::CLoadCounts& res) {
    res = CTaskListFile::CLoadCounts{};
    res.bOpened = true;
    const uint8_t* pCount = source.Take(4);
    if (!pCount) {
        if (!source.AtEnd()) return CProblem("file too short for the task count");
        return {};
    }
    res.nDeclared = Get(pCount);
    // Read as no task, a save would replace whatever the file holds after it.
    if (res.nDeclared < 0) return CProblem("task count " + std::to_string(res.nDeclared) + " out of range");
    // Never trust the declared count for the allocation: each task needs at
    // least a length and a fixed part.
    if (res.nDeclared > 0)
        list.Reserve(list.GetSize() + std::min<size_t>(res.nDeclared, source.SizeHint() / (4 + kFixedBytes + 12)));
    // Bodies are unscrambled into one buffer kept for the whole load.
    std::vector<uint8_t> vecBody;
    for (int32_t i = 0; i < res.nDeclared; ++i) {
        auto damaged = [i](const std::string& strWhat) {
            return CProblem("task " + std::to_string(i + 1) + ": " + strWhat);
        };
        const uint8_t* pLen = source.Take(4);
        if (!pLen) return damaged("file ends before the record length");
        const int32_t nLen = Get(pLen);
        if (nLen < 0 || nLen > CTaskListFile::kMaxLength)
            return damaged("record length " + std::to_string(nLen) + " out of range");
        const uint8_t* pScrambled = source.Take(static_cast<size_t>(nLen));
        if (!pScrambled) return damaged("file ends inside the record");
        if (vecBody.size() < static_cast<size_t>(nLen)) vecBody.resize(static_cast<size_t>(nLen));
        CRecordScrambler::Unscramble(pScrambled, vecBody.data(), static_cast<size_t>(nLen));
        CTaskItem task;
        CBodyReader reader(vecBody.data(), static_cast<size_t>(nLen));
        if (auto r = reader.Read(task, codec); !r) return damaged(r.Problem());
        if (reader.NotInCodePage() && res.strNotInCodePage.empty())
            res.strNotInCodePage = "task " + std::to_string(i + 1);
        list.Add(std::move(task));
        ++res.nLoaded;
    }
    // Tasks past the declared count would go with the next save unseen.
    if (!source.AtEnd()) return CProblem("more after the last of the " + std::to_string(res.nDeclared) + " tasks");
    return {};
}

bool WriteAll(int fd, const std::vector<uint8_t>& vec) {
    return CFileOps::WriteAll(fd, std::string_view(reinterpret_cast<const char*>(vec.data()), vec.size()));
}

// A task name short enough for a message.
std::string Shortened(const std::string& str) {
    constexpr size_t kMax = 60;
    if (str.size() <= kMax) return str;
    size_t n = kMax;
    while (n > 0 && (static_cast<unsigned char>(str[n]) & 0xC0) == 0x80) --n;  // not inside a UTF-8 sequence
    return str.substr(0, n) + "...";
}

}  // namespace

CResult<> CTaskListFile::CheckCodePage(const CLoadCounts& counts, const CTextCodec& codec) {
    if (counts.strNotInCodePage.empty()) return {};
    return CProblem(counts.strNotInCodePage + ": its texts are not in the code page " + codec.CodePage() +
                    ", and a save would write its name or paths back changed; give the code page the file was "
                    "written in (QUILLORY_CODEPAGE, or the tool's --codepage)");
}

void CTaskListFile::Scramble(uint8_t* p, size_t n) { CRecordScrambler::Scramble(p, p, n); }

void CTaskListFile::Unscramble(uint8_t* p, size_t n) { CRecordScrambler::Unscramble(p, p, n); }

std::vector<uint8_t> CTaskListFile::Encode(const CTaskList& list, const CTextCodec& codec) {
    std::vector<uint8_t> out;
    Append(out, list.GetSize());
    std::string strConverted;
    for (const auto& task : list)
        (void)AppendRecord(out, task, codec, strConverted);  // an image as given, limits or not
    return out;
}

size_t CTaskListFile::RecordLength(const CTaskItem& task, const CTextCodec& codec) {
    std::string strConverted;
    size_t nLen = 248 + FileForm(task.m_strTaskName, codec, strConverted).size() +
                  FileForm(task.m_strTemplateFile, codec, strConverted).size();
    for (const auto& str : task.m_arrAttachments) nLen += 4 + FileForm(str, codec, strConverted).size();
    return nLen;
}

CResult<> CTaskListFile::LoadFromBytes(const std::vector<uint8_t>& vecBytes, CTaskList& list, const CTextCodec& codec,
                                       CLoadCounts* pCounts) {
    CLoadCounts counts;
    CMemorySource source(vecBytes.data(), vecBytes.size());
    return LoadRecords(source, list, codec, pCounts ? *pCounts : counts);
}

CResult<> CTaskListFile::LoadTaskList(const std::string& strPath, CTaskList& list, const CTextCodec& codec,
                                      CLoadCounts* pCounts) {
    CLoadCounts counts;
    CLoadCounts& res = pCounts ? *pCounts : counts;
    res = CLoadCounts{};
    // Only a file that is not there is an empty list; one that is there but
    // cannot be read (no permission, a FIFO, an I/O error) is a problem, never
    // an empty list a save would then write over.
    auto rFd = CFileOps::OpenRegular(strPath);
    if (!rFd) {
        if (CFileOps::IsAbsent(strPath)) return {};
        res.bUnreadable = true;
        return rFd.TakeProblem();
    }
    CFileSource source(rFd->Get());
    auto rLoaded = LoadRecords(source, list, codec, res);
    if (const int nReadErrno = source.ReadErrno(); nReadErrno != 0) {
        // What came before the error stays in the list, but the file is not
        // damaged: it cannot be read now, and a save would lose the rest.
        res.bUnreadable = true;
        errno = nReadErrno;
        return ErrnoProblem("cannot read " + strPath);
    }
    return rLoaded;
}

CResult<> CTaskListFile::SaveTaskList(const std::string& strPath, const CTaskList& list, const CTextCodec& codec) {
    if (list.IsEmpty()) {
        if (::unlink(strPath.c_str()) != 0 && errno != ENOENT) return ErrnoProblem("cannot remove " + strPath);
        return {};
    }
    // Private when new; an existing file's mode (a chmod 640) is kept.
    return CFileOps::ReplaceWith(strPath, [&](int fd, const std::string& strTmp) -> CResult<> {
        // Encoded in slices through one reused buffer: a buffer the size of the
        // file would cost a fresh page for every 4 KiB written.
        constexpr size_t kSlice = 256 * 1024;
        std::vector<uint8_t> vecBuf;
        vecBuf.reserve(kSlice + 4096);
        Append(vecBuf, list.GetSize());
        std::string strConverted;
        int nIndex = 0;
        for (const auto& task : list) {
            ++nIndex;
            // The reader stops at a longer record and drops every task after
            // it, so such a record is never written.
            if (size_t nLen = AppendRecord(vecBuf, task, codec, strConverted); nLen > static_cast<size_t>(kMaxLength))
                return CProblem("task " + std::to_string(nIndex) + " (" + Shortened(task.m_strTaskName) +
                                "): record length " + std::to_string(nLen) + " over the limit of " +
                                std::to_string(kMaxLength) + " bytes");
            if (vecBuf.size() >= kSlice) {
                if (!WriteAll(fd, vecBuf)) return ErrnoProblem("cannot write " + strTmp);
                vecBuf.clear();
            }
        }
        if (!WriteAll(fd, vecBuf)) return ErrnoProblem("cannot write " + strTmp);
        return {};
    });
}
