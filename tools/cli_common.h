#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// "--name value" options and the remaining positional arguments of one subcommand.
struct Args {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;
    bool verbose = false;
};

// Parses argv[first..]; only the option names in `known` are accepted. False with a message on
// standard error for an unknown option or an option without its value.
bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& known, Args& out);

// A settings language code ("jap", "chs", …) -> id; false with a message for an unknown code.
bool ParseLanguage(const std::string& code, const char* what, unsigned& id);

int Usage();

// Subcommands.
int Translate(const Args& args);
int Env(const Args& args);

}  // namespace cli
