#include "CMimeWriter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>

#include "GMimeSupport.h"

namespace {

std::string Serialise(GMimeObject* pObject, GMimeFormatOptions* pFormat) {
    GObjectPtr<GMimeStream> pStream(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(pObject, pFormat, pStream.get());
    GByteArray* pArray = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(pStream.get()));
    return std::string(reinterpret_cast<const char*>(pArray->data), pArray->len);
}

CResult<> AddAddresses(GMimeMessage* pMessage, GMimeAddressType type, const std::vector<std::string>& vec) {
    InternetAddressList* pTarget = g_mime_message_get_addresses(pMessage, type);
    for (const auto& str : vec) {
        QUILLORY_TRY(CMimeWriter::ParseMailbox(str));
        GObjectPtr<InternetAddressList> pList(internet_address_list_parse(nullptr, str.c_str()));
        internet_address_list_append(pTarget, pList.get());
    }
    return {};
}

GMimeObject* MakeBodyPart(const CMailMessage& msg) {
    GMimeTextPart* pText = g_mime_text_part_new_with_subtype(msg.bHtml ? "html" : "plain");
    g_mime_text_part_set_text(pText, msg.strBody.c_str());
    GMimePart* pPart = GMIME_PART(pText);
    g_mime_part_set_content_encoding(pPart,
                                     g_mime_part_get_best_content_encoding(pPart, GMIME_ENCODING_CONSTRAINT_7BIT));
    return GMIME_OBJECT(pText);
}

// The part, owned by the caller.
CResult<GMimeObject*> MakeAttachmentPart(const CMailAttachment& att) {
    if (att.strFileName.empty()) return CProblem("attachment without a file name");
    GObjectPtr<GMimeContentType> pType(g_mime_content_type_parse(nullptr, att.strContentType.c_str()));
    GMimePart* pPart = g_mime_part_new();
    // An unusable type keeps GMime's default, application/octet-stream.
    if (pType && g_mime_content_type_get_media_type(pType.get()) && g_mime_content_type_get_media_subtype(pType.get()))
        g_mime_object_set_content_type(GMIME_OBJECT(pPart), pType.get());
    g_mime_object_set_disposition(GMIME_OBJECT(pPart), GMIME_DISPOSITION_ATTACHMENT);
    g_mime_part_set_filename(pPart, att.strFileName.c_str());
    GObjectPtr<GMimeStream> pStream(
        g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(att.vecData.data()), att.vecData.size()));
    GObjectPtr<GMimeDataWrapper> pWrapper(
        g_mime_data_wrapper_new_with_stream(pStream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(pPart, pWrapper.get());
    g_mime_part_set_content_encoding(pPart, GMIME_CONTENT_ENCODING_BASE64);
    return GMIME_OBJECT(pPart);
}

std::string FirstAddress(InternetAddressList* pList) {
    for (int i = 0; pList && i < internet_address_list_length(pList); ++i) {
        InternetAddress* p = internet_address_list_get_address(pList, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(p)) return internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(p));
    }
    return {};
}

void CollectAddresses(InternetAddressList* pList, std::vector<std::string>& vec) {
    for (int i = 0; pList && i < internet_address_list_length(pList); ++i) {
        InternetAddress* p = internet_address_list_get_address(pList, i);
        if (INTERNET_ADDRESS_IS_GROUP(p)) {
            CollectAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(p)), vec);
            continue;
        }
        std::string str = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(p));
        if (str.empty()) continue;
        std::string strLower = str;
        std::transform(strLower.begin(), strLower.end(), strLower.begin(), ::tolower);
        bool bSeen = std::any_of(vec.begin(), vec.end(), [&](const std::string& s) {
            std::string t = s;
            std::transform(t.begin(), t.end(), t.begin(), ::tolower);
            return t == strLower;
        });
        if (!bSeen) vec.push_back(str);
    }
}

}  // namespace

CResult<std::string> CMimeWriter::ParseMailbox(const std::string& strMailbox) {
    EnsureGMime();
    auto Invalid = [&] { return CProblem("not a valid mail address: \"" + strMailbox + "\""); };
    GObjectPtr<InternetAddressList> pList(internet_address_list_parse(nullptr, strMailbox.c_str()));
    if (!pList || internet_address_list_length(pList.get()) != 1 ||
        !INTERNET_ADDRESS_IS_MAILBOX(internet_address_list_get_address(pList.get(), 0)))
        return Invalid();
    std::string strAddress = FirstAddress(pList.get());
    size_t nAt = strAddress.find('@');
    if (nAt == std::string::npos || nAt == 0 || nAt + 1 == strAddress.size() ||
        strAddress.find_first_of(" \t\r\n<>") != std::string::npos)
        return Invalid();
    return strAddress;
}

std::string CMimeWriter::CrlfToLf(const std::string& strBytes) {
    std::string str;
    str.reserve(strBytes.size());
    for (size_t i = 0; i < strBytes.size(); ++i) {
        if (strBytes[i] == '\r' && i + 1 < strBytes.size() && strBytes[i + 1] == '\n') continue;
        str += strBytes[i];
    }
    return str;
}

std::string CMimeWriter::NewMessageId(const std::string& strFromAddress) {
    static std::atomic<unsigned> s_nCounter{0};
    std::random_device rd;
    std::string strDomain = strFromAddress.substr(strFromAddress.find('@') + 1);
    if (strFromAddress.find('@') == std::string::npos || strDomain.empty()) strDomain = "mailhost.localdomain";
    auto nNow = std::chrono::system_clock::now().time_since_epoch().count();
    return std::to_string(nNow) + "." + std::to_string(::getpid()) + "." + std::to_string(s_nCounter++) + "." +
           std::to_string(rd()) + "@" + strDomain;
}

