// Template files: what they keep, how foreign ones are read, and how they fail.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "CTempDir.h"
#include "CTemplateFile.h"
#include "Contains.h"

namespace {

CMailAttachment Attachment(const std::string& strName, const std::string& strBytes, const std::string& strType) {
    CMailAttachment att;
    att.strFileName = strName;
    att.strContentType = strType;
    att.vecData.assign(strBytes.begin(), strBytes.end());
    return att;
}

CMailMessage RichMessage() {
    CMailMessage msg;
    msg.strFrom = "Jörg Müller <joerg@example.org>";
    msg.vecTo = {"Zoë Ångström <zoe@example.com>", "plain@example.com"};
    msg.vecCc = {"cc@example.net"};
    msg.vecBcc = {"Hidden Person <hidden@example.net>"};
    msg.strSubject = "Quarterly numbers — Überblick 第三季度, a rather long subject line that must fold somewhere";
    msg.strBody = "Hello,\nthe numbers: 5 € and 7 ¥.\n.\nA line with a lone dot above.\n";
    msg.vecHeaders = {{"X-Quillory-Task", "Wöchentlicher Bericht"}, {"X-Mailer", "Mail Host"}};
    std::string strBinary("\x00\x01\xff\r\n\x7f binary", 13);
    msg.vecAttachments = {Attachment("Résumé 2024.pdf", strBinary, "application/pdf"),
                          Attachment("notes.txt", "line one\nline two\n", "text/plain"),
                          Attachment("日本語のファイル名.bin", std::string(70000, 'x'), "application/octet-stream")};
    return msg;
}

const char* kForeignAlternative =
    "From: Sender <s@example.org>\r\n"
    "To: a@example.com, \"B, Person\" <b@example.com>\r\n"
    "Cc: =?iso-8859-1?q?J=F6rg?= <j@example.com>\r\n"
    "Bcc: secret@example.com\r\n"
    "Subject: =?utf-8?b?R3LDvMOfZQ==?=\r\n"
    "Message-ID: <abc@example.org>\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
    "\r\n"
    "--outer\r\n"
    "Content-Type: multipart/alternative; boundary=\"inner\"\r\n"
    "\r\n"
    "--inner\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "\r\n"
    "<p>HTML version</p>\r\n"
    "--inner\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Plain version: gr=FC=DFe\r\n"
    "--inner--\r\n"
    "--outer\r\n"
    "Content-Type: application/octet-stream; name=\"=?utf-8?q?r=C3=A9sum=C3=A9=2Epdf?=\"\r\n"
    "Content-Disposition: attachment\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "AAEC/w==\r\n"
    "--outer\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n"
    "Content-Disposition: attachment; filename*=utf-8''caf%C3%A9.txt\r\n"
    "\r\n"
    "coffee\r\n"
    "--outer--\r\n";

}  // namespace

