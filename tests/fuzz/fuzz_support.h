#pragma once

#include <spdlog/sinks/null_sink.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "utils/vl_log.h"

// Shared by the fuzz targets: a process logger that formats every line (the log is part of what
// is fuzzed) but writes nowhere, and a check that aborts so the fuzzer keeps the input.
namespace vl::fuzz {

inline void QuietLog() {
    static const bool installed =
        vl::log::CreateProcessLogger({std::make_shared<spdlog::sinks::null_sink_mt>()});
    (void)installed;
}

#define VL_FUZZ_CHECK(condition)                                                                \
    ((condition) ? (void)0                                                                      \
                 : (std::fprintf(stderr, "%s:%d: %s failed\n", __FILE__, __LINE__, #condition), \
                    std::abort()))

// The first byte picks one of `count` readers; the rest is the input.
inline std::size_t Split(const std::uint8_t* data, std::size_t size, std::size_t count,
                         std::string& rest) {
    rest.assign(reinterpret_cast<const char*>(data), size);
    if (size == 0)
        return 0;
    rest.erase(0, 1);
    return data[0] % count;
}

}  // namespace vl::fuzz
