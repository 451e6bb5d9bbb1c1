// velmora-cli: the program's engine on the command line, for checking service keys and for bug
// reports.
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "logic/translate_types.h"
#include "tools/cli_common.h"
#include "utils/vl_log.h"

namespace cli {

bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& known, Args& out) {
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-v" || arg == "--verbose") {
            out.verbose = true;
            continue;
        }
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            const std::string name = arg.substr(2);
            bool isKnown = false;
            for (const auto& k : known)
                isKnown |= (k == name);
            if (!isKnown) {
                std::cerr << "velmora-cli: unknown option " << arg << "\n";
                return false;
            }
            if (i + 1 >= argc) {
                std::cerr << "velmora-cli: option " << arg << " needs a value\n";
                return false;
            }
            out.options[name] = argv[++i];
            continue;
        }
        out.positional.push_back(arg);
    }
    return true;
}

bool ParseLanguage(const std::string& code, const char* what, unsigned& id) {
    id = vl::LangCodeToId(code);
    if (vl::LangIdToCode(id) != code) {
        std::cerr << "velmora-cli: unknown " << what << " language \"" << code
                  << "\" (use chs, cht, eng, jap, kor, por, spa, fre or rus)\n";
        return false;
    }
    return true;
}

int Usage() {
    std::cerr
        << "usage: velmora-cli [-v] COMMAND ...\n"
           "  translate --from CODE --to CODE [--engine youdao|openai|deepl|baidu] [TEXT]\n"
           "      translate TEXT, or every line of standard input, in one request\n"
           "      (the services file's engine unless --engine names one)\n"
           "  ocr IMAGE.jpg [--engine baidu|youdao|local] [--from CODE]\n"
           "      recognise the text of a JPEG, one line per text line:\n"
           "      left,top,right,bottom<TAB>h|v<TAB>text\n"
           "  run IMAGE.jpg [--from CODE] [--to CODE] [--direction horizontal|vertical]\n"
           "                [--ocr auto|online|local]\n"
           "      recognise and translate a JPEG as the program does, one line per line:\n"
           "      left,top,right,bottom<TAB>h|v<TAB>text<TAB>translation\n"
           "      (vendors, timings and errors go to standard error)\n"
           "  env\n"
           "      what the program knows of its host, for bug reports, and the OCR\n"
           "      languages installed for the local engine\n"
           "  request-code --phone NUMBER\n"
           "      ask the back-end to send a sign-in code to NUMBER\n"
           "  login-phone --phone NUMBER --code CODE\n"
           "      sign in with the code, print the account and keep the token in the\n"
           "      settings, as the program does\n"
           "  account\n"
           "      print the account of the token in the settings (name: value lines)\n"
           "language codes: chs cht eng jap kor por spa fre rus\n"
           "ocr, run and the account commands read velmora.xml beside this program and fetch\n"
           "the remote configuration; exit status 0 ok, 1 failed, 2 bad arguments\n"
           "or an unreadable or non-JPEG image\n"
           "-v writes the program's log to standard error\n";
    return kExitUsage;
}

}  // namespace cli

int main(int argc, char** argv) {
    int first = 1;
    bool verbose = false;
    while (first < argc &&
           (std::strcmp(argv[first], "-v") == 0 || std::strcmp(argv[first], "--verbose") == 0)) {
        verbose = true;
        ++first;
    }
    if (first >= argc) {
        return cli::Usage();
    }
    const std::string command = argv[first];

    cli::Args args;
    struct Command {
        const char* name;
        std::vector<std::string> options;
        int (*run)(const cli::Args&);
    };
    const Command commands[] = {
        {"translate", {"from", "to", "engine"}, &cli::Translate},
        {"ocr", {"engine", "from"}, &cli::Ocr},
        {"run", {"from", "to", "direction", "ocr"}, &cli::Run},
        {"env", {}, &cli::Env},
        {"request-code", {"phone"}, &cli::RequestCode},
        {"login-phone", {"phone", "code"}, &cli::LoginPhone},
        {"account", {}, &cli::Account},
    };
    for (const Command& c : commands) {
        if (command != c.name) {
            continue;
        }
        if (!cli::ParseArgs(argc, argv, first + 1, c.options, args)) {
            return cli::Usage();
        }
        verbose |= args.verbose;
        // Standard output carries the results only; the log goes to standard error on request.
        spdlog::sink_ptr sink;
        if (verbose) {
            sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        } else {
            sink = std::make_shared<spdlog::sinks::null_sink_mt>();
        }
        vl::log::CreateProcessLogger({sink});
        const int rc = c.run(args);
        vl::log::FlushProcessLogger();
        return rc;
    }
    std::cerr << "velmora-cli: unknown command \"" << command << "\"\n";
    return cli::Usage();
}
