// The per-task history and its file: bounded, matched by message id,
// written whole and read back by a fresh process's worth of objects, and a
// damaged file kept rather than overwritten.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "CTaskHistoryFile.h"
#include "CTempDir.h"
#include "IClock.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;
using EKind = CTaskOutcome::EKind;

namespace {

CTaskOutcome Outcome(EKind kind, const std::string& strOccurrence, const std::string& strId = "",
                     const std::string& strText = "", int64_t tWhen = 0) {
    CTaskOutcome o;
    o.kind = kind;
    o.strOccurrence = strOccurrence;
    o.strMessageId = strId;
    o.strText = strText;
    o.tWhen = tWhen;
    return o;
}

CTaskList Tasks(std::initializer_list<const char*> templates) {
    CTaskList list;
    for (const char* psz : templates) {
        CTaskItem t;
        t.m_strTaskName = std::string("task of ") + psz;
        t.m_strTemplateFile = std::string("/data/") + psz;
        list.Add(t);
    }
    return list;
}

std::vector<std::string> Occurrences(const CTaskHistory& history, const std::string& strKey) {
    std::vector<std::string> vec;
    for (const auto& o : history.Of(strKey)) vec.push_back(o.strOccurrence);
    return vec;
}

std::vector<std::string> FilesIn(const std::string& strDir) {
    std::vector<std::string> vec;
    for (const auto& e : fs::directory_iterator(strDir)) vec.push_back(e.path().filename());
    std::sort(vec.begin(), vec.end());
    return vec;
}

class TaskHistoryTest : public ::testing::Test {
protected:
    std::string Path() const { return m_dir / "history.json"; }
    CTempDir m_dir;
    CFixedClock m_clock{1796634000};
};

TEST_F(TaskHistoryTest, KeepsTheLastFiveOccurrencesOfEachTaskNewestLast) {
    CTaskHistory history;
    for (int i = 1; i <= 7; ++i)
        history.Record("a.oft", Outcome(EKind::Sent, "2026-12-0" + std::to_string(i) + " 09:00"));
    history.Record("b.oft", Outcome(EKind::SkippedOverdue, "2026-12-01 10:00"));
    EXPECT_EQ(Occurrences(history, "a.oft"),
              (std::vector<std::string>{"2026-12-03 09:00", "2026-12-04 09:00", "2026-12-05 09:00", "2026-12-06 09:00",
                                        "2026-12-07 09:00"}));
    EXPECT_EQ(history.Last("b.oft")->kind, EKind::SkippedOverdue);
    EXPECT_EQ(history.Last("c.oft"), nullptr);
}

TEST_F(TaskHistoryTest, ALaterResultUpdatesTheOccurrenceItsMessageWasSentFor) {
    CTaskHistory history;
    history.Record("a.oft", Outcome(EKind::HandedOver, "2026-12-07 09:00", "<1@x>"));
    history.Record("b.oft", Outcome(EKind::HandedOver, "2026-12-07 09:00", "<2@x>"));
    history.Record("b.oft", Outcome(EKind::HandedOver, "2026-12-08 09:00", "<3@x>"));
    EXPECT_TRUE(history.Update("<2@x>", EKind::Retrying, "421 busy", 5));
    EXPECT_TRUE(history.Update("<2@x>", EKind::Failed, "550 no such user", 6));
    EXPECT_FALSE(history.Update("<9@x>", EKind::Sent, "", 7));
    EXPECT_FALSE(history.Update("", EKind::Sent, "", 7)) << "an empty id is no message's";
    EXPECT_EQ(history.Of("b.oft").front(), Outcome(EKind::Failed, "2026-12-07 09:00", "<2@x>", "550 no such user", 6));
    EXPECT_EQ(history.Of("b.oft").back().kind, EKind::HandedOver);
    EXPECT_EQ(history.Last("a.oft")->kind, EKind::HandedOver);
}

TEST_F(TaskHistoryTest, TheKeyIsTheTemplatesFileName) {
    EXPECT_EQ(CTaskHistory::KeyOf("/home/u/.local/share/Quillory/Report-20261207.oft"), "Report-20261207.oft");
    EXPECT_EQ(CTaskHistory::KeyOf("Report.oft"), "Report.oft");
    EXPECT_EQ(CTaskHistory::KeyOf(""), "");
}

TEST_F(TaskHistoryTest, SavedHistorySurvivesARestartWithoutTheTasksThatWentAway) {
    {
        CTaskHistoryFile file(Path(), m_clock);
        ASSERT_TRUE(file.Load().Ok()) << "no file yet is an empty history";
        file.History().Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00", "<1@x>", "to 1 recipient(s)", 11));
        file.History().Record("gone.oft", Outcome(EKind::Failed, "2026-12-07 09:00", "<2@x>", "550 \"no\"", 12));
        file.History().Record("b.oft", Outcome(EKind::TemplateMissing, "2026-12-07 10:00", "", "/data/b.oft", 13));
        ASSERT_TRUE(file.Save(Tasks({"a.oft", "b.oft"})).Ok());
    }
    EXPECT_EQ(FilesIn(m_dir.Path()), std::vector<std::string>{"history.json"}) << "no temporary file left";
    CTaskHistoryFile again(Path(), m_clock);
    ASSERT_TRUE(again.Load().Ok());
    CTaskHistory expected;
    expected.Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00", "<1@x>", "to 1 recipient(s)", 11));
    expected.Record("b.oft", Outcome(EKind::TemplateMissing, "2026-12-07 10:00", "", "/data/b.oft", 13));
    EXPECT_EQ(again.History(), expected);
}

TEST_F(TaskHistoryTest, EveryKindIsStoredByName) {
    CTaskHistory history;
    for (int i = 0; i <= CTaskOutcome::kLastKind; ++i) {
        history.Record("k" + std::to_string(i), Outcome(static_cast<EKind>(i), "2026-12-07 09:00"));
        CTaskOutcome sentNow = Outcome(static_cast<EKind>(i), "2026-12-07 21:30");
        sentNow.bSendNow = true;  // kept apart from the occurrences through a restart
        sentNow.strNote = "nothing matched /srv/" + std::to_string(i) + "/*.csv";
        history.Record("k" + std::to_string(i), sentNow);
    }
    const auto rBack = CTaskHistoryFile::FromJsonText(CTaskHistoryFile::ToJsonText(history));
    ASSERT_TRUE(rBack.Ok()) << rBack.Problem();
    EXPECT_EQ(*rBack, history);
    // The names files already hold, in the enum's order.
    const char* const kNames[] = {"handed-over",      "sent",      "sent-with-refusals", "retrying",
                                  "failed",           "in-doubt",  "skipped-overdue",    "template-missing",
                                  "template-damaged", "not-stored"};
    ASSERT_EQ(std::size(kNames), static_cast<size_t>(CTaskOutcome::kLastKind + 1));
    for (int i = 0; i <= CTaskOutcome::kLastKind; ++i)
        EXPECT_NE(CTaskHistoryFile::ToJsonText(history).find(std::string("\"kind\": \"") + kNames[i] + "\""),
                  std::string::npos)
            << kNames[i];
    EXPECT_FALSE(CTaskOutcome::KindNamed("exploded"));
}

TEST_F(TaskHistoryTest, ADamagedFileIsKeptBesideTheNewOneNotOverwritten) {
    for (const char* pszDamaged :
         {"{\"version\": 1, \"tasks\": {\"a.oft\": [{\"kind\": \"exploded\"}]}}",
          "{\"version\": 1, \"tasks\": {\"a.oft\": [{\"kind\": \"sent\", \"when\": \"x\"}]}}", "{\"version\": 2}",
          "{\"version\": 1, \"tasks\": {\"a.o", "",
          // Wrongly typed members once threw out of the reader and stopped the add-in.
          "{\"version\":\"1\",\"tasks\":{}}", "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":5}]}}",
          "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":\"sent\",\"text\":[1]}]}}", "{\"version\":1.5,\"tasks\":{}}",
          "{\"version\":1,\"tasks\":[]}", "null", "[1]",
          "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":\"sent\",\"when\":1e400}]}}"}) {
        SCOPED_TRACE(pszDamaged);
        fs::remove_all(m_dir.Path());
        fs::create_directories(m_dir.Path());
        CTempDir::WriteFile(Path(), pszDamaged);
        CTaskHistoryFile file(Path(), m_clock);
        const auto rLoaded = file.Load();
        ASSERT_FALSE(rLoaded.Ok());
        EXPECT_EQ(rLoaded.Problem().rfind(Path() + ": ", 0), 0u) << rLoaded.Problem();
        EXPECT_TRUE(file.History().All().empty());
        file.History().Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00"));
        ASSERT_TRUE(file.Save(Tasks({"a.oft"})).Ok());
        const auto vecFiles = FilesIn(m_dir.Path());
        ASSERT_EQ(vecFiles.size(), 2u) << ::testing::PrintToString(vecFiles);
        EXPECT_EQ(vecFiles[1].rfind("history.json.damaged-", 0), 0u);
        EXPECT_EQ(CTempDir::ReadFile(m_dir / vecFiles[1]), pszDamaged);
        CTaskHistoryFile again(Path(), m_clock);
        EXPECT_TRUE(again.Load().Ok());
        EXPECT_EQ(again.History().Last("a.oft")->kind, EKind::Sent);
        // Kept once: the next save just writes.
        ASSERT_TRUE(file.Save(Tasks({"a.oft"})).Ok());
        EXPECT_EQ(FilesIn(m_dir.Path()).size(), 2u);
    }
}

