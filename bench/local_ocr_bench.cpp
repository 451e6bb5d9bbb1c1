// The local OCR engine over a corpus it draws itself: character error rate per language after
// normalisation, where small text needs scaling up, warm recognition of an 800×300 crop with
// three lines, first load, and the command-line tesseract on the same crops. Run by hand:
//   QT_QPA_PLATFORM=offscreen build/tests/ui/local_ocr_bench [--no-cli]
#include <spdlog/spdlog.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "logic/local_ocr.h"
#include "tests/ui/ocr_render.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

namespace {

struct Language {
    const char* name;
    LanguageId id;
    const char* family;
    bool vertical;
    const char* heads;  // sentences are every head with every tail, '|' between halves
    const char* tails;
};

const char kJpnHeads[] =
    "今日は天気がいいので|駅前の新しい店で|週末になったら家族と|この本を読み終えたら|"
    "明日の会議の前に|電車が遅れたせいで|夏休みの間にもう一度|先生に言われた通りに";
const char kJpnTails[] =
    "散歩に行きます|友達と話しました|映画を見たいです|資料を確認する|少し休みましょう|手紙を書いた";
const char kChsHeads[] =
    "今天下午我们一起|这家餐厅的老板|如果明天不下雨|图书馆里的学生|公司决定在下个月|"
    "我的朋友刚刚|他们在会议结束后|这个城市的夜晚";
const char kChsTails[] = "去公园散步|准备了晚饭|开始新的计划|讨论了问题|看起来很安静|买了一本书";

const Language kLanguages[] = {
    {"jpn", 3, "Noto Sans CJK JP", false, kJpnHeads, kJpnTails},
    {"chs", 0, "Noto Sans CJK SC", false, kChsHeads, kChsTails},
    {"cht", 1, "Noto Sans CJK TC", false,
     "今天下午我們一起|這家餐廳的老闆|如果明天不下雨|圖書館裡的學生|公司決定在下個月|我的朋友剛剛|"
     "他們在會議結束後|這個城市的夜晚",
     "去公園散步|準備了晚飯|開始新的計劃|討論了問題|看起來很安靜|買了一本書"},
    {"kor", 4, "Noto Sans CJK KR", false,
     "오늘은 날씨가 좋아서 |역 앞의 새 가게에서 |주말이 되면 가족과 |이 책을 다 읽으면 |내일 회의 "
     "전에 |"
     "기차가 늦어서 |여름 방학 동안 |선생님 말씀대로 ",
     "산책을 갑니다|친구와 이야기했다|영화를 보고 싶어요|자료를 확인한다|조금 쉬어요|편지를 썼다"},
    {"eng", 2, "Noto Sans", false,
     "The quick brown fox |Our next meeting |Every morning she |The old library |"
     "After the long storm |My best friend |This small village |The new manager ",
     "jumps over the lazy dog.|starts at nine.|reads the news first.|was closed today.|"
     "the river rose again.|moved to Berlin."},
    {"jpn vertical", 3, "Noto Sans CJK JP", true, kJpnHeads, kJpnTails},
    {"chs vertical", 0, "Noto Sans CJK SC", true, kChsHeads, kChsTails},
};

const QColor kLightInk(235, 235, 235), kDarkGround(30, 30, 36);

std::vector<std::string> Halves(const char* text) {
    std::vector<std::string> out;
    vl::Split(text, "|", out);
    return out;
}

// What a reader compares: no white space in CJK text, single spaces in spaced scripts.
std::u16string Comparable(const std::string& utf8, bool spaced) {
    std::u16string out;
    for (char16_t c : vl::ToUnicodeW(utf8)) {
        if (c != u' ' && c != u'\n')
            out.push_back(c);
        else if (spaced && !out.empty() && out.back() != u' ')
            out.push_back(u' ');
    }
    while (!out.empty() && out.back() == u' ')
        out.pop_back();
    return out;
}

std::size_t Distance(const std::u16string& a, const std::u16string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = std::exchange(row[0], i);
        for (std::size_t j = 1; j <= b.size(); ++j)
            diagonal = std::exchange(
                row[j], std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])}));
    }
    return row[b.size()];
}

