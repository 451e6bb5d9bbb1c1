#include "logic/local_ocr.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// Indexed by LanguageId: chs, cht, eng, jap, kor, por, spa, fre, rus.
constexpr std::array<std::string_view, vl::kLanguageCount> kModels = {
    "chi_sim", "chi_tra", "eng", "jpn", "kor", "por", "spa", "fra", "rus"};
constexpr std::array<bool, vl::kLanguageCount> kHasVertical = {true,  true,  false, true, true,
                                                               false, false, false, false};
constexpr std::string_view kVerticalSuffix = "_vert";
constexpr std::string_view kDataSuffix = ".traineddata";
constexpr double kMaxScaledPixels = 12e6;

// Debian's Tesseract parallelises inside one line with OpenMP and asks for more threads than two
// shared cores have: the waits between them cost more than they gain (a warm crop took four times
// as long). With no active parallel levels every region runs on the calling thread. Reached
// through the loader so nothing else of OpenMP is needed to build.
void RunTesseractSerially() {
    using SetLevels = void (*)(int);
    static const bool done = [] {
        if (auto set =
                reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"))) {
            set(0);
        }
        return true;
    }();
    (void)done;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Han, kana, CJK symbols and full-width forms: scripts written without spaces. Hangul is not
// among them (Korean separates words with spaces). Surrogates stand for the rare ideographs.
bool IsCjk(char16_t c) {
    return (c >= 0x2E80 && c <= 0x2FDF) || (c >= 0x3000 && c <= 0x30FF) ||
           (c >= 0x31F0 && c <= 0x31FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF01 && c <= 0xFF60) ||
           (c >= 0xFF61 && c <= 0xFF9F) || (c >= 0xD800 && c <= 0xDFFF);
}

char16_t FullWidth(char16_t c) {
    switch (c) {
        case u'!':
            return u'！';
        case u'?':
            return u'？';
        case u',':
            return u'，';
        case u':':
            return u'：';
        case u';':
            return u'；';
        case u'(':
            return u'（';
        case u')':
            return u'）';
        default:
            return 0;
    }
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\u3000';
}

// The crop as 8-bit grey, dark text on a light ground, scaled up when its text is small.
struct Prepared {
    std::vector<std::uint8_t> grey;
    int width = 0;
    int height = 0;
    double scale = 1.0;
    bool inverted = false;
};

// Median extent of the ink runs across `lines` (rows for horizontal text, columns for vertical):
// about the text height. 0 when nothing stands out from the ground.
int TextExtent(const std::vector<std::uint8_t>& grey, int w, int h, bool vertical) {
    std::array<int, 256> histogram{};
    for (std::uint8_t v : grey)
        ++histogram[v];
    int darkest = 0;
    while (darkest < 255 && histogram[darkest] == 0)
        ++darkest;
    const int ground =
        static_cast<int>(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    if (ground - darkest < 48) {
        return 0;
    }
    const int threshold = (ground + darkest) / 2;
    const int n = vertical ? w : h;
    const int m = vertical ? h : w;
    std::vector<int> runs;
    int run = 0;
    for (int i = 0; i <= n; ++i) {
        bool ink = false;
        for (int j = 0; i < n && j < m && !ink; ++j) {
            const std::size_t at = vertical ? std::size_t(j) * w + i : std::size_t(i) * w + j;
            ink = grey[at] < threshold;
        }
        if (ink) {
            ++run;
        } else if (run > 0) {
            if (run >= 4) {  // specks and underlines are not lines
                runs.push_back(run);
            }
            run = 0;
        }
    }
    if (runs.empty()) {
        return 0;
    }
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    return runs[runs.size() / 2];
}

Prepared Prepare(const OcrCrop& crop, bool vertical, int minTextHeight) {
    Prepared p;
    const int w = crop.width;
    const int h = crop.height;
    std::vector<std::uint8_t> grey(std::size_t(w) * h);
    const auto* rgb = reinterpret_cast<const std::uint8_t*>(crop.rgb.data());
    std::array<int, 256> histogram{};
    for (std::size_t i = 0; i < grey.size(); ++i) {
        const std::uint8_t* px = rgb + i * 3;
        grey[i] = static_cast<std::uint8_t>((px[0] * 77 + px[1] * 150 + px[2] * 29) >> 8);
        ++histogram[grey[i]];
    }
    // The commonest shade is the ground; on a dark ground the text is light.
    const int ground =
        static_cast<int>(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    if (ground < 128) {
        p.inverted = true;
        for (std::uint8_t& v : grey)
            v = static_cast<std::uint8_t>(255 - v);
    }
    const int extent = TextExtent(grey, w, h, vertical);
    if (extent > 0 && extent < minTextHeight) {
        // At most 4 times, and never beyond kMaxScaledPixels: a whole screen of small text
        // would otherwise take seconds and hundreds of megabytes.
        const double room = std::sqrt(kMaxScaledPixels / (double(w) * h));
        p.scale = std::min({4.0, double(minTextHeight + 8) / extent, std::max(1.0, room)});
    }
    if (p.scale == 1.0) {
        p.grey = std::move(grey);
        p.width = w;
        p.height = h;
        return p;
    }
    // Bilinear: glyph edges stay smooth, which the models read better than blocky pixels.
    p.width = std::max(1, int(std::lround(w * p.scale)));
    p.height = std::max(1, int(std::lround(h * p.scale)));
    p.grey.resize(std::size_t(p.width) * p.height);
    const double sx = double(w) / p.width;
    const double sy = double(h) / p.height;
    for (int y = 0; y < p.height; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, double(h - 1));
        const int y0 = int(fy);
        const int y1 = std::min(y0 + 1, h - 1);
        const double ty = fy - y0;
        for (int x = 0; x < p.width; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, double(w - 1));
            const int x0 = int(fx);
            const int x1 = std::min(x0 + 1, w - 1);
            const double tx = fx - x0;
            const double top =
                grey[std::size_t(y0) * w + x0] * (1 - tx) + grey[std::size_t(y0) * w + x1] * tx;
            const double bottom =
                grey[std::size_t(y1) * w + x0] * (1 - tx) + grey[std::size_t(y1) * w + x1] * tx;
            p.grey[std::size_t(y) * p.width + x] =
                static_cast<std::uint8_t>(std::lround(top * (1 - ty) + bottom * ty));
        }
    }
    return p;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r'))
        s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ')
        ++start;
    return s.substr(start);
}

}  // namespace

