#include "CAddressList.h"

#include "CMimeWriter.h"

namespace {

std::string Trim(const std::string& str) {
    size_t b = str.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = str.find_last_not_of(" \t\r\n");
    return str.substr(b, e - b + 1);
}

}  // namespace

std::vector<std::string> CAddressList::Split(const std::string& strField) {
    std::vector<std::string> vec;
    std::string strPart;
    bool bQuoted = false, bAngle = false;
    auto Flush = [&] {
        if (std::string s = Trim(strPart); !s.empty()) vec.push_back(s);
        strPart.clear();
    };
    for (size_t i = 0; i < strField.size(); ++i) {
        char c = strField[i];
        if (bQuoted && c == '\\' && i + 1 < strField.size()) {
            strPart += c;
            strPart += strField[++i];
            continue;
        }
        if (c == '"' && !bAngle) bQuoted = !bQuoted;
        else if (c == '<' && !bQuoted) bAngle = true;
        else if (c == '>' && !bQuoted) bAngle = false;
        else if ((c == ';' || c == ',') && !bQuoted && !bAngle) {
            Flush();
            continue;
        }
        strPart += c;
    }
    Flush();
    return vec;
}

CResult<> CAddressList::Check(const std::string& strField, const std::string& strFieldName) {
    for (const auto& str : Split(strField)) {
        if (!CMimeWriter::ParseMailbox(str).Ok())
            return CProblem("\"" + str + "\" in the " + strFieldName +
                            " field is not a valid e-mail address. Please correct it (for example name@example.org or "
                            "Name <name@example.org>).");
    }
    return {};
}

std::string CAddressList::Join(const std::vector<std::string>& vec) {
    std::string str;
    for (const auto& s : vec) str += (str.empty() ? "" : "; ") + s;
    return str;
}
