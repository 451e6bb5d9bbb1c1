#pragma once

#include <cstdint>
#include <string>

namespace vl {

struct Uuid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

// Fills `uuid` with a random version-4 UUID (OpenSSL RAND_bytes). False when no random bytes
// could be had.
bool UuidGen(Uuid& uuid);

// 32 lower-case hexadecimal digits of a fresh UUID; `out` is unchanged on failure.
bool UuidGenWithoutDash(std::string& out);

}  // namespace vl
