#include <benchmark/benchmark.h>

#include "tests/support/log_capture.h"

// Benchmarks log into the capture sink, so the process logger's output never mixes with theirs.
int main(int argc, char** argv) {
    vl::test::InstallTestLogger();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
