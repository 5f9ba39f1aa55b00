#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

// Converts between the in-memory UTF-8 strings and the 8-bit (possibly
// multi-byte) code page of the task list file, through iconv.
class CTextCodec {
public:
    class CUnknownCodePage : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Empty name: QUILLORY_CODEPAGE, else the locale's code set.
    // Throws CUnknownCodePage for a name iconv does not know.
    explicit CTextCodec(const std::string& strCodePage = {});
    ~CTextCodec();
    CTextCodec(const CTextCodec&) = delete;
    CTextCodec& operator=(const CTextCodec&) = delete;

    const std::string& CodePage() const { return m_strCodePage; }
    // Characters the code page cannot represent become '?'.
    std::string FromUtf8(std::string_view strUtf8) const;
    // Bytes that do not decode become U+FFFD.
    std::string ToUtf8(std::string_view strBytes) const;
    // True when the text is the same in UTF-8 and in the code page.
    bool PassesThrough(std::string_view str) const;

    static std::string DefaultCodePage();

private:
    std::string m_strCodePage;
    bool m_bAsciiCompatible = false;
    void* m_hToFile = nullptr;
    void* m_hFromFile = nullptr;
};
