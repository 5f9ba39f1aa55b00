#pragma once
#include <optional>
#include <string>
#include <vector>

// The options of one command: "--name VALUE", "--name=VALUE" and flags,
// taken one by one; whatever is left over is a usage error. e.g. for
// {"--user", "zoe", "--password-stdin"}: Value("--user") is "zoe",
// Flag("--password-stdin") is true, and Leftover() is empty.
class CArgs {
public:
    explicit CArgs(std::vector<std::string> vecArgs) : m_vecArgs(std::move(vecArgs)) {}

    bool Flag(const std::string& strName);
    // The option's value; none when it is not given. A name without a
    // value is recorded as a usage problem.
    std::optional<std::string> Value(const std::string& strName);
    // The first usage problem: a value missing or an argument not taken.
    std::optional<std::string> Problem() const;

private:
    std::vector<std::string> m_vecArgs;
    std::vector<bool> m_vecTaken = std::vector<bool>(m_vecArgs.size(), false);
    std::optional<std::string> m_strProblem;
};
