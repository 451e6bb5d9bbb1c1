#include "utils/vl_uuid.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstring>

#include "utils/vl_log.h"

namespace vl {

bool UuidGen(Uuid& uuid) {
    unsigned char raw[16];
    const int rc = RAND_bytes(raw, sizeof(raw));
    if (rc == 0) {
        VL_ERROR("RAND_bytes failed with {}, error {}", rc, ERR_get_error());
        return false;
    }
    if (rc < 0) {
        VL_ERROR("RAND_bytes not supported, failed with {}, error {}", rc, ERR_get_error());
        return false;
    }
    std::memcpy(&uuid.data1, raw, 4);
    std::memcpy(&uuid.data2, raw + 4, 2);
    std::memcpy(&uuid.data3, raw + 6, 2);
    std::memcpy(uuid.data4, raw + 8, 8);
    uuid.data3 = static_cast<std::uint16_t>((uuid.data3 % 4096) | 0x4000);
    uuid.data4[0] = static_cast<std::uint8_t>((uuid.data4[0] % 64) | 0x80);
    return true;
}

bool UuidGenWithoutDash(std::string& out) {
    Uuid u;
    if (!UuidGen(u)) {
        VL_ERROR("UuidGen failed");
        return false;
    }
    char buf[33];
    std::snprintf(buf, sizeof(buf), "%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", u.data1, u.data2,
                  u.data3, u.data4[0], u.data4[1], u.data4[2], u.data4[3], u.data4[4], u.data4[5],
                  u.data4[6], u.data4[7]);
    out.assign(buf, 32);
    return true;
}

}  // namespace vl
