// Queued request throughput against a loopback server, and what the two HTTP threads cost while
// idle.
#include <benchmark/benchmark.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "tests/support/loopback_server.h"
#include "utils/vl_http.h"

namespace {

void BM_QueuedGet(benchmark::State& state) {
    vl::test::LoopbackServer server;
    server.Get("/ping", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"code":0,"msg":"ok","data":{}})", "application/json");
    });
    server.Start();
    vl::Http* http = vl::Http::Instance();
    http->Init();
    const int batch = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::atomic<int> done{0};
        for (int i = 0; i < batch; ++i) {
            http->GetAsync([&done](bool, auto&&...) { ++done; }, server.Url("/ping"),
                           {{"Access-Token", ""}, {"Content-Type", "application/json"}});
        }
        while (done < batch)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    http->Uninit();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * batch);
}
BENCHMARK(BM_QueuedGet)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// Context switches and CPU ticks of the named HTTP threads.
struct ThreadCost {
    long switches = 0;
    long ticks = 0;
};

std::map<std::string, ThreadCost> HttpThreadCosts() {
    std::map<std::string, ThreadCost> out;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr)
        return out;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        std::string comm;
        std::ifstream(base + "/comm") >> comm;
        if (comm.rfind("http-", 0) != 0)
            continue;
        ThreadCost c;
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                c.switches += std::stol(line.substr(24));
            if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                c.switches += std::stol(line.substr(27));
        }
        std::ifstream stat(base + "/stat");
        std::string field;
        for (int i = 1; i <= 15 && stat >> field; ++i) {
            if (i == 14 || i == 15)
                c.ticks += std::stol(field);  // utime, stime
        }
        out[comm] = c;
    }
    closedir(dir);
    return out;
}

// Both threads idle for 10 s: how often they woke and how much CPU they used.
void BM_IdleThreads10s(benchmark::State& state) {
    vl::Http* http = vl::Http::Instance();
    http->Init();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (auto _ : state) {
        const auto before = HttpThreadCosts();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const auto after = HttpThreadCosts();
        long wakeups = 0;
        long ticks = 0;
        for (const auto& [name, cost] : after) {
            wakeups += cost.switches - before.at(name).switches;
            ticks += cost.ticks - before.at(name).ticks;
        }
        state.counters["threads"] = static_cast<double>(after.size());
        state.counters["wakeups"] = static_cast<double>(wakeups);
        state.counters["cpu_ticks"] = static_cast<double>(ticks);
    }
    http->Uninit();
}
BENCHMARK(BM_IdleThreads10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
