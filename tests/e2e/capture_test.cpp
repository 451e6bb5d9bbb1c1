// Translation runs of the real program on a private X server: a known picture on the root window,
// loopback stand-ins for the back-end and the OCR and translation services, xdotool as the user,
// and screenshots read back pixel for pixel.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <atomic>
#include <cstdio>

#include "tests/e2e/desktop_session.h"
#include "tests/support/account_backend.h"
#include "tests/support/form.h"
#include "tests/support/process.h"
#include "utils/vl_base64.h"

using namespace std::chrono_literals;
using vl::test::LoopbackServer;
using vl::test::WaitUntil;

namespace {

struct Box {
    int l, t, r, b;
    Box Grown(int by) const { return {l - by, t - by, r + by, b + by}; }
};

struct Image {
    int w = 0, h = 0;
    std::vector<std::uint8_t> px;
    const std::uint8_t* At(int x, int y) const { return &px[(std::size_t(y) * w + x) * 3]; }
    bool Dark(int x, int y) const {
        return At(x, y)[0] < 60 && At(x, y)[1] < 60 && At(x, y)[2] < 70;
    }
    bool White(int x, int y) const {
        return At(x, y)[0] > 200 && At(x, y)[1] > 200 && At(x, y)[2] > 200;
    }
    // The share of dark label ground and the count of white text pixels in `box`.
    std::pair<double, int> Ink(Box box) const {
        int dark = 0, white = 0;
        for (int y = box.t; y < box.b; ++y)
            for (int x = box.l; x < box.r; ++x)
                dark += Dark(x, y), white += White(x, y);
        return {double(dark) / ((box.r - box.l) * (box.b - box.t)), white};
    }
    bool Near(int x, int y, std::uint32_t rgb) const {
        for (int c = 0; c < 3; ++c)
            if (std::abs(At(x, y)[c] - int((rgb >> (16 - 8 * c)) & 0xFF)) > 16)
                return false;
        return true;
    }
};

Image Decode(const std::string& bytes) {
    Image image;
    int channels = 0;
    stbi_uc* data = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                          int(bytes.size()), &image.w, &image.h, &channels, 3);
    if (data != nullptr)
        image.px.assign(data, data + std::size_t(image.w) * image.h * 3);
    stbi_image_free(data);
    return image;
}

constexpr std::uint32_t kGround = 0x406080, kRed = 0xC03030, kGreen = 0x30A050;

std::string OcrAnswer(const std::string& lines, const std::string& verticalLines = "") {
    std::string regions = R"({"dir":"h","lang":"en","lines":[)" + lines + "]}";
    if (!verticalLines.empty())
        regions += R"(,{"dir":"v","lang":"en","lines":[)" + verticalLines + "]}";
    return R"({"errorCode":"0","Result":{"regions":[)" + regions + "]}}";
}

std::string Line(const std::string& text, Box b) {
    char box[96];
    std::snprintf(box, sizeof box, "%d,%d,%d,%d,%d,%d,%d,%d", b.l, b.t, b.r, b.t, b.r, b.b, b.l,
                  b.b);
    return R"({"text":")" + text + R"(","boundingBox":")" + box + R"("})";
}

// One test's desktop: an X server with a picture of `region` (left half red, right half green) on
// its root window, the program signed in through the back-end stand-in, and the service stand-ins.
class Desktop {
public:
    // `stored`: the region is in the settings from the start.
    Desktop(const std::string& screen, int dpi, Box region, bool stored = true)
        : x_(screen), dpi_(dpi) {
        if (!x_.Ready())
            return;
        On({"xrdb", "-merge"}, "Xft.dpi: " + std::to_string(dpi) + "\n");
        const int mid = (region.l + region.r) / 2;
        const std::string picture = run_.Dir().File("picture.png");
        On({"convert", "-size", screen.substr(0, screen.rfind('x')), "xc:#406080", "-fill",
            "#C03030", "-draw", Rect(region.l, region.t, mid, region.b), "-fill", "#30A050",
            "-draw", Rect(mid, region.t, region.r, region.b), picture});
        On({"display", "-window", "root", picture});  // exits 1, harmlessly
        backend_.Set("/user/info", 200, vl::test::AccountBackend::UserInfoAnswer("u1", "tester"));
        backend_.Set("/trans/save-nums", 200,
                     R"({"code":0,"msg":"ok","data":{"unlimited":true,"nums":1}})");
        backend_.Set("/trans/report", 200, R"({"code":0,"msg":"ok","data":{}})");
        run_.Dir().Write("velmora-services.json",
                         R"({"backend":{"url":")" + backend_.Url() + R"("},"youdao_ocr":{"url":")" +
                             vendors_.Url("/ocrapi") + R"("},"youdao_translate":{"url":")" +
                             vendors_.Url("/api") + R"("}})");
        // "vertical" text direction: the Youdao engine recognises both kinds of lines.
        const Box r = stored ? region : Box{};
        run_.Dir().Write("velmora.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<velmora><user><token>tok</token></user><conf><lang><src>eng</src><dst>chs</dst></lang>
<region><left>)" + std::to_string(r.l) + "</left><top>" +
                                            std::to_string(r.t) + "</top><right>" +
                                            std::to_string(r.r) + "</right><bottom>" +
                                            std::to_string(r.b) +
                                            R"(</bottom></region><engine>vertical</engine>
