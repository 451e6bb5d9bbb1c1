// Start-up to the main window shown, with the back-end refusing connections on loopback, and the
// idle cost of the running program: CPU time and resident memory over 30 s.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "tests/e2e/desktop_session.h"

namespace {

using Clock = std::chrono::steady_clock;

long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    }
    return ticks;
}

long RssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 30;
    vl::test::XServer x;
    if (!x.Ready()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        vl::test::ProgramRun run;
        run.UseUnreachableBackend();
        const auto start = Clock::now();
        run.Start(x.Display());
        // xdotool's own --sync polls only twice a second: ask every 5 ms instead.
        while (vl::test::XdoTool(x.Display(),
                                 {"search", "--onlyvisible", "--name", "Velmora翻译-主窗口"})
                   .empty() &&
               Clock::now() - start < std::chrono::seconds(30)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto shown = Clock::now();
        run.WaitForLog("msg loop begin", std::chrono::seconds(30));
        const auto loop = Clock::now();
        std::printf("run %d: main window shown after %.1f ms, message loop after %.1f ms%s\n",
                    i + 1, std::chrono::duration<double, std::milli>(shown - start).count(),
                    std::chrono::duration<double, std::milli>(loop - start).count(),
                    i == 0 ? " (first start: settings file created)" : "");
        if (i + 1 == runs && idleSeconds > 0) {
            const long hz = ::sysconf(_SC_CLK_TCK);
            const long before = CpuTicks(run.Pid());
            std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
            const long after = CpuTicks(run.Pid());
            std::printf("idle %d s: %.0f ms CPU, resident memory %ld KiB\n", idleSeconds,
                        1000.0 * static_cast<double>(after - before) / static_cast<double>(hz),
                        RssKb(run.Pid()));
        }
        run.Signal(SIGTERM);
        run.WaitExit(std::chrono::seconds(30));
    }
    return 0;
}