TEST_F(TaskHistoryTest, AFileThatCannotBeReadOrKeptIsNotReplaced) {
    // A folder, and a FIFO, which once blocked the add-in in open() for good.
    for (const bool bFifo : {false, true}) {
        SCOPED_TRACE(bFifo ? "FIFO" : "folder");
        fs::remove_all(Path());
        if (bFifo) {
            ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
        } else {
            fs::create_directories(Path());
            CTempDir::WriteFile(Path() + "/inside", "x");
        }
        CTaskHistoryFile file(Path(), m_clock);
        const auto rLoaded = file.Load();
        ASSERT_FALSE(rLoaded.Ok());
        EXPECT_NE(rLoaded.Problem().find(bFifo ? "a FIFO" : "a folder"), std::string::npos) << rLoaded.Problem();
        file.History().Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00"));
        EXPECT_FALSE(file.Save(Tasks({"a.oft"})).Ok());
        EXPECT_EQ(fs::status(Path()).type(), bFifo ? fs::file_type::fifo : fs::file_type::directory);
    }
}

TEST_F(TaskHistoryTest, ANewFileIsPrivateAndAnExistingModeSurvivesTheSave) {
    const mode_t old = ::umask(0);  // the loosest umask: the mode must not come from it
    for (const int nMode : {-1, 0600, 0640, 0644}) {
        SCOPED_TRACE(nMode);
        fs::remove(Path());
        if (nMode >= 0) {
            CTempDir::WriteFile(Path(), "{\"version\": 1, \"tasks\": {}}");
            ASSERT_EQ(::chmod(Path().c_str(), static_cast<mode_t>(nMode)), 0);
        }
        CTaskHistoryFile file(Path(), m_clock);
        ASSERT_TRUE(file.Load().Ok());
        file.History().Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00"));
        ASSERT_TRUE(file.Save(Tasks({"a.oft"})).Ok());
        struct stat st {};
        ASSERT_EQ(::stat(Path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(nMode >= 0 ? nMode : 0600));
    }
    ::umask(old);
}

// The column's words, from the rules: the time of the result in local time.
TEST_F(TaskHistoryTest, ShortAndFullTextsInEveryZone) {
    for (const char* pszZone : {"UTC", "America/New_York", "Asia/Kolkata", "Australia/Lord_Howe"}) {
        SCOPED_TRACE(pszZone);
        const CZoneGuard zone(pszZone);
        std::tm tmLocal{};
        tmLocal.tm_year = 2026 - 1900;
        tmLocal.tm_mon = 11;
        tmLocal.tm_mday = 7;
        tmLocal.tm_hour = 9;
        tmLocal.tm_min = 5;
        tmLocal.tm_isdst = -1;
        const int64_t t = std::mktime(&tmLocal);
        struct CRow {
            EKind kind;
            std::string strText, strShort;
            std::string strSentNow;  // the same for an extra message sent now
            std::string strJournal;  // the result the journal line ends with
            std::string strNote;     // what the message went without
        };
        const CRow rows[] = {
            {EKind::HandedOver, "", "Sending since 09:05", "Sent now, sending since 09:05", "sending", ""},
            {EKind::Sent, "to 1 recipient(s)", "Sent 09:05", "Sent now 09:05", "sent", ""},
            {EKind::Sent, "to 1 recipient(s)", "Sent 09:05 without attachments: nothing matched /srv/r/*.csv",
             "Sent now 09:05 without attachments: nothing matched /srv/r/*.csv",
             "sent without attachments: nothing matched /srv/r/*.csv", "nothing matched /srv/r/*.csv"},
            {EKind::SentWithRefusals, "<x@y>: 550 no", "Sent 09:05, some refused", "Sent now, sent 09:05, some refused",
             "sent, some recipients refused: <x@y>: 550 no", ""},
            {EKind::Retrying, "421 try later", "Retrying: 421 try later", "Sent now, retrying: 421 try later",
             "retrying: 421 try later", ""},
            {EKind::Failed, "550 5.1.1 no such user", "Failed: 550 5.1.1 no such user",
             "Sent now, failed: 550 5.1.1 no such user", "failed: 550 5.1.1 no such user", ""},
            {EKind::InDoubt, "cut off", "In doubt: cut off", "Sent now, in doubt: cut off", "in doubt: cut off", ""},
            {EKind::SkippedOverdue, "", "Skipped (overdue)", "Sent now, skipped (overdue)", "skipped (overdue)", ""},
            {EKind::TemplateMissing, "/d/a.oft", "Template missing", "Sent now, template missing",
             "template missing: /d/a.oft", ""},
            {EKind::TemplateDamaged, "/d/a.oft", "Template damaged", "Sent now, template damaged",
             "template damaged: /d/a.oft", ""},
            {EKind::NotStored, "No space left on device", "Not queued yet: No space left on device",
             "Sent now, not queued yet: No space left on device", "not queued yet: No space left on device", ""},
        };
        for (const auto& row : rows) {
            CTaskOutcome o = Outcome(row.kind, "2026-12-07 09:00", "", row.strText, t);
            o.strNote = row.strNote;
            EXPECT_EQ(o.ShortText(), row.strShort);
            EXPECT_EQ(o.JournalLine("Weekly\nreport", "Figures"),
                      "task \"Weekly\nreport\", occurrence 2026-12-07 09:00, subject \"Figures\": " + row.strJournal);
            EXPECT_EQ(o.JournalLine("R", std::nullopt), "task \"R\", occurrence 2026-12-07 09:00: " + row.strJournal);
            EXPECT_EQ(o.ResultText(), row.strJournal);
            std::string strFull = o.FullText();
            EXPECT_EQ(strFull.rfind("The occurrence of 2026-12-07 09:00 ", 0), 0u) << strFull;
            EXPECT_NE(strFull.find(row.strText), std::string::npos) << strFull;
            EXPECT_NE(strFull.find(row.strNote), std::string::npos) << strFull;
            // An extra message is told apart from every occurrence, in all texts.
            o.bSendNow = true;
            EXPECT_EQ(o.ShortText(), row.strSentNow);
            EXPECT_EQ(o.ResultText(), "sent now, " + row.strJournal);
            EXPECT_EQ(o.JournalLine("R", "S"),
                      "task \"R\", sent now at 2026-12-07 09:00, subject \"S\": " + row.strJournal);
            strFull = o.FullText();
            EXPECT_EQ(strFull.rfind("The extra message sent now (2026-12-07 09:00, outside the schedule) ", 0), 0u)
                << strFull;
            EXPECT_NE(strFull.find(row.strText), std::string::npos) << strFull;
        }
        EXPECT_NE(Outcome(EKind::Failed, "2026-12-07 09:00", "", "550", t).FullText().find("2026-12-07 09:05"),
                  std::string::npos);
        // What the user can do about one in doubt.
        EXPECT_NE(
            Outcome(EKind::InDoubt, "2026-12-07 09:00", "", "cut off", t).FullText().find("open it in the Outbox"),
            std::string::npos);
    }
}

}  // namespace
