#pragma once

#include <map>
#include <string>
#include <vector>

struct TranslateLine;
struct OcrCrop;

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

// For the engine subcommands: false with a message when the file cannot be read or is not a
// JPEG (no FF D8 FF start).
bool ReadJpeg(const std::string& command, const std::string& path, std::string& bytes);
// The JPEG's pixels for the local engine; false with a message when it cannot be decoded.
bool DecodeJpeg(const std::string& command, const std::string& bytes, OcrCrop& crop);

// Starts what the program starts before a capture: the transport and the configuration
// (settings file beside the executable, remote configuration).
class EngineSession {
public:
    explicit EngineSession(const std::string& command);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

private:
    bool curlReady_ = false;
};

// A language code from the settings -> id; an unknown code is reported and read as the
// program reads it.
void SettingsLanguage(const std::string& code, const char* what, unsigned& id);

// "left,top,right,bottom<TAB>h|v<TAB>text", then "<TAB>translation" when given.
void PrintLine(const TranslateLine& line, const std::string* translation);

// Subcommands.
int Translate(const Args& args);
int Ocr(const Args& args);
int Run(const Args& args);
int Env(const Args& args);
int RequestCode(const Args& args);
int LoginPhone(const Args& args);
int Account(const Args& args);

}  // namespace cli
