#include "OmSupport.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace om {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string_view sv) {
    size_t b = sv.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    size_t e = sv.find_last_not_of(" \t\r\n");
    return std::string(sv.substr(b, e - b + 1));
}

std::vector<std::string> SplitRecipients(const std::string& str) {
    std::vector<std::string> vec;
    size_t start = 0;
    for (;;) {
        size_t pos = str.find(';', start);
        std::string part =
            Trim(std::string_view(str).substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (!part.empty()) vec.push_back(part);
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return vec;
}

std::string JoinRecipients(const std::vector<std::string>& vec) {
    std::string out;
    for (const auto& s : vec) {
        if (!out.empty()) out += "; ";
        out += s;
    }
    return out;
}

std::string ContentTypeFor(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::pair<const char*, const char*> kTypes[] = {
        {".txt", "text/plain"}, {".htm", "text/html"},       {".html", "text/html"},
        {".csv", "text/csv"},   {".pdf", "application/pdf"}, {".zip", "application/zip"},
        {".png", "image/png"},  {".jpg", "image/jpeg"},      {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},  {".xml", "application/xml"}, {".json", "application/json"},
    };
    for (const auto& [pszExt, pszType] : kTypes)
        if (ext == pszExt) return pszType;
    return "application/octet-stream";
}

int32_t IndexOf(const CVariant& v) {
    auto n = v.AsInt();
    return n ? *n : 0;
}

}  // namespace om
