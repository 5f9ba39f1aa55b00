#include "CMimeReader.h"

#include <memory>

#include "GMimeSupport.h"

namespace {

void CollectMailboxes(InternetAddressList* pList, std::vector<std::string>& vec) {
    for (int i = 0; pList && i < internet_address_list_length(pList); ++i) {
        InternetAddress* p = internet_address_list_get_address(pList, i);
        if (INTERNET_ADDRESS_IS_GROUP(p)) {
            CollectMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(p)), vec);
        } else if (*internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(p))) {
            vec.push_back(TakeGString(internet_address_to_string(p, nullptr, FALSE)));
        }
    }
}

std::string DecodedContent(GMimePart* pPart) {
    GMimeDataWrapper* pWrapper = g_mime_part_get_content(pPart);
    if (!pWrapper) return {};
    GObjectPtr<GMimeStream> pStream(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(pWrapper, pStream.get());
    GByteArray* pArray = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(pStream.get()));
    return std::string(reinterpret_cast<const char*>(pArray->data), pArray->len);
}

// Walks the MIME tree. The body is the first inline text/plain part, else
// the first inline text/html; other alternatives of the body are dropped.
class CPartWalker {
public:
    explicit CPartWalker(CMailMessage& msg) : m_msg(msg) {}

    void Walk(GMimeObject* pObject, bool bInAlternative) {
        if (GMIME_IS_MULTIPART(pObject)) {
            GMimeMultipart* pMulti = GMIME_MULTIPART(pObject);
            bool bAlternative =
                g_mime_content_type_is_type(g_mime_object_get_content_type(pObject), "multipart", "alternative");
            for (int i = 0; i < g_mime_multipart_get_count(pMulti); ++i)
                Walk(g_mime_multipart_get_part(pMulti, i), bAlternative);
            return;
        }
        if (GMIME_IS_MESSAGE_PART(pObject)) {
            AddEmbeddedMessage(GMIME_MESSAGE_PART(pObject));
            return;
        }
        if (!GMIME_IS_PART(pObject)) return;
        GMimePart* pPart = GMIME_PART(pObject);
        if (IsBodyCandidate(pObject, pPart)) {
            bool bPlain = g_mime_content_type_is_type(g_mime_object_get_content_type(pObject), "text", "plain");
            if (!m_bHaveBody || (bPlain && !m_bBodyPlain && m_bBodyInAlternative && bInAlternative)) {
                SetBody(GMIME_TEXT_PART(pObject), bPlain, bInAlternative);
                return;
            }
            if (bInAlternative) return;  // another rendering of the body
        }
        AddAttachment(pObject, pPart);
    }

    void Finish() {
        if (!m_bHaveBody) {
            m_msg.strBody.clear();
            m_msg.bHtml = false;
        }
    }

private:
    static bool IsBodyCandidate(GMimeObject* pObject, GMimePart* pPart) {
        if (!GMIME_IS_TEXT_PART(pObject) || g_mime_part_get_filename(pPart)) return false;
        GMimeContentDisposition* pDisp = g_mime_object_get_content_disposition(pObject);
        if (pDisp && g_mime_content_disposition_is_attachment(pDisp)) return false;
        GMimeContentType* pType = g_mime_object_get_content_type(pObject);
        return g_mime_content_type_is_type(pType, "text", "plain") ||
               g_mime_content_type_is_type(pType, "text", "html");
    }

    void SetBody(GMimeTextPart* pText, bool bPlain, bool bInAlternative) {
        m_msg.strBody = TakeGString(g_mime_text_part_get_text(pText));
        m_msg.bHtml = !bPlain;
        m_bHaveBody = true;
        m_bBodyPlain = bPlain;
        m_bBodyInAlternative = bInAlternative;
    }

    void AddAttachment(GMimeObject* pObject, GMimePart* pPart) {
        CMailAttachment att;
        const char* pszName = g_mime_part_get_filename(pPart);
        att.strFileName =
            pszName && *pszName ? pszName : "attachment-" + std::to_string(m_msg.vecAttachments.size() + 1);
        att.strContentType = TakeGString(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(pObject)));
        std::string strData = DecodedContent(pPart);
        att.vecData.assign(strData.begin(), strData.end());
        m_msg.vecAttachments.push_back(std::move(att));
    }

    void AddEmbeddedMessage(GMimeMessagePart* pPart) {
        GMimeMessage* pInner = g_mime_message_part_get_message(pPart);
        if (!pInner) return;
        GObjectPtr<GMimeStream> pStream(g_mime_stream_mem_new());
        g_mime_object_write_to_stream(GMIME_OBJECT(pInner), nullptr, pStream.get());
        GByteArray* pArray = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(pStream.get()));
        CMailAttachment att;
        const char* pszSubject = g_mime_message_get_subject(pInner);
        att.strFileName = std::string(pszSubject && *pszSubject ? pszSubject : "message") + ".eml";
        for (char& c : att.strFileName) {
            if (c == '/') c = '_';
        }
        att.strContentType = "message/rfc822";
        att.vecData.assign(pArray->data, pArray->data + pArray->len);
        m_msg.vecAttachments.push_back(std::move(att));
    }

    CMailMessage& m_msg;
    bool m_bHaveBody = false;
    bool m_bBodyPlain = false;
    bool m_bBodyInAlternative = false;
};

}  // namespace

