#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "logic/translate_types.h"

namespace tesseract {
class TessBaseAPI;
}

// Text recognition on this machine: Tesseract's LSTM models read from a folder of trained data.
// Works on the pixels of a capture as they are in memory. Models are loaded on first use and kept
// warm; at most kMaxModels are held, the least recently used one goes first. An object is used by
// one thread at a time (the translator's task thread, or a tool's main thread).
class LocalOcr {
public:
    static constexpr std::size_t kMaxModels = 2;
    // Text lines lower than this (in pixels) are scaled up before recognition: below it the
    // models start to confuse strokes.
    static constexpr int kMinTextHeight = 24;

    explicit LocalOcr(std::string dataDir);
    ~LocalOcr();
    LocalOcr(const LocalOcr&) = delete;
    LocalOcr& operator=(const LocalOcr&) = delete;

    // The model for a language and text direction ("jpn", "jpn_vert"); a language without a
    // vertical model uses its horizontal one. Empty for an id outside the language table.
    static std::string ModelName(LanguageId lang, bool vertical);
    static bool IsVerticalModel(const std::string& model);
    // The Debian package that ships a model ("chi_sim_vert" -> "tesseract-ocr-chi-sim-vert").
    static std::string PackageName(const std::string& model);
    // The models installed in `dataDir`, by name, sorted ("osd" is not a language and left out).
    static std::vector<std::string> InstalledModels(const std::string& dataDir);

    // What a translator needs of recognised text: no white space between CJK characters,
    // full-width punctuation after CJK text; anything else unchanged.
    static std::string Normalise(const std::string& utf8);

    // Makes the model for `lang` warm. False with a user-facing `error` (naming the package to
    // install when the file is missing); the reason is logged.
    bool Load(LanguageId lang, bool vertical, std::string& error);

    // Recognises `crop` and appends one line per text line found, boxes in the crop's pixels.
    // Vertical text gives columns with `vertical` set when a vertical model exists for `lang`.
    bool Recognise(const OcrCrop& crop, LanguageId lang, LanguageId dstLang, bool vertical,
                   std::vector<TranslateLine>& lines, std::string& error);

    // The height below which text is scaled up; 0 turns scaling off (measurements).
    void SetMinTextHeight(int px) { minTextHeight_ = px; }

    // Milliseconds the last model load took (0 when the model was warm).
    std::int64_t LastLoadMs() const { return lastLoadMs_; }

private:
    struct Model;
    Model* Get(const std::string& model, std::string& error);

    std::string dataDir_;
    std::vector<std::unique_ptr<Model>> models_;
    std::uint64_t uses_ = 0;
    std::int64_t lastLoadMs_ = 0;
    int minTextHeight_ = kMinTextHeight;
};
