#pragma once
#include <string>
#include <string_view>

#include "CResult.h"

// Converts between the in-memory UTF-8 strings and the 8-bit (possibly
// multi-byte) code page of the task list file, through iconv.
class CTextCodec {
public:
    // Empty name: QUILLORY_CODEPAGE, else the locale's code set. A name
    // iconv does not know is the problem "unknown code page \"X\"".
    static CResult<CTextCodec> Open(const std::string& strCodePage = {});
    ~CTextCodec();
    CTextCodec(CTextCodec&& other) noexcept;
    CTextCodec(const CTextCodec&) = delete;
    CTextCodec& operator=(const CTextCodec&) = delete;
    CTextCodec& operator=(CTextCodec&&) = delete;

    const std::string& CodePage() const { return m_strCodePage; }
    // Characters the code page cannot represent become '?'.
    std::string FromUtf8(std::string_view strUtf8) const;
    // Bytes that do not decode become U+FFFD.
    std::string ToUtf8(std::string_view strBytes) const;
    // The same into strOut, replacing what it held; a plain text is copied
    // straight into it with one allocation of its exact size.
    void ToUtf8(std::string_view strBytes, std::string& strOut) const;
    // True when FromUtf8 would give the text back unchanged: plain ASCII,
    // and a code page that writes ASCII as it is.
    bool PassesThrough(std::string_view str) const;

    static std::string DefaultCodePage();

private:
    CTextCodec(std::string strCodePage, void* hToFile, void* hFromFile);

    std::string m_strCodePage;
    bool m_bAsciiToFile = false;    // FromUtf8 keeps every ASCII byte
    bool m_bAsciiFromFile = false;  // ToUtf8 keeps every ASCII byte
    void* m_hToFile = nullptr;
    void* m_hFromFile = nullptr;
};
