// What is kept per task beside the list: the history (bounded, matched by
// message id), an identity that follows the task to another template and
// through every writer's edits, settings that a copy starts with; written
// whole and read back by a fresh process's worth of objects, a damaged file
// kept rather than overwritten, the earlier results-only file carried over.
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "CSettingsAhead.h"
#include "CTaskHistoryFile.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "IClock.h"
#include "ResultValue.h"
#include "TaskTime.h"
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

// A weekly task from Monday 2027-01-04 09:00, its template written.
CTaskItem Weekly(const std::string& strName, const std::string& strTemplate) {
    CTaskItem t;
    t.m_bActive = 1;
    t.m_strTaskName = strName;
    t.m_strTemplateFile = strTemplate;
    CTempDir::WriteFile(strTemplate, "Subject: " + strName + "\n\nbody\n");
    t.m_nRecurrence = 3;
    t.m_nWeeklyInterval = 1;
    t.m_nEndKind = 0;
    t.m_dtStart = {2027, 1, 4, 2, 9, 0, 0};
    return t;
}

class TaskHistoryTest : public ::testing::Test {
protected:
    std::string Path() const { return m_dir / "tasks.json"; }
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

TEST_F(TaskHistoryTest, ADamagedFileIsKeptBesideTheNewOneNotOverwritten) {
    for (const char* pszDamaged :
         {"{\"version\": 1, \"tasks\": {\"a.oft\": [{\"kind\": \"exploded\"}]}}",
          "{\"version\": 1, \"tasks\": {\"a.oft\": [{\"kind\": \"sent\", \"when\": \"x\"}]}}", "{\"version\": 2}",
          "{\"version\": 1, \"tasks\": {\"a.o", "",
          // Wrongly typed members once threw out of the reader and stopped the add-in.
          "{\"version\":\"1\",\"tasks\":{}}", "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":5}]}}",
          "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":\"sent\",\"text\":[1]}]}}", "{\"version\":1.5,\"tasks\":{}}",
          "{\"version\":1,\"tasks\":[]}", "null", "[1]",
          "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":\"sent\",\"when\":1e400}]}}",
          // One past the largest time: read as one, it wrapped to a negative time.
          "{\"version\":1,\"tasks\":{\"a.oft\":[{\"kind\":\"sent\",\"when\":9223372036854775808}]}}",
          // The per-task form: an identity is 16 hexadecimal digits, settings an object.
          "{\"version\":2,\"tasks\":{\"a.oft\":[]}}", "{\"version\":2,\"tasks\":{\"a.oft\":{\"id\":\"0123\"}}}",
          "{\"version\":2,\"tasks\":{\"a.oft\":{\"id\":7}}}", "{\"version\":2,\"tasks\":{\"a.oft\":{\"settings\":[]}}}",
          "{\"version\":2,\"tasks\":{\"a.oft\":{\"history\":{}}}}",
          // Settings ahead of the list come with the record they wait for.
          "{\"version\":2,\"tasks\":{\"a.oft\":{\"ahead\":{\"settings\":{}}}}}"}) {
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
        EXPECT_EQ(vecFiles[1].rfind("tasks.json.damaged-", 0), 0u);
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
        EXPECT_TRUE(Contains(rLoaded.Problem(), bFifo ? "a FIFO" : "a folder"));
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
            CTempDir::WriteFile(Path(), "{\"version\": 2, \"tasks\": {}}");
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

// The one table of the add-in's words for each kind: its name in the file,
// the column's, the journal's; the time of the result in local time.
TEST_F(TaskHistoryTest, ShortAndFullTextsInEveryZone) {
    for (const char* pszZone : {"UTC", "America/New_York", "Asia/Kolkata", "Australia/Lord_Howe"}) {
        SCOPED_TRACE(pszZone);
        const CZoneGuard zone(pszZone);
        std::tm tmLocal{.tm_min = 5, .tm_hour = 9, .tm_mday = 7, .tm_mon = 11, .tm_year = 2026 - 1900, .tm_isdst = -1};
        const int64_t t = std::mktime(&tmLocal);
        struct CRow {
            EKind kind;
            const char* pszStored;  // the kind's name in the file, as files already hold it
            std::string strText, strShort;
            std::string strSentNow;  // the same for an extra message sent now
            std::string strJournal;  // the result the journal line ends with
            std::string strNote;     // what the message went without
        };
        const CRow rows[] = {
            {EKind::HandedOver, "handed-over", "", "Sending since 09:05", "Sent now, sending since 09:05", "sending",
             ""},
            {EKind::Sent, "sent", "to 1 recipient(s)", "Sent 09:05", "Sent now 09:05", "sent", ""},
            {EKind::Sent, "sent", "to 1 recipient(s)", "Sent 09:05 without attachments: nothing matched /srv/r/*.csv",
             "Sent now 09:05 without attachments: nothing matched /srv/r/*.csv",
             "sent without attachments: nothing matched /srv/r/*.csv", "nothing matched /srv/r/*.csv"},
            {EKind::SentWithRefusals, "sent-with-refusals", "<x@y>: 550 no", "Sent 09:05, some refused",
             "Sent now, sent 09:05, some refused", "sent, some recipients refused: <x@y>: 550 no", ""},
            {EKind::Retrying, "retrying", "421 try later", "Retrying: 421 try later",
             "Sent now, retrying: 421 try later", "retrying: 421 try later", ""},
            {EKind::Failed, "failed", "550 5.1.1 no such user", "Failed: 550 5.1.1 no such user",
             "Sent now, failed: 550 5.1.1 no such user", "failed: 550 5.1.1 no such user", ""},
            {EKind::InDoubt, "in-doubt", "cut off", "In doubt: cut off", "Sent now, in doubt: cut off",
             "in doubt: cut off", ""},
            {EKind::SkippedOverdue, "skipped-overdue", "", "Skipped (overdue)", "Sent now, skipped (overdue)",
             "skipped (overdue)", ""},
            {EKind::TemplateMissing, "template-missing", "/d/a.oft", "Template missing", "Sent now, template missing",
             "template missing: /d/a.oft", ""},
            {EKind::TemplateDamaged, "template-damaged", "/d/a.oft", "Template damaged", "Sent now, template damaged",
             "template damaged: /d/a.oft", ""},
            {EKind::NotStored, "not-stored", "No space left on device", "Not queued yet: No space left on device",
             "Sent now, not queued yet: No space left on device", "not queued yet: No space left on device", ""},
            {EKind::SkippedByRule, "skipped", "not a working day", "Skipped: not a working day",
             "Sent now, skipped: not a working day", "skipped: not a working day", ""},
            {EKind::WaitingForAttachments, "waiting-for-attachments",
             "nothing matched /srv/r/*.csv; tried again until 10:00",
             "Waiting for its attachments: nothing matched /srv/r/*.csv; tried again until 10:00",
             "Sent now, waiting for its attachments: nothing matched /srv/r/*.csv; tried again until 10:00",
             "waiting for its attachments: nothing matched /srv/r/*.csv; tried again until 10:00", ""},
        };
        std::set<EKind> setKinds;
        for (const auto& row : rows) {
            SCOPED_TRACE(row.strShort);
            setKinds.insert(row.kind);
            CTaskOutcome o = Outcome(row.kind, "2026-12-07 09:00", "", row.strText, t);
            o.strNote = row.strNote;
            CTaskHistory one;
            one.Record("k", o);
            EXPECT_TRUE(
                Contains(CTaskHistoryFile::ToJsonText({one, {}}), std::string("\"kind\": \"") + row.pszStored + "\""));
            EXPECT_EQ(CTaskOutcome::KindNamed(row.pszStored), row.kind);
            // Read back whole, with an extra message sent now (kept apart through a restart) and a note.
            CTaskOutcome sentNow = Outcome(row.kind, "2026-12-07 21:30", "<1@x>", row.strText, t);
            sentNow.bSendNow = true;
            sentNow.strNote = "nothing matched /srv/x/*.csv";
            one.Record("k", sentNow);
            const auto rBack = CTaskHistoryFile::FromJsonText(CTaskHistoryFile::ToJsonText({one, {}}));
            ASSERT_TRUE(rBack.Ok()) << rBack.Problem();
            EXPECT_EQ(rBack->history, one);
            EXPECT_EQ(o.ShortText(), row.strShort);
            EXPECT_EQ(o.JournalLine("Weekly\nreport", "Figures"),
                      "task \"Weekly\nreport\", occurrence 2026-12-07 09:00, subject \"Figures\": " + row.strJournal);
            EXPECT_EQ(o.JournalLine("R", std::nullopt), "task \"R\", occurrence 2026-12-07 09:00: " + row.strJournal);
            EXPECT_EQ(o.ResultText(), row.strJournal);
            std::string strFull = o.FullText();
            EXPECT_EQ(strFull.rfind("The occurrence of 2026-12-07 09:00 ", 0), 0u) << strFull;
            EXPECT_TRUE(Contains(strFull, row.strText));
            EXPECT_TRUE(Contains(strFull, row.strNote));
            // An extra message is told apart from every occurrence, in all texts.
            o.bSendNow = true;
            EXPECT_EQ(o.ShortText(), row.strSentNow);
            EXPECT_EQ(o.ResultText(), "sent now, " + row.strJournal);
            EXPECT_EQ(o.JournalLine("R", "S"),
                      "task \"R\", sent now at 2026-12-07 09:00, subject \"S\": " + row.strJournal);
            strFull = o.FullText();
            EXPECT_EQ(strFull.rfind("The extra message sent now (2026-12-07 09:00, outside the schedule) ", 0), 0u)
                << strFull;
            EXPECT_TRUE(Contains(strFull, row.strText));
        }
        EXPECT_EQ(setKinds.size(), static_cast<size_t>(CTaskOutcome::kLastKind + 1)) << "a row for every kind";
        EXPECT_TRUE(Contains(Outcome(EKind::Failed, "2026-12-07 09:00", "", "550", t).FullText(), "2026-12-07 09:05"));
        // What the user can do about one in doubt.
        EXPECT_TRUE(Contains(Outcome(EKind::InDoubt, "2026-12-07 09:00", "", "cut off", t).FullText(),
                             "open it in the Outbox"));
    }
}

// Saved whole and read back by a fresh process's worth of objects, without
// the tasks that went away; an identity follows its task to another
// template, and a copy starts with the settings alone.
TEST_F(TaskHistoryTest, TheStoreSurvivesARestartAndAnIdentityFollowsItsTaskButNotACopy) {
    std::string strId;
    {
        CTaskHistoryFile file(Path(), m_clock);
        ASSERT_TRUE(file.Load().Ok()) << "no file yet is an empty history";
        strId = file.IdOf("a.oft");
        EXPECT_EQ(strId.size(), 16u);
        EXPECT_EQ(file.IdOf("a.oft"), strId) << "given once";
        EXPECT_NE(file.IdOf("b.oft"), strId);
        file.History().Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00", "<1@x>", "to 1 recipient(s)", 11));
        file.History().Record("gone.oft", Outcome(EKind::Failed, "2026-12-07 09:00", "<2@x>", "550 \"no\"", 12));
        file.History().Record("b.oft", Outcome(EKind::TemplateMissing, "2026-12-07 10:00", "", "/data/b.oft", 13));
        file.SetSettings("a.oft", {{"zone", "Europe/Berlin"}});
        ASSERT_TRUE(file.Save(Tasks({"a.oft", "b.oft"})).Ok());
    }
    EXPECT_EQ(FilesIn(m_dir.Path()), std::vector<std::string>{"tasks.json"}) << "no temporary file left";
    CTaskHistoryFile file(Path(), m_clock);
    ASSERT_TRUE(file.Load().Ok());
    CTaskHistory expected;
    expected.Record("a.oft", Outcome(EKind::Sent, "2026-12-07 09:00", "<1@x>", "to 1 recipient(s)", 11));
    expected.Record("b.oft", Outcome(EKind::TemplateMissing, "2026-12-07 10:00", "", "/data/b.oft", 13));
    EXPECT_EQ(file.History(), expected);
    EXPECT_EQ(file.IdOf("a.oft"), strId) << "kept through a restart";
    file.History().Record("c.oft", Outcome(EKind::Failed, "2026-01-01 09:00"));  // left by a task gone before
    file.Follow("a.oft", "c.oft");
    EXPECT_EQ(file.IdOf("c.oft"), strId);
    EXPECT_EQ(file.SettingsOf("c.oft"), nlohmann::json({{"zone", "Europe/Berlin"}}));
    EXPECT_EQ(Occurrences(file.History(), "c.oft"), std::vector<std::string>{"2026-12-07 09:00"});
    EXPECT_EQ(file.History().Last("a.oft"), nullptr);
    EXPECT_EQ(file.SettingsOf("a.oft"), nlohmann::json::object());
    file.History().Record("d.oft", Outcome(EKind::Failed, "2026-01-01 09:00"));
    file.CopySettings("c.oft", "d.oft");
    EXPECT_NE(file.IdOf("d.oft"), strId);
    EXPECT_EQ(file.SettingsOf("d.oft"), file.SettingsOf("c.oft"));
    EXPECT_EQ(file.History().Last("d.oft"), nullptr) << "a copy has sent nothing yet";
    ASSERT_TRUE(file.Save(Tasks({"c.oft", "d.oft"})).Ok());
    const auto rBack = CTaskHistoryFile::FromJsonText(CTempDir::ReadFile(Path()));
    ASSERT_TRUE(rBack) << rBack.Problem();
    EXPECT_EQ(rBack->mapEntries.size(), 2u) << "b.oft went with its task";
    EXPECT_EQ(rBack->mapEntries.at("c.oft").strId, strId);
}

TEST_F(TaskHistoryTest, TheEarlierResultsFileIsCarriedOverAndRemovedOnceSavedOrLeftWhenDamaged) {
    const std::string strEarlier = m_dir / "history.json";
    for (const bool bDamaged : {false, true}) {
        SCOPED_TRACE(bDamaged ? "damaged" : "readable");
        fs::remove_all(m_dir.Path());
        fs::create_directories(m_dir.Path());
        const std::string strText =
            bDamaged ? "{\"version\": 1, \"tasks\": {\"a.o"
                     : "{\"version\": 1, \"tasks\": {\"a.oft\": [{\"kind\": \"sent\", \"occurrence\": \"2026-12-07 "
                       "09:00\"}], \"gone.oft\": []}}";
        CTempDir::WriteFile(strEarlier, strText);
        CTaskHistoryFile file(Path(), m_clock);
        const auto rLoaded = file.Load();
        EXPECT_EQ(rLoaded.Ok(), !bDamaged) << rLoaded.Problem();
        if (bDamaged) {
            EXPECT_TRUE(Contains(rLoaded.Problem(), strEarlier + ": not JSON; it is left as it is"));
        }
        EXPECT_EQ(file.History().Last("a.oft") != nullptr, !bDamaged);
        ASSERT_TRUE(file.Save(Tasks({"a.oft"})).Ok());
        const std::vector<std::string> vecDamaged{"history.json", "tasks.json"}, vecCarried{"tasks.json"};
        EXPECT_EQ(FilesIn(m_dir.Path()), bDamaged ? vecDamaged : vecCarried);
        if (bDamaged) {
            EXPECT_EQ(CTempDir::ReadFile(strEarlier), strText);
        }
        CTaskHistoryFile again(Path(), m_clock);
        ASSERT_TRUE(again.Load().Ok());
        EXPECT_EQ(again.History().Last("a.oft") != nullptr, !bDamaged);
        const auto rBeside = CTaskHistoryFile::HistoryBeside(m_dir / "emails.dat");
        ASSERT_TRUE(rBeside) << rBeside.Problem();
        EXPECT_EQ(*rBeside, again.History());
    }
}

// Every writer changes the list through the one edit path: given the store,
// it takes each task's identity, results and settings along.
TEST_F(TaskHistoryTest, EditsOfTheListTakeTheStoreAlong) {
    const CZoneGuard zone("Europe/Berlin");
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    const std::string strData = m_dir / "data/";
    fs::create_directories(strData);
    fs::create_directories(m_dir / "elsewhere");
    CTaskList list;
    // a's template is not the data folder's: a new message gives it a new one.
    for (const char* psz : {"a", "b"}) {
        CTaskItem t = Weekly(psz, (std::string(psz) == "a" ? m_dir / "elsewhere/" : strData) + psz + ".oft");
        t.m_dtNextSending = {2027, 1, 11, 2, 9, 0, 1};
        list.Add(t);
    }
    CTaskHistoryFile store(strData + CTaskHistoryFile::kFileName, m_clock);
    ASSERT_TRUE(store.Load().Ok());
    const std::string strIdOfA = store.IdOf("a.oft");
    store.History().Record("a.oft", Outcome(EKind::Sent, "2027-01-04 09:00"));
    const CTaskListEdit::CContext ctx{
        strData, ValueOf(TaskTime::ToAbsolute(2027, 1, 4, 10, 0, 30)), &codec, {}, &store};
    const std::string strStore = strData + CTaskHistoryFile::kFileName;
    auto onDisk = [&] {
        const auto r = CTaskHistoryFile::FromJsonText(CTempDir::ReadFile(strStore));
        return r ? r->mapEntries : decltype(r->mapEntries){};
    };
    // Each edit, stopped as the list is saved: whichever list the disk then
    // holds, each of its tasks finds its entry there with the settings it
    // goes by (for a task the change gives a new key or record, those it
    // is given; for the others, those they had).
    auto apply = [&](const CTaskListEdit::json& jRequest) {
        const CTaskList listBefore = list;
        const auto diskBefore = onDisk();
        std::map<std::string, CTaskHistoryFile::CEntry> diskAtSave;
        const auto r = CTaskListEdit::ApplyAndSave(list, jRequest, ctx, [&] {
            diskAtSave = onDisk();
            return CResult<>();
        });
        EXPECT_TRUE(r) << r.Problem();
        if (!r) return std::string();
        EXPECT_TRUE(r->strStoreNotSaved.empty()) << r->strStoreNotSaved;
        for (const CTaskItem& t : listBefore) {
            const std::string strKey = CTaskHistory::KeyOf(t.m_strTemplateFile);
            if (!diskBefore.count(strKey)) continue;
            EXPECT_EQ(diskAtSave[strKey].strId, diskBefore.at(strKey).strId) << strKey;
            EXPECT_EQ(CSettingsAhead::For(diskAtSave[strKey], t), diskBefore.at(strKey).jSettings) << strKey;
        }
        const auto& mapNow = store.Content().mapEntries;
        for (const CTaskItem& t : list) {
            const std::string strKey = CTaskHistory::KeyOf(t.m_strTemplateFile);
            // A task the list holds as it was cannot tell the two apart: the store after it makes the change.
            const bool bAsItWas = std::any_of(listBefore.begin(), listBefore.end(), [&](const CTaskItem& was) {
                return CTaskJson::ToJson(was) == CTaskJson::ToJson(t);
            });
            if (bAsItWas || !mapNow.count(strKey)) continue;
            EXPECT_EQ(diskAtSave[strKey].strId, mapNow.at(strKey).strId) << strKey;
            EXPECT_EQ(CSettingsAhead::For(diskAtSave[strKey], t), mapNow.at(strKey).jSettings) << strKey;
        }
        return r->task.m_strTemplateFile;
    };
    // Rules sent with a change are kept in the task's entry, over what it had.
    apply({{"command", "set"}, {"task", "a"}, {"rules", {{"missed", "latest"}, {"skipNext", true}}}});
    // With values of the task too, they go with its record.
    apply({{"command", "set"}, {"task", "a"}, {"changes", {{"weeklyInterval", 2}}}, {"rules", {{"skipNext", false}}}});
    // A new message gives a a new key; a list that cannot be saved leaves the store as it was.
    const CTaskListEdit::json jNewMessage = {
        {"command", "set"}, {"task", "a"}, {"template", strData + ".quillory-new-1.oft"}};
    CTempDir::WriteFile(strData + ".quillory-new-1.oft", "Subject: new\n\nbody\n");
    const auto storeBefore = store.Content();
    ASSERT_FALSE(CTaskListEdit::ApplyAndSave(list, jNewMessage, ctx, [] { return CResult<>(CProblem("disk full")); }));
    EXPECT_EQ(store.Content(), storeBefore);
    const std::string strNewA = CTaskHistory::KeyOf(apply(jNewMessage));
    ASSERT_NE(strNewA, "a.oft");
    CTempDir::WriteFile(strData + ".quillory-new-2.oft", "Subject: added\n\nbody\n");
    apply({{"command", "add"},
           {"changes",
            {{"taskName", "c"}, {"start", {{"year", 2027}, {"month", 1}, {"day", 6}, {"hour", 8}, {"minute", 0}}}}},
           {"template", strData + ".quillory-new-2.oft"},
           {"rules", {{"missed", "none"}}}});
    const std::string strCopy = CTaskHistory::KeyOf(apply({{"command", "copy"}, {"task", "a"}}));
    // b's message serves a second schedule too: a new message gives b a key
    // of its own, and the other schedule keeps the old key, never b's identity.
    CTaskItem shared = list[1];
    shared.m_strTaskName = "b too";
    list.Add(shared);
    const std::string strIdOfB = store.IdOf("b.oft");
    CTempDir::WriteFile(strData + ".quillory-new-3.oft", "Subject: b alone\n\nbody\n");
    const std::string strNewB =
        CTaskHistory::KeyOf(apply({{"command", "set"}, {"task", "b"}, {"template", strData + ".quillory-new-3.oft"}}));
    EXPECT_EQ(store.IdOf(strNewB), strIdOfB);
    EXPECT_NE(store.IdOf("b.oft"), strIdOfB);
    apply({{"command", "remove"}, {"task", "b too"}});
    apply({{"command", "remove"}, {"task", "b"}});
    apply({{"command", "move"}, {"task", "a"}, {"to", "last"}});
    CTaskHistoryFile again(strData + CTaskHistoryFile::kFileName, m_clock);
    ASSERT_TRUE(again.Load().Ok());
    EXPECT_EQ(again.IdOf(strNewA), strIdOfA);
    EXPECT_EQ(Occurrences(again.History(), strNewA), std::vector<std::string>{"2027-01-04 09:00"});
    const nlohmann::json jLatest = {{"rules", {{"missed", "latest"}}}};
    EXPECT_EQ(again.SettingsOf(strNewA), jLatest);
    EXPECT_EQ(again.SettingsOf(strCopy), jLatest);
    EXPECT_NE(again.IdOf(strCopy), strIdOfA);
    EXPECT_EQ(again.History().Last(strCopy), nullptr);
    const auto rBack = CTaskHistoryFile::FromJsonText(CTempDir::ReadFile(strData + CTaskHistoryFile::kFileName));
    ASSERT_TRUE(rBack);
    EXPECT_EQ(rBack->mapEntries.count("b.oft"), 0u) << "a removed task's entry goes";
    EXPECT_EQ(rBack->mapEntries.count("a.oft"), 0u) << "a's old key goes once the list is saved";

    // The sheet stores a task with all of its rules; a list that cannot be
    // saved keeps them in memory only, as it keeps the change, and the next
    // save writes both.
    CTaskListEdit::CEdit sheet;
    sheet.eCommand = CTaskListEdit::ECommand::Store;
    sheet.nIndex = 0;
    const CTaskItem saved = list[0];
    sheet.task = saved;
    sheet.task.m_nWeeklyInterval = 3;
    sheet.optRules = CTaskRules{};
    sheet.optRules->strZone = "Asia/Tokyo";
    const std::string strKey = CTaskHistory::KeyOf(sheet.task.m_strTemplateFile);
    const nlohmann::json jTokyo = {{"rules", {{"zone", "Asia/Tokyo"}}}}, jHad = store.SettingsOf(strKey);
    const auto rKept = CTaskListEdit::ApplyAndSave(
        list, sheet, ctx, [] { return CResult<>(CProblem("disk full")); }, CTaskListEdit::ESaveFailed::Keep);
    ASSERT_TRUE(rKept) << rKept.Problem();
    EXPECT_EQ(rKept->strNotSaved, "disk full");
    EXPECT_EQ(store.SettingsOf(strKey), jTokyo);
    const auto rAhead = CTaskHistoryFile::FromJsonText(CTempDir::ReadFile(strData + CTaskHistoryFile::kFileName));
    ASSERT_TRUE(rAhead) << rAhead.Problem();
    EXPECT_EQ(CSettingsAhead::For(rAhead->mapEntries.at(strKey), saved), jHad) << "the list on disk goes by its own";
    ASSERT_TRUE(CTaskListEdit::ApplyAndSave(list, sheet, ctx, [] { return CResult<>(); }));
    CTaskHistoryFile last(strData + CTaskHistoryFile::kFileName, m_clock);
    ASSERT_TRUE(last.Load().Ok());
    EXPECT_EQ(last.SettingsOf(strKey), jTokyo) << "the sheet's rules replace all the task had";
}

// Rules that go with new values never meet a list they were not written
// for: a store that cannot be written ahead stops the change before the
// list is saved, and settings ahead of a list that then was not saved are
// written away before the next change, even one without rules.
TEST_F(TaskHistoryTest, SettingsAheadNeverMeetAListTheyWereNotWrittenFor) {
    const CZoneGuard zone("Europe/Berlin");
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    CTaskList list;
    list.Add(Weekly("a", m_dir / "a.oft"));
    CTaskHistoryFile store(Path(), m_clock);
    ASSERT_TRUE(store.Save(list).Ok());
    const CTaskListEdit::CContext ctx{
        m_dir.Path() + "/", ValueOf(TaskTime::ToAbsolute(2027, 1, 4, 10, 0, 30)), &codec, {}, &store};
    const CTaskListEdit::json jValues = {{"command", "set"}, {"task", "a"}, {"changes", {{"weeklyInterval", 2}}}};
    CTaskListEdit::json jWithRules = jValues;
    jWithRules["rules"] = {{"missed", "none"}};
    const auto contentBefore = store.Content();
    // The store cannot be replaced (a folder stands at its name).
    fs::rename(Path(), m_dir / "kept");
    fs::create_directory(Path());
    // Rules with values, and rules alone (the list then stays as it was: the store is the change).
    bool bListSaved = false;
    for (const auto& jRequest :
         {jWithRules, CTaskListEdit::json{{"command", "set"}, {"task", "a"}, {"rules", {{"missed", "latest"}}}}}) {
        bool bNotSaved = false;
        EXPECT_FALSE(CTaskListEdit::ApplyAndSave(
            list, jRequest, ctx,
            [&] {
                bListSaved = true;
                return CResult<>();
            },
            &bNotSaved));
        EXPECT_TRUE(bNotSaved) << "the writer's trouble, not the request's";
    }
    EXPECT_FALSE(bListSaved);
    EXPECT_EQ(list[0].m_nWeeklyInterval, 1);
    EXPECT_EQ(store.Content(), contentBefore);
    fs::remove(Path());
    fs::rename(m_dir / "kept", Path());
    // Written ahead, then the list cannot be saved, nor the store put back.
    std::string strAhead;
    EXPECT_FALSE(CTaskListEdit::ApplyAndSave(list, jWithRules, ctx, [&] {
        strAhead = CTempDir::ReadFile(Path());
        fs::remove(Path());
        fs::create_directory(Path());
        return CResult<>(CProblem("disk full"));
    }));
    ASSERT_TRUE(Contains(strAhead, "\"ahead\"")) << strAhead;
    fs::remove(Path());
    CTempDir::WriteFile(Path(), strAhead);
    // The same values again, without rules: the list then holds the record
    // the settings ahead wait for, so they must be gone first.
    ASSERT_TRUE(CTaskListEdit::ApplyAndSave(list, jValues, ctx, [] { return CResult<>(); }));
    const auto rDisk = CTaskHistoryFile::FromJsonText(CTempDir::ReadFile(Path()));
    ASSERT_TRUE(rDisk) << rDisk.Problem();
    EXPECT_EQ(CSettingsAhead::For(rDisk->mapEntries.at("a.oft"), list[0]), nlohmann::json::object());
    EXPECT_FALSE(store.AheadOnDisk());
}

// The host tells tasks' messages apart by name: an imported list may not
// give two tasks one name.
TEST_F(TaskHistoryTest, AnImportedListInWhichTwoTasksShareANameIsRefused) {
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    auto task = [](const char* pszName, const char* pszTemplate) {
        CTaskItem t;
        t.m_strTaskName = pszName;
        t.m_strTemplateFile = pszTemplate;
        t.m_dtStart = {2027, 1, 4, 2, 9, 0, 0};
        t.m_nEndKind = 0;
        return CTaskJson::ToJson(t);
    };
    const struct {
        nlohmann::ordered_json jList;
        std::vector<std::string> vecProblems;
    } rows[] = {
        {{task("a", "/d/a.oft"), task("b", "/d/b.oft")}, {}},
        {{task("a", "/d/a.oft"), task("b", "/d/b.oft"), task("a", "/d/c.oft"), task("a", "/d/d.oft")},
         {"task 3: taskName: is task 1's name as well", "task 4: taskName: is task 1's name as well"}},
        // One message for several schedules stays possible (they then share one entry).
        {{task("a", "/d/a.oft"), task("b", "/d/a.oft")}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.jList.dump());
        CTaskList list;
        CProblems problems;
        CTaskJson::FromJson(row.jList, list, problems, codec);
        EXPECT_EQ(problems.Lines(), row.vecProblems);
    }
}

}  // namespace