<effect>cover</effect><shortcut><translate>ctrl+alt+t</translate><region>ctrl+alt+r</region></shortcut><tip>true</tip></conf></velmora>)");
        started_ = run_.Start(x_.Display()) && run_.WaitForLog("msg loop begin", 60s) &&
                   backend_.WaitForRequests("/user/info", 1);
    }
    bool Ready() const { return started_; }

    std::string On(std::vector<std::string> argv, const std::string& input = "") const {
        argv.insert(argv.begin(), {"/usr/bin/env", "DISPLAY=" + x_.Display()});
        return vl::test::RunProcess(argv, input, 20000).out;
    }
    static std::string Rect(int l, int t, int r, int b) {
        return "rectangle " + std::to_string(l) + "," + std::to_string(t) + "," +
               std::to_string(r - 1) + "," + std::to_string(b - 1);
    }
    bool Visible(const std::string& title) const {
        return !vl::test::XdoTool(x_.Display(), {"search", "--onlyvisible", "--name", title})
                    .empty();
    }
    // Clicks the middle of a window, `fromBottom` 96-DPI units above its lower edge.
    void ClickBottom(const std::string& title, int fromBottom) const {
        const std::string g = vl::test::XdoTool(
            x_.Display(), {"search", "--onlyvisible", "--name", title, "getwindowgeometry"});
        int x = 0, y = 0, w = 0, h = 0;
        const auto at = g.find("Position:"), size = g.find("Geometry:");
        if (at == std::string::npos || size == std::string::npos ||
            std::sscanf(g.c_str() + at, "Position: %d,%d", &x, &y) != 2 ||
            std::sscanf(g.c_str() + size, "Geometry: %dx%d", &w, &h) != 2)
            return;
        Xdo({"mousemove", std::to_string(x + w / 2), std::to_string(y + h - fromBottom * dpi_ / 96),
             "click", "1"});
    }
    // "launch" in the main window, again when the sign-in had not been stored yet.
    bool Arm() const {
        for (int i = 0; i < 3; ++i) {
            ClickBottom("Velmora翻译-主窗口", 56);
            if (WaitUntil([&] { return Visible("Velmora翻译-悬浮窗"); }, 5s))
                return true;
        }
        return false;
    }
    void Xdo(const std::vector<std::string>& args) const { vl::test::XdoTool(x_.Display(), args); }
    Image Shot() const {
        const std::string file = run_.Dir().File("shot.png");
        On({"import", "-window", "root", file});
        int w = 0, h = 0, n = 0;
        Image image;
        if (stbi_uc* data = stbi_load(file.c_str(), &w, &h, &n, 3)) {
            image.w = w, image.h = h, image.px.assign(data, data + std::size_t(w) * h * 3);
            stbi_image_free(data);
        }
        return image;
    }
    // Screenshots until `holds` is true of one (at most ten seconds); the last one.
    template <class Holds>
    Image ShotWhen(Holds holds) const {
        Image shot;
        WaitUntil([&] { return holds(shot = Shot()); }, 10s);
        return shot;
    }
    // The JPEG the OCR stand-in received with its `n`-th request.
    Image OcrImage(std::size_t n) {
        const auto requests = vendors_.Requests("/ocrapi");
        if (requests.size() <= n)
            return {};
        for (const auto& [key, value] : vl::test::ParseForm(requests[n].body))
            if (key == "img")
                return Decode(vl::FromBase64(value));
        return {};
    }
    // Log lines that start with `message`.
    std::size_t Count(const std::string& message) const {
        const auto log = run_.LogMessages();
        return std::count_if(log.begin(), log.end(),
                             [&](const std::string& line) { return line.rfind(message, 0) == 0; });
    }

    vl::test::XServer x_;
    int dpi_;
    vl::test::AccountBackend backend_;
    vl::test::VendorServices vendors_;
    vl::test::ProgramRun run_;
    bool started_ = false;
};

