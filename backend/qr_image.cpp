#include "backend/qr_image.h"

#include <qrencode.h>
#include <stb/stb_image_write.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace backend {

namespace {

constexpr int kModulePixels = 6;
constexpr int kQuietModules = 4;

struct QrDeleter {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

void AppendPng(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

}  // namespace

bool QrPng(const std::string& text, std::string& png, std::string& error) {
    errno = 0;
    std::unique_ptr<QRcode, QrDeleter> code(QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M));
    if (!code) {
        error = std::string("QR encoding failed: ") + std::strerror(errno);
        return false;
    }
    const int modules = code->width + 2 * kQuietModules;
    const int side = modules * kModulePixels;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(side) * side, 255);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if ((code->data[y * code->width + x] & 1) == 0) {
                continue;
            }
            const int top = (y + kQuietModules) * kModulePixels;
            const int left = (x + kQuietModules) * kModulePixels;
            for (int dy = 0; dy < kModulePixels; ++dy) {
                std::memset(&pixels[static_cast<std::size_t>(top + dy) * side + left], 0,
                            kModulePixels);
            }
        }
    }
    png.clear();
    if (stbi_write_png_to_func(&AppendPng, &png, side, side, 1, pixels.data(), side) == 0) {
        error = "PNG encoding failed";
        return false;
    }
    return true;
}

}  // namespace backend