CResult<std::string> CMimeWriter::Compose(const CMailMessage& msg, const COptions& opts) {
    EnsureGMime();
    GObjectPtr<GMimeMessage> pMessage(g_mime_message_new(FALSE));
    if (!msg.strFrom.empty()) {
        if (CResult<> r = AddAddresses(pMessage.get(), GMIME_ADDRESS_TYPE_FROM, {msg.strFrom}); !r)
            return CProblem("sender: " + r.Problem());
    }
    QUILLORY_TRY(AddAddresses(pMessage.get(), GMIME_ADDRESS_TYPE_TO, msg.vecTo));
    QUILLORY_TRY(AddAddresses(pMessage.get(), GMIME_ADDRESS_TYPE_CC, msg.vecCc));
    QUILLORY_TRY(AddAddresses(pMessage.get(), GMIME_ADDRESS_TYPE_BCC, msg.vecBcc));
    g_mime_message_set_subject(pMessage.get(), msg.strSubject.c_str(), "utf-8");
    if (opts.bDate) {
        GDateTime* pNow = g_date_time_new_now_local();
        g_mime_message_set_date(pMessage.get(), pNow);
        g_date_time_unref(pNow);
    }
    if (!msg.strMessageId.empty()) g_mime_message_set_message_id(pMessage.get(), msg.strMessageId.c_str());
    for (const auto& [strName, strValue] : msg.vecHeaders)
        g_mime_object_append_header(GMIME_OBJECT(pMessage.get()), strName.c_str(), strValue.c_str(), "utf-8");

    GObjectPtr<GMimeObject> pBody(MakeBodyPart(msg));
    if (msg.vecAttachments.empty()) {
        g_mime_message_set_mime_part(pMessage.get(), pBody.get());
    } else {
        GObjectPtr<GMimeMultipart> pMixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(pMixed.get(), pBody.get());
        for (const auto& att : msg.vecAttachments) {
            CResult<GMimeObject*> rPart = MakeAttachmentPart(att);
            if (!rPart) return rPart.TakeProblem();
            GObjectPtr<GMimeObject> pPart(*rPart);
            g_mime_multipart_add(pMixed.get(), pPart.get());
        }
        g_mime_message_set_mime_part(pMessage.get(), GMIME_OBJECT(pMixed.get()));
    }
    return Serialise(GMIME_OBJECT(pMessage.get()), nullptr);
}

CResult<CWireMessage> CMimeWriter::PrepareForWire(const std::string& strStored, const std::string& strDefaultFrom,
                                                  const std::string& strEnvelopeFrom) {
    EnsureGMime();
    GObjectPtr<GMimeStream> pStream(g_mime_stream_mem_new_with_buffer(strStored.data(), strStored.size()));
    GObjectPtr<GMimeParser> pParser(g_mime_parser_new_with_stream(pStream.get()));
    GObjectPtr<GMimeMessage> pMessage(g_mime_parser_construct_message(pParser.get(), nullptr));
    if (!pMessage || g_mime_header_list_get_count(g_mime_object_get_header_list(GMIME_OBJECT(pMessage.get()))) == 0)
        return CProblem("the queued file is not a mail message");

    GMimeMessage* p = pMessage.get();
    if (internet_address_list_length(g_mime_message_get_from(p)) == 0) {
        if (strDefaultFrom.empty()) return CProblem("the message has no sender and no account gives one");
        GObjectPtr<InternetAddressList> pFrom(internet_address_list_parse(nullptr, strDefaultFrom.c_str()));
        if (pFrom) internet_address_list_append(g_mime_message_get_from(p), pFrom.get());
    }
    CWireMessage wire;
    wire.strFrom = strEnvelopeFrom.empty() ? FirstAddress(g_mime_message_get_from(p)) : strEnvelopeFrom;
    if (wire.strFrom.empty()) return CProblem("the message has no usable sender address");
    if (!g_mime_message_get_date(p)) {
        GDateTime* pNow = g_date_time_new_now_local();
        g_mime_message_set_date(p, pNow);
        g_date_time_unref(pNow);
    }
    if (!g_mime_message_get_message_id(p)) g_mime_message_set_message_id(p, NewMessageId(wire.strFrom).c_str());

    for (GMimeAddressType type : {GMIME_ADDRESS_TYPE_TO, GMIME_ADDRESS_TYPE_CC, GMIME_ADDRESS_TYPE_BCC})
        CollectAddresses(g_mime_message_get_addresses(p, type), wire.vecRcpt);
    if (wire.vecRcpt.empty()) return CProblem("the message has no recipients");

    GMimeFormatOptions* pFormat = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(pFormat, GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_add_hidden_header(pFormat, "Bcc");
    GMimeHeaderList* pHeaders = g_mime_object_get_header_list(GMIME_OBJECT(p));
    for (int i = 0; i < g_mime_header_list_get_count(pHeaders); ++i) {
        const char* pszName = g_mime_header_get_name(g_mime_header_list_get_header_at(pHeaders, i));
        if (pszName && g_ascii_strncasecmp(pszName, kLocalHeaderPrefix, std::strlen(kLocalHeaderPrefix)) == 0)
            g_mime_format_options_add_hidden_header(pFormat, pszName);
    }
    wire.strBytes = Serialise(GMIME_OBJECT(p), pFormat);
    g_mime_format_options_free(pFormat);
    return wire;
}