// Errors and characters of one drawn text read back.
std::pair<std::size_t, std::size_t> Score(LocalOcr& ocr, const Language& lang,
                                          const std::string& text, const ocr_render::Style& style) {
    std::vector<TranslateLine> found;
    std::string error;
    ocr.Recognise(ocr_render::Render({text}, style).crop, lang.id, 0, lang.vertical, found, error);
    std::string read;
    for (const TranslateLine& l : found)
        read += " " + l.text;
    const bool spaced = lang.id == 2 || lang.id == 4;
    const std::u16string want = Comparable(text, spaced);
    return {Distance(want, Comparable(read, spaced)), want.size()};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// CPU time of this thread: on a shared machine the wall clock also counts other people's work.
double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    const bool cli = !(argc > 1 && std::string(argv[1]) == "--no-cli");
    QGuiApplication app(argc, argv);
    spdlog::set_level(spdlog::level::warn);  // the engine's progress lines would cut the tables
    const std::string dataDir = vl::ServiceConfig().localOcr.dataDir;

    // Sizes and grounds cycle through the lines: small to large, light and dark.
    const int sizes[] = {16, 20, 24, 30, 36, 40};
    const QColor inks[] = {Qt::black, kLightInk, QColor(40, 40, 90), Qt::white};
    const QColor grounds[] = {Qt::white, kDarkGround, QColor(250, 244, 220), QColor(40, 90, 160)};
    std::printf("%-14s %6s %6s\n", "language", "lines", "CER %");
    for (const Language& lang : kLanguages) {
        LocalOcr ocr(dataDir);
        std::size_t errors = 0, total = 0, k = 0;
        for (const std::string& head : Halves(lang.heads)) {
            for (const std::string& tail : Halves(lang.tails)) {
                const ocr_render::Style style{lang.family, sizes[k % 6], inks[k / 2 % 4],
                                              grounds[k / 2 % 4], lang.vertical};
                const auto [e, n] = Score(ocr, lang, head + tail, style);
                errors += e;
                total += n;
                ++k;
            }
        }
        std::printf("%-14s %6zu %6.2f\n", lang.name, k, 100.0 * errors / total);
    }

    std::printf("\nsmall text, CER %% without / with scaling up (text under %d px)\n%-6s",
                LocalOcr::kMinTextHeight, "px");
    const int smallSizes[] = {10, 12, 14, 16, 18, 20, 24};
    for (int px : smallSizes)
        std::printf(" %11d", px);
    for (const Language& lang : {kLanguages[0], kLanguages[1], kLanguages[4]}) {
        std::printf("\n%-6s", lang.name);
        const std::vector<std::string> heads = Halves(lang.heads), tails = Halves(lang.tails);
        for (int px : smallSizes) {
            for (int scaled = 0; scaled < 2; ++scaled) {
                LocalOcr ocr(dataDir);
                ocr.SetMinTextHeight(scaled ? LocalOcr::kMinTextHeight : 0);
                std::size_t errors = 0, total = 0;
                for (std::size_t h = 0; h < heads.size(); ++h) {
                    const ocr_render::Style style{lang.family, px, h % 2 ? kLightInk : Qt::black,
                                                  h % 2 ? kDarkGround : Qt::white, false};
                    const auto [e, n] = Score(ocr, lang, heads[h] + tails[h % tails.size()], style);
                    errors += e;
                    total += n;
                }
                std::printf(scaled ? "%5.1f" : " %5.1f/", 100.0 * errors / total);
            }
        }
    }

    // Speed: 800×300 crops with three 30-pixel lines, light on dark and dark on light.
    const std::vector<std::string> heads = Halves(kJpnHeads), tails = Halves(kJpnTails);
    std::vector<OcrCrop> crops;
    for (std::size_t i = 0; i < 6; ++i) {
        const ocr_render::Style style{"Noto Sans CJK JP", 30, i % 2 ? kLightInk : Qt::black,
                                      i % 2 ? kDarkGround : Qt::white, false};
        crops.push_back(ocr_render::Render({heads[i] + tails[i], heads[i + 1] + tails[(i + 1) % 6],
                                            heads[i + 2] + tails[i % 3]},
                                           style, 800, 300)
                            .crop);
    }
    LocalOcr ocr(dataDir);
    std::string error;
    auto start = std::chrono::steady_clock::now();
    if (!ocr.Load(3, false, error)) {
        std::printf("\n%s\n", error.c_str());
        return 1;
    }
    const double loadMs = MsSince(start);
    std::vector<double> warm, warmCpu;
    for (int round = 0; round < 5; ++round) {
        for (const OcrCrop& crop : crops) {
            std::vector<TranslateLine> found;
            start = std::chrono::steady_clock::now();
            const double cpu = ThreadCpuMs();
            ocr.Recognise(crop, 3, 0, false, found, error);
            warmCpu.push_back(ThreadCpuMs() - cpu);
            warm.push_back(MsSince(start));
        }
    }
    std::printf("\n\nfirst load of jpn: %.1f ms\n", loadMs);
    std::printf("warm 800x300, three lines (jpn): median %.1f ms (%.1f ms CPU) over %zu runs\n",
                Median(warm), Median(warmCpu), warm.size());
    if (!cli)
        return 0;
    const std::filesystem::path png = std::filesystem::temp_directory_path() /
                                      ("velmora-ocr-bench-" + std::to_string(getpid()) + ".png");
    std::vector<double> times;
    for (const OcrCrop& crop : crops) {
        QImage(reinterpret_cast<const uchar*>(crop.rgb.data()), crop.width, crop.height,
               crop.width * 3, QImage::Format_RGB888)
            .save(QString::fromStdString(png.string()));
        const std::string command = "tesseract " + png.string() + " - -l jpn >/dev/null 2>&1";
        start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            std::printf("the tesseract command failed\n");
            break;
        }
        times.push_back(MsSince(start));
    }
    std::filesystem::remove(png);
    if (!times.empty())
        std::printf("tesseract command line, same crops: median %.1f ms, %.1fx ours\n",
                    Median(times), Median(times) / Median(warm));
    return 0;
}
