#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace vl::test {

// An Xvfb server of the test's own on a free display number, optionally with a window manager
// (openbox) managing it and a tray host (trayer, 24 pixels high in the top right corner);
// stopped with the object.
class XServer {
public:
    // `without` names server extensions left out (e.g. "MIT-SHM").
    explicit XServer(const std::string& screen = "1280x800x24", bool windowManager = false,
                     bool trayHost = false, const std::vector<std::string>& without = {});
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Ready() const { return ready_; }
    std::string Display() const { return ":" + std::to_string(number_); }

private:
    int number_ = -1;
    pid_t pid_ = -1;
    pid_t windowManager_ = -1;
    pid_t trayHost_ = -1;
    bool ready_ = false;
};

// The installed program in a folder of its own (executable, resource/, and whatever the test
// puts beside it: velmora.xml, velmora-services.json), started on a display.
class ProgramRun {
public:
    ProgramRun();
    // The program at `executable` as it stands (an unpacked package); the folder only keeps its
    // standard error.
    explicit ProgramRun(std::string executable);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    const TempDir& Dir() const { return dir_; }
    // A back-end address that refuses connections at once.
    void UseUnreachableBackend();

    // Starts the program with `env` added and `args`; `display` empty runs it without DISPLAY.
    bool Start(const std::string& display, const std::map<std::string, std::string>& env = {},
               const std::vector<std::string>& args = {});
    pid_t Pid() const { return pid_; }
    void Signal(int sig);
    // Waits for the program to end; its exit code, or -1 (killed after `timeout`).
    int WaitExit(std::chrono::milliseconds timeout);
    // Waits until the log holds a line whose message is `text`.
    bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout);
    // The messages of the log file, in order (the text after the line's prefix).
    std::vector<std::string> LogMessages() const;
    // What the program wrote on standard error (after it ended).
    std::string Stderr() const;

private:
    TempDir dir_;
    std::string executable_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// The layer probe (x11_probe) in one mode on a display; what it prints goes to a file.
class ProbeRun {
public:
    ProbeRun(const std::string& display, const std::string& mode,
             const std::map<std::string, std::string>& env = {});
    ~ProbeRun();

    // Waits for a printed line that starts with `prefix`; the line, or empty.
    std::string WaitForLine(const std::string& prefix, std::chrono::milliseconds timeout) const;
    // Every line it printed so far.
    std::string Output() const;
    int WaitExit(std::chrono::milliseconds timeout);

private:
    TempDir dir_;
    pid_t pid_ = -1;
};

// True when `expected` appears in `messages` in this order (other lines may come between).
bool InOrder(const std::vector<std::string>& messages, const std::vector<std::string>& expected,
             std::string* missing);

// Runs xdotool with `args` on `display`; its standard output.
std::string XdoTool(const std::string& display, const std::vector<std::string>& args);

}  // namespace vl::test