struct LocalOcr::Model {
    std::string name;
    tesseract::TessBaseAPI api;
    std::uint64_t lastUse = 0;
    ~Model() { api.End(); }
};

LocalOcr::LocalOcr(std::string dataDir) : dataDir_(std::move(dataDir)) {}

LocalOcr::~LocalOcr() = default;

std::string LocalOcr::ModelName(LanguageId lang, bool vertical) {
    if (lang >= kModels.size()) {
        return {};
    }
    std::string name(kModels[lang]);
    if (vertical && kHasVertical[lang]) {
        name += kVerticalSuffix;
    }
    return name;
}

bool LocalOcr::IsVerticalModel(const std::string& model) {
    return model.ends_with(kVerticalSuffix);
}

std::string LocalOcr::PackageName(const std::string& model) {
    std::string name = "tesseract-ocr-" + model;
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
}

std::vector<std::string> LocalOcr::InstalledModels(const std::string& dataDir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dataDir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (file.ends_with(kDataSuffix) && file != "osd.traineddata") {
            names.push_back(file.substr(0, file.size() - kDataSuffix.size()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string LocalOcr::Normalise(const std::string& utf8) {
    const std::u16string in = vl::ToUnicodeW(utf8);
    std::u16string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char16_t c = in[i];
        if (IsSpace(c)) {
            // A gap between CJK characters is the model's, not the text's.
            std::size_t next = i;
            while (next < in.size() && IsSpace(in[next]))
                ++next;
            const bool cjkBefore = !out.empty() && IsCjk(out.back());
            const bool cjkAfter = next < in.size() && (IsCjk(in[next]) || FullWidth(in[next]) != 0);
            if (cjkBefore && cjkAfter) {
                i = next - 1;
                continue;
            }
            out.push_back(c);
            continue;
        }
        const char16_t wide = FullWidth(c);
        if (wide != 0 && !out.empty() && IsCjk(out.back())) {
            out.push_back(wide);
            continue;
        }
        out.push_back(c);
    }
    return vl::ToUtf8(out);
}

LocalOcr::Model* LocalOcr::Get(const std::string& name, std::string& error) {
    lastLoadMs_ = 0;
    for (auto& m : models_) {
        if (m->name == name) {
            m->lastUse = ++uses_;
            return m.get();
        }
    }
    const std::string file = dataDir_ + "/" + name + std::string(kDataSuffix);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        VL_ERROR("local ocr model {} not found at \"{}\", install the Debian package {}", name,
                 file, PackageName(name));
        error = "ocr : 缺少识别模型，请安装 " + PackageName(name);
        return nullptr;
    }
    if (models_.size() >= kMaxModels) {
        auto oldest =
            std::min_element(models_.begin(), models_.end(),
                             [](const auto& a, const auto& b) { return a->lastUse < b->lastUse; });
        VL_INFO("local ocr model {} released", (*oldest)->name);
        models_.erase(oldest);
    }
    RunTesseractSerially();
    const std::int64_t start = NowMs();
    auto model = std::make_unique<Model>();
    model->name = name;
    // Tesseract reports its own problems on standard error; those go to the log instead.
    if (model->api.Init(dataDir_.c_str(), name.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
        VL_ERROR("local ocr model {} at \"{}\" could not be loaded", name, file);
        error = "ocr : 识别模型无法读取，请重新安装 " + PackageName(name);
        return nullptr;
    }
    model->api.SetVariable("debug_file", "/dev/null");
    // Screen text has no meaningful resolution; this keeps the models' size assumptions sane.
    model->api.SetVariable("user_defined_dpi", "300");
    model->api.SetVariable("preserve_interword_spaces", "1");
    // The ground was made light before recognition; a second, inverted pass per unsure line
    // would only double the time.
    model->api.SetVariable("tessedit_do_invert", "0");
    model->lastUse = ++uses_;
    lastLoadMs_ = NowMs() - start;
    VL_INFO("local ocr model {} loaded in {} ms", name, lastLoadMs_);
    models_.push_back(std::move(model));
    return models_.back().get();
}

bool LocalOcr::Load(LanguageId lang, bool vertical, std::string& error) {
    const std::string name = ModelName(lang, vertical);
    if (name.empty()) {
        VL_ERROR("src lang {} is not supported", lang);
        error = "ocr : src lang " + std::to_string(lang) + " is not supported";
        return false;
    }
    return Get(name, error) != nullptr;
}

bool LocalOcr::Recognise(const OcrCrop& crop, LanguageId lang, LanguageId dstLang, bool vertical,
                         std::vector<TranslateLine>& lines, std::string& error) {
    if (!crop.Valid()) {
        VL_WARN("local ocr crop is invalid, {}x{}, {} bytes", crop.width, crop.height,
                crop.rgb.size());
        error = "ocr : 截图无效";
        return false;
    }
    const std::string name = ModelName(lang, vertical);
    if (name.empty()) {
        VL_ERROR("src lang {} is not supported", lang);
        error = "ocr : src lang " + std::to_string(lang) + " is not supported";
        return false;
    }
    Model* model = Get(name, error);
    if (model == nullptr) {
        return false;
    }
    const bool columns = IsVerticalModel(name);
    const Prepared p = Prepare(crop, columns, minTextHeight_);
    tesseract::TessBaseAPI& api = model->api;
    // A region is chosen around one block of text; the automatic page layout mistakes some
    // scripts (Hangul among them) for pictures and returns nothing.
    api.SetPageSegMode(columns ? tesseract::PSM_SINGLE_BLOCK_VERT_TEXT
                               : tesseract::PSM_SINGLE_BLOCK);
    api.SetImage(p.grey.data(), p.width, p.height, 1, p.width);
    if (api.Recognize(nullptr) != 0) {
        VL_ERROR("local ocr recognition failed, model {}", name);
        error = "ocr : 文字识别失败";
        api.Clear();
        return false;
    }
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    const auto back = [&p](int v, int limit) {
        return std::clamp(static_cast<std::int32_t>(std::lround(v / p.scale)), 0, limit);
    };
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_TEXTLINE)) {
                continue;
            }
            std::unique_ptr<char[]> raw(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            const std::string text = raw ? Normalise(Trimmed(raw.get())) : std::string();
            int l = 0, t = 0, r = 0, b = 0;
            if (text.empty() || !it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b)) {
                continue;
            }
            TranslateLine line;
            line.lang = lang;
            line.dstLang = dstLang;
            line.text = text;
            line.vertical = columns;
            line.rect = {back(l, crop.width), back(t, crop.height), back(r, crop.width),
                         back(b, crop.height)};
            line.points = {TranslatePoint{line.rect[0], line.rect[1]},
                           TranslatePoint{line.rect[2], line.rect[1]},
                           TranslatePoint{line.rect[2], line.rect[3]},
                           TranslatePoint{line.rect[0], line.rect[3]}};
            lines.push_back(std::move(line));
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    it.reset();
    api.Clear();
    return true;
}