namespace {

// Fields a mail program keeps with a message besides those CMailMessage
// names: where replies go and the thread it belongs to.
bool IsKeptField(const char* pszName) {
    for (const char* psz : {"Reply-To", "In-Reply-To", "References"})
        if (g_ascii_strcasecmp(pszName, psz) == 0) return true;
    return g_ascii_strncasecmp(pszName, "X-", 2) == 0;
}

// The Message-ID, and the "X-" and reply fields, decoded.
void CollectIdAndOwnFields(GMimeMessage* p, CMailMessage& result) {
    const char* pszId = g_mime_message_get_message_id(p);
    result.strMessageId = pszId ? pszId : "";
    GMimeHeaderList* pHeaders = g_mime_object_get_header_list(GMIME_OBJECT(p));
    for (int i = 0; i < g_mime_header_list_get_count(pHeaders); ++i) {
        GMimeHeader* pHeader = g_mime_header_list_get_header_at(pHeaders, i);
        const char* pszName = g_mime_header_get_name(pHeader);
        if (!pszName || !IsKeptField(pszName)) continue;
        const char* pszValue = g_mime_header_get_value(pHeader);
        result.vecHeaders.emplace_back(pszName, pszValue ? pszValue : "");
    }
}

}  // namespace

CMailMessage CMimeReader::ParseHeaderFields(const std::string& strHead) {
    EnsureGMime();
    // Only the header block: a body cut off anywhere must not be parsed.
    size_t nEnd = strHead.find("\n\n");
    if (const size_t nCrLf = strHead.find("\n\r\n"); nCrLf < nEnd) nEnd = nCrLf;
    if (nEnd == std::string::npos) {
        const size_t nLastLine = strHead.rfind('\n');
        nEnd = nLastLine == std::string::npos ? 0 : nLastLine;
    }
    const std::string strBlock = strHead.substr(0, nEnd) + "\n\n";
    CMailMessage result;
    GObjectPtr<GMimeStream> pStream(g_mime_stream_mem_new_with_buffer(strBlock.data(), strBlock.size()));
    GObjectPtr<GMimeParser> pParser(g_mime_parser_new_with_stream(pStream.get()));
    g_mime_parser_set_format(pParser.get(), GMIME_FORMAT_MESSAGE);
    GObjectPtr<GMimeMessage> pMessage(g_mime_parser_construct_message(pParser.get(), nullptr));
    if (pMessage) CollectIdAndOwnFields(pMessage.get(), result);
    return result;
}

CResult<CMailMessage> CMimeReader::Parse(const std::string& strBytes, bool bWholeOnly) {
    EnsureGMime();
    if (strBytes.empty()) return CProblem("the file is empty");
    GObjectPtr<GMimeStream> pStream(g_mime_stream_mem_new_with_buffer(strBytes.data(), strBytes.size()));
    GObjectPtr<GMimeParser> pParser(g_mime_parser_new_with_stream(pStream.get()));
    g_mime_parser_set_format(pParser.get(), GMIME_FORMAT_MESSAGE);
    const std::unique_ptr<GMimeParserOptions, decltype(&g_mime_parser_options_free)> pOptions(
        g_mime_parser_options_new(), &g_mime_parser_options_free);
    bool bTruncated = false;
    g_mime_parser_options_set_warning_callback(
        pOptions.get(),
        [](gint64, GMimeParserWarning warning, const gchar*, gpointer pData) {
            if (warning == GMIME_WARN_TRUNCATED_MESSAGE) *static_cast<bool*>(pData) = true;
        },
        &bTruncated);
    GObjectPtr<GMimeMessage> pMessage(g_mime_parser_construct_message(pParser.get(), pOptions.get()));
    if (!pMessage) return CProblem("not a MIME message");
    if (bWholeOnly && bTruncated) return CProblem("the message is cut short: a part has no closing boundary");
    GMimeMessage* p = pMessage.get();
    if (g_mime_header_list_get_count(g_mime_object_get_header_list(GMIME_OBJECT(p))) == 0 ||
        !g_mime_message_get_mime_part(p))
        return CProblem("not a MIME message: no header lines");

    CMailMessage result;
    std::vector<std::string> vecFrom;
    CollectMailboxes(g_mime_message_get_from(p), vecFrom);
    if (!vecFrom.empty()) result.strFrom = vecFrom.front();
    CollectMailboxes(g_mime_message_get_to(p), result.vecTo);
    CollectMailboxes(g_mime_message_get_cc(p), result.vecCc);
    CollectMailboxes(g_mime_message_get_bcc(p), result.vecBcc);
    const char* pszSubject = g_mime_message_get_subject(p);
    result.strSubject = pszSubject ? pszSubject : "";
    if (GDateTime* pDate = g_mime_message_get_date(p)) result.nDate = g_date_time_to_unix(pDate);
    CollectIdAndOwnFields(p, result);

    CPartWalker walker(result);
    walker.Walk(g_mime_message_get_mime_part(p), false);
    walker.Finish();
    return result;
}
