#pragma once
#include <string>

#include <nlohmann/json.hpp>

#include "CResult.h"

// JSON text from outside (a request line, the tool's standard input), read
// so that nothing in it can end the program: every exception the JSON
// library throws becomes the problem, not only syntax. Example: "[1e400]"
// is the problem "not valid JSON: ... number overflow ...", never an abort;
// {"task": "a", "task": "b"} is one too, as no value of a key given twice
// can be taken for the one meant.
class CJsonText {
public:
    static CResult<nlohmann::ordered_json> Parse(const std::string& strText);
    // For output: bytes that are not UTF-8 (a task name from another code
    // page) are replaced rather than cost the whole text.
    static std::string Dump(const nlohmann::ordered_json& j, int nIndent = -1);
};
