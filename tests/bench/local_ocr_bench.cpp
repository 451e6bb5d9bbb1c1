// The local OCR engine over a corpus it draws itself: character error rate per language after
// normalisation, warm recognition time of an 800×300 crop with three lines, first load time, and
// the command-line tesseract on the same crops. Run by hand:
//   QT_QPA_PLATFORM=offscreen build/tests/ui/local_ocr_bench [--no-cli]
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <spdlog/spdlog.h>

#include "logic/local_ocr.h"
#include "tests/ui/ocr_render.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Language {
    const char* name;
    LanguageId id;
    QString family;
    bool vertical;
    std::vector<std::string> heads, tails;  // sentences are every head with every tail
};

// Sentence halves; each language's corpus is their product, so no two lines are the same.
std::vector<Language> Languages() {
    const std::vector<std::string> jpnHeads = {"今日は天気がいいので", "駅前の新しい店で",
                                               "週末になったら家族と", "この本を読み終えたら",
                                               "明日の会議の前に",     "電車が遅れたせいで",
                                               "夏休みの間にもう一度", "先生に言われた通りに"};
    const std::vector<std::string> jpnTails = {"散歩に行きます",   "友達と話しました",
                                               "映画を見たいです", "資料を確認する",
                                               "少し休みましょう", "手紙を書いた"};
    const std::vector<std::string> chsHeads = {
        "今天下午我们一起", "这家餐厅的老板", "如果明天不下雨",   "图书馆里的学生",
        "公司决定在下个月", "我的朋友刚刚",   "他们在会议结束后", "这个城市的夜晚"};
    const std::vector<std::string> chsTails = {"去公园散步", "准备了晚饭",   "开始新的计划",
                                               "讨论了问题", "看起来很安静", "买了一本书"};
    const std::vector<std::string> chtHeads = {
        "今天下午我們一起", "這家餐廳的老闆", "如果明天不下雨",   "圖書館裡的學生",
        "公司決定在下個月", "我的朋友剛剛",   "他們在會議結束後", "這個城市的夜晚"};
    const std::vector<std::string> chtTails = {"去公園散步", "準備了晚飯",   "開始新的計劃",
                                               "討論了問題", "看起來很安靜", "買了一本書"};
    const std::vector<std::string> korHeads = {
        "오늘은 날씨가 좋아서", "역 앞의 새 가게에서", "주말이 되면 가족과", "이 책을 다 읽으면",
        "내일 회의 전에",       "기차가 늦어서",       "여름 방학 동안",     "선생님 말씀대로"};
    const std::vector<std::string> korTails = {"산책을 갑니다",      "친구와 이야기했다",
                                               "영화를 보고 싶어요", "자료를 확인한다",
                                               "조금 쉬어요",        "편지를 썼다"};
    const std::vector<std::string> engHeads = {
        "The quick brown fox",  "Our next meeting", "Every morning she",  "The old library",
        "After the long storm", "My best friend",   "This small village", "The new manager"};
    const std::vector<std::string> engTails = {"jumps over the lazy dog.", "starts at nine.",
                                               "reads the news first.",    "was closed today.",
                                               "the river rose again.",    "moved to Berlin."};
    return {
        {"jpn", 3, "Noto Sans CJK JP", false, jpnHeads, jpnTails},
        {"chs", 0, "Noto Sans CJK SC", false, chsHeads, chsTails},
        {"cht", 1, "Noto Sans CJK TC", false, chtHeads, chtTails},
        {"kor", 4, "Noto Sans CJK KR", false, korHeads, korTails},
        {"eng", 2, "Noto Sans", false, engHeads, engTails},
        {"jpn vertical", 3, "Noto Sans CJK JP", true, jpnHeads, jpnTails},
        {"chs vertical", 0, "Noto Sans CJK SC", true, chsHeads, chsTails},
    };
}

// Code points without white space for CJK, with single spaces otherwise: what a reader compares.
std::u32string Comparable(const std::string& utf8, bool keepSpaces) {
    std::u32string out;
    const std::u16string w = vl::ToUnicodeW(utf8);
    for (std::size_t i = 0; i < w.size(); ++i) {
        char32_t c = w[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
        }
        const bool space = c == U' ' || c == U'\n' || c == U'\t';
        if (space) {
            if (keepSpaces && !out.empty() && out.back() != U' ')
                out.push_back(U' ');
            continue;
        }
        out.push_back(c);
    }
    while (!out.empty() && out.back() == U' ')
        out.pop_back();
    return out;
}

