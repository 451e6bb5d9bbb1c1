#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The records that travel through the translation engine.

using LanguageId = std::uint32_t;

namespace vl {

inline constexpr LanguageId kLanguageCount = 9;

// Settings code ("chs", "cht", "eng", "jap", "kor", "por", "spa", "fre", "rus") -> id; 0 for an
// empty or unknown code.
LanguageId LangCodeToId(const std::string& code);

// Id -> settings code; empty for an id outside the table.
std::string LangIdToCode(LanguageId id);

}  // namespace vl

// The captured region as pixels: R, G, B bytes, top row first, width × 3 bytes a row.
struct OcrCrop {
    std::string rgb;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool Valid() const {
        return width > 0 && height > 0 &&
               rgb.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    }
};

// One capture to be recognised and translated.
struct TranslateTask {
    std::uint32_t id = 0;
    std::uint32_t srcLang = 0;
    std::uint32_t dstLang = 0;
    std::string image;  // JPEG file bytes, for the online engines
    OcrCrop crop;       // the same picture unencoded, for the local engine
    std::string ocrVendor;
    std::string logId;
    std::string ocrErrInfo;
    std::int64_t ocrTime = 0;
    std::string transVendor;
    std::string transErrInfo;
    std::int64_t transTime = 0;
};

struct TranslatePoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const TranslatePoint&) const = default;
};

// One recognised line; rect is left, top, right, bottom in pixels of the submitted image.
struct TranslateLine {
    std::uint32_t lang = 0;
    std::uint32_t dstLang = 0;
    std::string text;  // UTF-8
    std::u16string translation;
    bool vertical = false;
    std::array<std::int32_t, 4> rect{};
    std::array<TranslatePoint, 4> points{};
};

// Receives each finished task on the translator's task thread, with both records handed over.
class ITranslatorCallback {
public:
    virtual void OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask task,
                                    std::vector<TranslateLine> lines) = 0;

protected:
    ~ITranslatorCallback() = default;
};