struct RunCase {
    int dpi;
    Box horizontal, vertical;  // where the labels stand on the screen, in pixels
};

class CaptureRun : public ::testing::TestWithParam<RunCase> {};

}  // namespace

// Two quick hotkey presses: the first answer, held back by the OCR stand-in until the second run
// was under way, is dropped unreported; the second one's labels stand where their lines stood.
// A busy mark shows while a run waits; a failed run says why; Escape dismisses.
TEST_P(CaptureRun, LabelsCoverTheirLinesAndOnlyTheNewestRunCounts) {
    const RunCase& c = GetParam();
    const Box region{200, 150, 1000, 450};
    Desktop d("1280x800x24", c.dpi, region);
    if (!d.x_.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_TRUE(d.Ready()) << d.run_.Stderr();
    std::atomic<bool> release{false};
    std::atomic<int> ocrCalls{0};
    d.vendors_.Set("/ocrapi", [&](const httplib::Request&) {
        if (ocrCalls++ == 0) {
            WaitUntil([&] { return release.load(); }, 2500ms);
            return LoopbackServer::Reply{200, OcrAnswer(Line("dropped", {40, 200, 340, 240}))};
        }
        return LoopbackServer::Reply{200, OcrAnswer(Line("hello world", {38, 28, 342, 72}),
                                                    Line("column", {698, 18, 742, 262}))};
    });
    d.vendors_.Set("/api", [](const httplib::Request& req) {
        std::string q;
        for (const auto& [key, value] : vl::test::ParseForm(req.body))
            q = key == "q" ? value : q;
        return LoopbackServer::Reply{
            200, q.find('\n') == std::string::npos
                     ? R"({"errorCode":"0","translation":["丢弃的"]})"
                     : R"({"errorCode":"0","translation":["你好世界\n竖排文字"]})"};
    });
    ASSERT_TRUE(d.Arm()) << "the floating ball never showed";

    d.Xdo({"key", "ctrl+alt+t"});
    ASSERT_TRUE(d.vendors_.WaitForRequests("/ocrapi", 1));
    const Box above{region.l, region.t - 40 * c.dpi / 96, region.l + 100, region.t - 2};
    const Image busy = d.ShotWhen([&](const Image& s) { return s.Ink(above).second > 20; });
    EXPECT_GT(busy.Ink(above).second, 20) << "no busy mark above the region";
    d.Xdo({"key", "ctrl+alt+t"});
    WaitUntil([&] { return d.Count("current dpi is") == 2; });  // the second run was submitted
    release = true;
    ASSERT_TRUE(d.backend_.WaitForRequests("/trans/report", 1));
    const Image shot = d.ShotWhen([&](const Image& s) {
        return s.Ink(c.horizontal.Grown(-3)).second > 30 && s.Ink(c.vertical.Grown(-3)).second > 30;
    });
    for (const Box& label : {c.horizontal, c.vertical}) {
        const auto [dark, white] = shot.Ink(label.Grown(-3));
        EXPECT_GT(dark, 0.5) << "dark ground at " << label.l << "," << label.t;
        EXPECT_GT(white, 30) << "white text at " << label.l << "," << label.t;
        EXPECT_FALSE(shot.Dark(label.l - 3, (label.t + label.b) / 2)) << "left of " << label.l;
        EXPECT_FALSE(shot.Dark((label.l + label.r) / 2, label.t - 3)) << "above " << label.t;
    }
    EXPECT_TRUE(shot.Near(region.l + 150, region.t + 220, kRed)) << "the dropped answer shows";
    EXPECT_TRUE(shot.Near(100, 100, kGround));
    EXPECT_EQ(d.Count("cap id 1 != 2, expired"), 1u);
    EXPECT_EQ(d.backend_.Requests("/trans/report").size(), 1u) << "the dropped run was reported";

    // The OCR service got the region's crop, at physical size.
    const Image crop = d.OcrImage(1);
    ASSERT_EQ(crop.w, 800);
    ASSERT_EQ(crop.h, 300);
    EXPECT_TRUE(crop.Near(200, 150, kRed));
    EXPECT_TRUE(crop.Near(600, 150, kGreen));
    EXPECT_TRUE(crop.Near(2, 2, kRed) && crop.Near(797, 297, kGreen));

    d.vendors_.Set("/ocrapi", 500, "busy");
    d.Xdo({"key", "ctrl+alt+t"});
    ASSERT_TRUE(d.backend_.WaitForRequests("/trans/report", 2));
    const Image failed = d.ShotWhen([&](const Image& s) {
        return s.Ink(above).second > 20 && s.Ink(c.horizontal.Grown(-3)).second == 0;
    });
    EXPECT_GT(failed.Ink(above).second, 20) << "no reason shown for the failed run";
    EXPECT_EQ(failed.Ink(c.horizontal.Grown(-3)).second, 0) << "the old labels stayed";

    d.Xdo({"key", "Escape"});
    EXPECT_TRUE(WaitUntil([&] { return !d.Visible("Velmora翻译-结果"); }));
    EXPECT_TRUE(d.Visible("Velmora翻译-悬浮窗")) << "the ball is back after a dismiss";
}

INSTANTIATE_TEST_SUITE_P(Dpi, CaptureRun,
                         ::testing::Values(RunCase{96, {239, 179, 539, 221}, {900, 170, 940, 410}},
                                           RunCase{
                                               144, {237, 178, 537, 221}, {898, 169, 939, 410}}),
                         [](const auto& info) { return std::to_string(info.param.dpi); });

// Region selection on the right half of a 3840-pixel-wide screen at 144 dpi: a drag from
// bottom-right to top-left and Enter store the physical region; a run then sends its crop.
TEST(CaptureRegion, SelectionOnTheSecondMonitorIsStoredInPixelsAndTranslated) {
    Desktop d("3840x1080x24", 144, {2400, 300, 3000, 600}, false);
    if (!d.x_.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_TRUE(d.Ready()) << d.run_.Stderr();
    d.vendors_.Set("/ocrapi", 200, OcrAnswer(Line("hello", {38, 28, 342, 72})));
    d.vendors_.Set("/api", 200, R"({"errorCode":"0","translation":["你好"]})");
    ASSERT_TRUE(d.Arm());

    d.Xdo({"key", "ctrl+alt+r"});
    ASSERT_TRUE(WaitUntil([&] { return d.Visible("Velmora翻译-区域"); }));
    d.Xdo({"mousemove", "3000", "600", "mousedown", "1", "mousemove", "2700", "450", "mousemove",
           "2400", "300", "mouseup", "1", "key", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return d.Visible("Velmora翻译-对话框"); }));
    std::string settings = d.run_.Dir().Read("velmora.xml");
    std::erase_if(settings, [](char ch) { return std::isspace(static_cast<unsigned char>(ch)); });
    EXPECT_NE(settings.find("<region><left>2400</left><top>300</top><right>3000</right>"
                            "<bottom>600</bottom>"),
              std::string::npos)
        << settings;
    d.ClickBottom("Velmora翻译-对话框", 28);
    ASSERT_TRUE(WaitUntil([&] { return !d.Visible("Velmora翻译-对话框"); }));

    d.Xdo({"key", "ctrl+alt+t"});
    ASSERT_TRUE(d.backend_.WaitForRequests("/trans/report", 1));
    const Image crop = d.OcrImage(0);
    ASSERT_EQ(crop.w, 600);
    ASSERT_EQ(crop.h, 300);
    EXPECT_TRUE(crop.Near(150, 150, kRed) && crop.Near(450, 150, kGreen));
    // The label on the right monitor: at (1625, 219), 200 × 28 in 96-DPI units.
    const Box label{2437, 328, 2737, 370};
    const Image shot =
        d.ShotWhen([&](const Image& s) { return s.Ink(label.Grown(-3)).second > 30; });
    EXPECT_GT(shot.Ink(label.Grown(-3)).first, 0.5);
}