std::size_t Distance(const std::u32string& a, const std::u32string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// CPU time of this thread: on a shared machine the wall clock also counts other people's work.
double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

const QColor kLightInk(235, 235, 235), kDarkGround(30, 30, 36);

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A crop as a PNG for the command-line tool.
void SavePng(const OcrCrop& crop, const std::string& path) {
    QImage image(reinterpret_cast<const uchar*>(crop.rgb.data()), crop.width, crop.height,
                 crop.width * 3, QImage::Format_RGB888);
    image.save(QString::fromStdString(path));
}

}  // namespace

int main(int argc, char** argv) {
    bool cli = true;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        cli &= std::string(argv[i]) != "--no-cli";
        verbose |= std::string(argv[i]) == "--verbose";
    }
    QGuiApplication app(argc, argv);
    spdlog::set_level(spdlog::level::warn);  // the engine's progress lines would cut the tables
    const std::string dataDir = vl::ServiceConfig().localOcr.dataDir;
    const std::filesystem::path temp =
        std::filesystem::temp_directory_path() / ("velmora-ocr-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(temp);

    // Sizes and grounds cycle through the lines: small to large, light and dark.
    const int sizes[] = {16, 20, 24, 30, 36, 40};
    const struct {
        QColor ink, ground;
    } colours[] = {{Qt::black, Qt::white},
                   {QColor(235, 235, 235), QColor(30, 30, 36)},
                   {QColor(40, 40, 90), QColor(250, 244, 220)},
                   {QColor(255, 255, 255), QColor(40, 90, 160)}};

    std::printf("%-14s %6s %6s %8s\n", "language", "lines", "CER %", "errors");
    for (const Language& lang : Languages()) {
        LocalOcr ocr(dataDir);
        std::size_t errors = 0, total = 0, lines = 0, k = 0;
        for (std::size_t h = 0; h < lang.heads.size(); ++h) {
            for (std::size_t t = 0; t < lang.tails.size(); ++t, ++k) {
                const std::string text = lang.heads[h] + lang.tails[t];
                ocr_render::Style style;
                style.family = lang.family;
                style.px = sizes[k % std::size(sizes)];
                style.ink = colours[(k / 2) % std::size(colours)].ink;
                style.ground = colours[(k / 2) % std::size(colours)].ground;
                style.vertical = lang.vertical;
                const ocr_render::Page page = ocr_render::Render({text}, style);
                std::vector<TranslateLine> found;
                std::string error;
                if (!ocr.Recognise(page.crop, lang.id, 0, lang.vertical, found, error)) {
                    std::printf("%s: %s\n", lang.name, error.c_str());
                    return 1;
                }
                std::string read;
                for (const TranslateLine& l : found)
                    read += (read.empty() ? "" : " ") + l.text;
                const bool spaces = lang.id == 2 || lang.id == 4;
                const std::u32string want = Comparable(text, spaces);
                const std::size_t d = Distance(want, Comparable(read, spaces));
                if (verbose && d > 0)
                    std::printf("  %dpx: \"%s\" read \"%s\"\n", style.px, text.c_str(),
                                read.c_str());
                errors += d;
                total += want.size();
                ++lines;
            }
        }
        std::printf("%-14s %6zu %6.2f %8zu\n", lang.name, lines, 100.0 * errors / total, errors);
    }

    // Where small text needs scaling up: the same lines at small sizes, scaled and not.
    std::printf("\nsmall text, CER %% without / with scaling up (text height estimate < %d px)\n",
                LocalOcr::kMinTextHeight);
    std::printf("%-6s", "px");
    const int smallSizes[] = {10, 12, 14, 16, 18, 20, 24};
    for (int px : smallSizes)
        std::printf(" %11d", px);
    std::printf("\n");
    for (const Language& lang : Languages()) {
        if (lang.vertical || (lang.id != 0 && lang.id != 3 && lang.id != 2))
            continue;
        std::printf("%-6s", lang.name);
        for (int px : smallSizes) {
            double cer[2] = {};
            for (int scaled = 0; scaled < 2; ++scaled) {
                LocalOcr ocr(dataDir);
                ocr.SetMinTextHeight(scaled ? LocalOcr::kMinTextHeight : 0);
                std::size_t errors = 0, total = 0;
                for (std::size_t h = 0; h < lang.heads.size(); ++h) {
                    const std::string text = lang.heads[h] + lang.tails[h % lang.tails.size()];
                    ocr_render::Style style;
                    style.family = lang.family;
                    style.px = px;
                    style.ink = h % 2 ? kLightInk : QColor(Qt::black);
                    style.ground = h % 2 ? kDarkGround : QColor(Qt::white);
                    const ocr_render::Page page = ocr_render::Render({text}, style);
                    std::vector<TranslateLine> found;
                    std::string error;
                    ocr.Recognise(page.crop, lang.id, 0, false, found, error);
                    std::string read;
                    for (const TranslateLine& l : found)
                        read += (read.empty() ? "" : " ") + l.text;
                    const std::u32string want = Comparable(text, lang.id == 2);
                    errors += Distance(want, Comparable(read, lang.id == 2));
                    total += want.size();
                }
                cer[scaled] = 100.0 * errors / total;
            }
            std::printf(" %5.1f/%5.1f", cer[0], cer[1]);
        }
        std::printf("\n");
    }

    // Speed: 800×300 crops with three 30-pixel lines, light on dark and dark on light.
    std::vector<ocr_render::Page> pages;
    const std::vector<std::vector<std::string>> texts = {
        {"今日は天気がいいので散歩に行きます", "駅前の新しい店で友達と話しました",
         "週末になったら家族と映画を見たいです"},
        {"この本を読み終えたら資料を確認する", "明日の会議の前に少し休みましょう",
         "電車が遅れたせいで手紙を書いた"}};
    for (int i = 0; i < 6; ++i) {
        ocr_render::Style style;
        style.ink = i % 2 ? QColor(235, 235, 235) : QColor(Qt::black);
        style.ground = i % 2 ? QColor(30, 30, 36) : QColor(Qt::white);
        pages.push_back(ocr_render::Render(texts[i % 2], style, 800, 300));
    }
    LocalOcr ocr(dataDir);
    std::string error;
    const auto loadStart = Clock::now();
    if (!ocr.Load(3, false, error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    const double loadMs = Ms(Clock::now() - loadStart);
    std::vector<double> warm, warmCpu;
    for (int round = 0; round < 5; ++round) {
        for (const ocr_render::Page& page : pages) {
            std::vector<TranslateLine> found;
            const auto start = Clock::now();
            const double cpu = ThreadCpuMs();
            ocr.Recognise(page.crop, 3, 0, false, found, error);
            warmCpu.push_back(ThreadCpuMs() - cpu);
            warm.push_back(Ms(Clock::now() - start));
        }
    }
    ocr_render::Style vstyle;
    vstyle.vertical = true;
    const ocr_render::Page vpage = ocr_render::Render(
        {"今日は天気がいい", "駅前の新しい店で", "週末は家族と映画"}, vstyle, 300, 800);
    std::vector<double> warmVertical;
    for (int round = 0; round < 6; ++round) {
        std::vector<TranslateLine> found;
        const auto start = Clock::now();
        ocr.Recognise(vpage.crop, 3, 0, true, found, error);
        if (round > 0)  // the first one loads jpn_vert
            warmVertical.push_back(Ms(Clock::now() - start));
    }
    std::printf("\nfirst load of jpn: %.1f ms\n", loadMs);
    std::printf("warm 800x300, three lines (jpn): median %.1f ms (%.1f ms CPU) over %zu runs\n",
                Median(warm), Median(warmCpu), warm.size());
    std::printf("warm 300x800, three columns (jpn_vert): median %.1f ms\n", Median(warmVertical));

    if (cli) {
        std::vector<double> times;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const std::string png = (temp / ("page" + std::to_string(i) + ".png")).string();
            SavePng(pages[i].crop, png);
            const std::string command = "tesseract " + png + " - -l jpn >/dev/null 2>&1";
            const auto start = Clock::now();
            if (std::system(command.c_str()) != 0) {
                std::printf("tesseract command failed\n");
                break;
            }
            times.push_back(Ms(Clock::now() - start));
        }
        if (!times.empty())
            std::printf("tesseract command line, same crops: median %.1f ms, %.1fx ours\n",
                        Median(times), Median(times) / Median(warm));
    }
    std::filesystem::remove_all(temp);
    return 0;
}