// A rich message and an HTML one without attachments come back whole, less
// what belongs to one sending (the id, the sent state).
TEST(TemplateFile, RoundTripKeepsEveryFieldIncludingNonAsciiInPlainMime) {
    CTempDir dir;
    CMailMessage html;
    html.vecTo = {"x@example.com"};
    html.strSubject = "html";
    html.strBody = "<html><body><b>bold</b></body></html>\n";  // MIME text ends in a newline
    html.bHtml = true;
    for (CMailMessage msg : {RichMessage(), html}) {
        SCOPED_TRACE(msg.strSubject);
        const std::string strPath = dir / "Weekly report 20240101.oft";
        msg.strMessageId = "must-not-be-kept@example.org";
        ASSERT_EQ(CTemplateFile::Save(strPath, msg).Problem(), "");
        CMailMessage back;
        back.bSent = true;
        ASSERT_EQ(CTemplateFile::Load(strPath, back).Problem(), "");
        EXPECT_EQ(back.strFrom, msg.strFrom);
        EXPECT_EQ(back.vecTo, msg.vecTo);
        EXPECT_EQ(back.vecCc, msg.vecCc);
        EXPECT_EQ(back.vecBcc, msg.vecBcc);
        EXPECT_EQ(back.strSubject, msg.strSubject);
        EXPECT_EQ(back.strBody, msg.strBody);
        EXPECT_EQ(back.bHtml, msg.bHtml);
        EXPECT_FALSE(back.bSent);
        EXPECT_EQ(back.strMessageId, "");
        EXPECT_EQ(back.vecHeaders, msg.vecHeaders);
        ASSERT_EQ(back.vecAttachments.size(), msg.vecAttachments.size());
        for (size_t i = 0; i < msg.vecAttachments.size(); ++i) {
            EXPECT_EQ(back.vecAttachments[i].strFileName, msg.vecAttachments[i].strFileName);
            EXPECT_EQ(back.vecAttachments[i].strContentType, msg.vecAttachments[i].strContentType);
            EXPECT_EQ(back.vecAttachments[i].vecData, msg.vecAttachments[i].vecData) << i;
        }
    }

    // The file is plain MIME with encoded headers.
    ASSERT_EQ(CTemplateFile::Save(dir / "rich.oft", RichMessage()).Problem(), "");
    std::string strFile = CTempDir::ReadFile(dir / "rich.oft");
    std::string strHead = strFile.substr(0, strFile.find("\n\n"));
    for (unsigned char c : strHead) ASSERT_LT(c, 0x80) << "raw 8-bit byte in the header block";
    EXPECT_TRUE(Contains(strHead, "Bcc: Hidden Person <hidden@example.net>"));
    std::string strLower = strHead;
    for (char& c : strLower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(Contains(strLower, "=?utf-8?"));
    EXPECT_FALSE(Contains(strHead, "Message-Id"));
    EXPECT_TRUE(Contains(strFile, "filename*="));
    EXPECT_TRUE(Contains(strFile, "multipart/mixed"));
}

TEST(TemplateFile, SaveReplacesAnExistingFileAndFailureLeavesItAlone) {
    CTempDir dir;
    std::string strPath = dir / "t.oft";
    CMailMessage msg = RichMessage();
    ASSERT_EQ(CTemplateFile::Save(strPath, msg).Problem(), "");
    msg.strSubject = "second";
    ASSERT_EQ(CTemplateFile::Save(strPath, msg).Problem(), "");
    std::string strBefore = CTempDir::ReadFile(strPath);

    CMailMessage bad = msg;
    bad.vecTo = {"not an address"};
    std::string strProblem = CTemplateFile::Save(strPath, bad).Problem();
    EXPECT_TRUE(Contains(strProblem, "not an address"));
    EXPECT_EQ(CTempDir::ReadFile(strPath), strBefore);
    // One too large to be loaded again is not written (base64 makes 50 MiB some 68 MB).
    CMailMessage huge = msg;
    huge.vecAttachments.push_back({"big.bin", "application/octet-stream", std::vector<uint8_t>(50u << 20, 'x')});
    strProblem = CTemplateFile::Save(strPath, huge).Problem();
    EXPECT_TRUE(Contains(strProblem, "bytes (the most a message may have)")) << strProblem;
    EXPECT_EQ(CTempDir::ReadFile(strPath), strBefore);
    EXPECT_NE(CTemplateFile::Save(dir / "missing-folder/t.oft", msg).Problem(), "");
    // No temporary files are left behind.
    size_t nFiles = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++nFiles;
    EXPECT_EQ(nFiles, 1u);
}

TEST(TemplateFile, ForeignFilePrefersPlainAlternativeAndDecodesEverything) {
    CTempDir dir;
    CTempDir::WriteFile(dir / "foreign.eml", kForeignAlternative);
    CMailMessage msg;
    ASSERT_EQ(CTemplateFile::Load(dir / "foreign.eml", msg).Problem(), "");
    EXPECT_EQ(msg.vecTo, (std::vector<std::string>{"a@example.com", "\"B, Person\" <b@example.com>"}));
    EXPECT_EQ(msg.vecCc, (std::vector<std::string>{"Jörg <j@example.com>"}));
    EXPECT_EQ(msg.vecBcc, (std::vector<std::string>{"secret@example.com"}));
    EXPECT_EQ(msg.strSubject, "Grüße");
    EXPECT_FALSE(msg.bHtml);
    EXPECT_EQ(msg.strBody.substr(0, 22), "Plain version: grüße");
    EXPECT_EQ(msg.strMessageId, "");
    ASSERT_EQ(msg.vecAttachments.size(), 2u);
    EXPECT_EQ(msg.vecAttachments[0].strFileName, "résumé.pdf");
    EXPECT_EQ(msg.vecAttachments[0].vecData, (std::vector<uint8_t>{0, 1, 2, 0xff}));
    EXPECT_EQ(msg.vecAttachments[1].strFileName, "café.txt");
    EXPECT_EQ(std::string(msg.vecAttachments[1].vecData.begin(), msg.vecAttachments[1].vecData.end()).substr(0, 6),
              "coffee");

    // A message of one body alone, and attachments without names.
    CTempDir::WriteFile(dir / "simple.eml", "To: one@example.com\nSubject: hi\n\nJust text.\n");
    ASSERT_EQ(CTemplateFile::Load(dir / "simple.eml", msg).Problem(), "");
    EXPECT_EQ(msg.vecTo, std::vector<std::string>{"one@example.com"});
    EXPECT_EQ(msg.strBody, "Just text.\n");

    CTempDir::WriteFile(dir / "image.eml",
                        "To: one@example.com\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
                        "--b\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\niVBORw==\n--b--\n");
    ASSERT_EQ(CTemplateFile::Load(dir / "image.eml", msg).Problem(), "");
    EXPECT_EQ(msg.strBody, "");
    ASSERT_EQ(msg.vecAttachments.size(), 1u);
    EXPECT_EQ(msg.vecAttachments[0].strFileName, "attachment-1");
    EXPECT_EQ(msg.vecAttachments[0].strContentType, "image/png");
    EXPECT_EQ(msg.vecAttachments[0].vecData, (std::vector<uint8_t>{0x89, 'P', 'N', 'G'}));
}

TEST(TemplateFile, BadOrMissingFilesAreClearFailures) {
    CTempDir dir;
    CMailMessage msg;
    msg.strSubject = "untouched";
    EXPECT_TRUE(Contains(CTemplateFile::Load(dir / "absent.oft", msg).Problem(), "No such file"));
    EXPECT_NE(CTemplateFile::Load("", msg).Problem(), "");
    EXPECT_NE(CTemplateFile::Load(dir.Path(), msg).Problem(), "");  // a folder
    CTempDir::WriteFile(dir / "empty.oft", "");
    EXPECT_NE(CTemplateFile::Load(dir / "empty.oft", msg).Problem(), "");
    CTempDir::WriteFile(dir / "junk.oft", std::string("\x00\x01\x02\xff\xfe garbage without any header\n", 34));
    EXPECT_NE(CTemplateFile::Load(dir / "junk.oft", msg).Problem(), "");
    CTempDir::WriteFile(dir / "text.oft", "Dear diary,\ntoday nothing happened.\n");
    EXPECT_NE(CTemplateFile::Load(dir / "text.oft", msg).Problem(), "");
    ASSERT_EQ(CTemplateFile::Save(dir / "cut.oft", RichMessage()).Problem(), "");
    const std::string strWhole = CTempDir::ReadFile(dir / "cut.oft");
    CTempDir::WriteFile(dir / "cut.oft", strWhole.substr(0, strWhole.size() * 2 / 3));
    EXPECT_TRUE(Contains(CTemplateFile::Load(dir / "cut.oft", msg).Problem(), "cut short"));
    EXPECT_EQ(msg.strSubject, "untouched");
}
