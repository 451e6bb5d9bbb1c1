// Translation runs of the real program on a private X server, with loopback stand-ins for the
// back-end and the services, xdotool as the user and screenshots read back pixel for pixel.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <atomic>
#include <cstdio>
#include <regex>

#include "tests/e2e/desktop_session.h"
#include "tests/support/account_backend.h"
#include "tests/support/form.h"
#include "tests/support/process.h"
#include "utils/vl_base64.h"

using namespace std::chrono_literals;
using vl::test::WaitUntil;

namespace {

struct Box {
    int l, t, r, b;
    Box In(int by) const { return {l + by, t + by, r - by, b - by}; }
};

// A decoded PNG or JPEG, as R, G, B bytes.
struct Image {
    explicit Image(const std::string& encoded = "") {
        stbi_uc* data = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(encoded.data()),
                                              int(encoded.size()), &w, &h, &n, 3);
        px.assign(data, data + (data != nullptr ? std::size_t(w) * h * 3 : 0));
        stbi_image_free(data);
    }
    int C(int x, int y, int c) const { return px[(std::size_t(y) * w + x) * 3 + c]; }
    // The share of `box` where the painted red or green ground shows.
    double Ground(Box box) const {
        int seen = 0;
        for (int y = box.t; y < box.b; ++y)
            for (int x = box.l; x < box.r; ++x)
                seen += std::abs(C(x, y, 0) - C(x, y, 1)) > 60;
        return double(seen) / ((box.r - box.l) * (box.b - box.t));
    }
    // The share of dark label ground in `box` and its count of white (text) pixels.
    std::pair<double, int> Ink(Box box) const {
        int dark = 0, white = 0;
        for (int y = box.t; y < box.b; ++y)
            for (int x = box.l; x < box.r; ++x) {
                dark += C(x, y, 0) < 60 && C(x, y, 1) < 60 && C(x, y, 2) < 70;
                white += C(x, y, 0) > 200 && C(x, y, 1) > 200 && C(x, y, 2) > 200;
            }
        return {double(dark) / ((box.r - box.l) * (box.b - box.t)), white};
    }
    int w = 0, h = 0, n = 0;
    std::vector<std::uint8_t> px;
};

// On the right half of a 3840-pixel-wide screen; at 144 dpi its corners are whole 96-DPI units.
constexpr Box kRegion{2100, 150, 2898, 450};

// A Youdao OCR answer: one horizontal line and one column (boxes in the image).
constexpr char kOcrAnswer[] =
    R"({"errorCode":"0","Result":{"regions":[{"dir":"h","lines":[{"text":"hi","boundingBox":)"
    R"("38,28,342,28,342,72,38,72"}]},{"dir":"v","lines":[{"text":"col","boundingBox":)"
    R"("698,18,742,18,742,262,698,262"}]}]}})";

struct RunCase {
    int dpi;
    Box horizontal, vertical;  // where the labels stand on the screen, in pixels
    bool uncover = false;      // the effect: labels let the frozen screen show through
};
void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.dpi << " dpi";
}

// An X server at the case's dpi with kRegion painted on its root window (left half red, right half
// green) and the stand-ins; Start runs the program signed in.
class CaptureRun : public ::testing::TestWithParam<RunCase> {
protected:
    void SetUp() override {
        if (!x_.Ready())
            GTEST_SKIP() << "Xvfb could not be started";
        On({"xrdb", "-merge"}, "Xft.dpi: " + std::to_string(GetParam().dpi) + "\n");
        const std::string picture = run_.Dir().File("picture.png");
        On({"convert", "-size", "3840x1080", "xc:#406080", "-fill", "#C03030", "-draw",
            "rectangle 2100,150,2498,449", "-fill", "#30A050", "-draw",
            "rectangle 2499,150,2897,449", picture});
        On({"display", "-window", "root", picture});  // exits 1, harmlessly
        backend_.Set("/user/info", 200, vl::test::AccountBackend::UserInfoAnswer("u1", "tester"));
        run_.Dir().Write("velmora-services.json",
                         R"({"backend":{"url":")" + backend_.Url() + R"("},"youdao_ocr":{"url":")" +
                             vendors_.Url("/ocrapi") + R"("},"youdao_translate":{"url":")" +
                             vendors_.Url("/api") + R"("}})");
    }
    // Starts the program with `region` in its settings and presses "launch" till the ball shows
    // (again when the sign-in had not been stored yet). The "vertical" direction takes the Youdao
    // engine, which tells both kinds of lines.
    bool Start(const std::string& region, const std::string& src = "eng",
               const std::string& choice = "<engine>vertical</engine>") {
        run_.Dir().Write("velmora.xml",
                         "<velmora><user><token>tok</token></user><conf><lang><src>" + src +
                             "</src><dst>chs</dst></lang><region>" + region + "</region>" +
                             choice + "<effect>" + (GetParam().uncover ? "uncover" : "cover") +
                             "</effect><shortcut><translate>ctrl+alt+t</translate><region>"
                             "ctrl+alt+r</region></shortcut><tip>true</tip></conf></velmora>");
        return run_.Start(x_.Display()) && run_.WaitForLog("msg loop begin", 60s) &&
               backend_.WaitForRequests("/user/info", 1) && WaitUntil([&] {
                   ClickBottom("Velmora翻译-主窗口", 56);
                   return WaitUntil([&] { return Visible("Velmora翻译-悬浮窗"); }, 3s);
               });
    }

    std::string On(std::vector<std::string> argv, const std::string& input = "") const {
        argv.insert(argv.begin(), {"/usr/bin/env", "DISPLAY=" + x_.Display()});
        return vl::test::RunProcess(argv, input, 20000).out;
    }
    bool Visible(const std::string& title) const {
        return !On({"xdotool", "search", "--onlyvisible", "--name", title}).empty();
    }
    // Clicks a window's middle `fromBottom` 96-DPI units above its lower edge ("launch", "ok").
    void ClickBottom(const std::string& title, int fromBottom) const {
        int left = 0, top = 0, width = 0, height = 0;
        std::sscanf(On({"xdotool", "search", "--onlyvisible", "--name", title, "getwindowgeometry",
                        "--shell"})
                        .c_str(),
                    "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &left, &top, &width, &height);
        On({"xdotool", "mousemove", std::to_string(left + width / 2),
            std::to_string(top + height - fromBottom * GetParam().dpi / 96), "click", "1"});
    }
    // Screenshots until `holds` is true of one (at most ten seconds); the last one.
    template <class Holds>
    Image ShotWhen(Holds holds) const {
        Image shot;
        WaitUntil([&] {
            On({"import", "-window", "root", run_.Dir().File("shot.png")});
            return holds(shot = Image(run_.Dir().Read("shot.png")));
        });
        return shot;
    }
    std::size_t Logged(const std::string& prefix) const {
        return std::ranges::count_if(run_.LogMessages(),
                                     [&](const std::string& m) { return m.starts_with(prefix); });
    }

    vl::test::XServer x_{"3840x1080x24"};
    vl::test::AccountBackend backend_;
    vl::test::VendorServices vendors_;
    vl::test::ProgramRun run_;
};

}  // namespace

// "launch" shows the ball; a drag and Enter store the region in pixels. Of two quick runs the
// first answer (held back until the second run was submitted) is dropped unreported, the second's
// labels cover their lines. A busy mark, a failure's reason; Escape brings the ball back.
TEST_P(CaptureRun, RegionSelectionThenLabelsOverTheirLinesForTheNewestRunOnly) {
    const RunCase& c = GetParam();
    ASSERT_TRUE(Start("<left>0</left><top>0</top><right>0</right><bottom>0</bottom>"))
        << run_.Stderr();

    On({"xdotool", "key", "ctrl+alt+r"});
    ASSERT_TRUE(WaitUntil([&] { return Visible("Velmora翻译-区域"); }));
    On({"xdotool", "mousemove", "2898", "450", "mousedown", "1", "mousemove", "2500", "300",
        "mousemove", "2100", "150", "mouseup", "1", "key", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return Visible("Velmora翻译-对话框"); }));
    EXPECT_TRUE(std::regex_search(
        run_.Dir().Read("velmora.xml"),
        std::regex(R"(<left>2100</left>\s*<top>150</top>\s*<right>2898</right>\s*<bottom>450<)")));
    ClickBottom("Velmora翻译-对话框", 28);

    std::atomic<bool> release{false};
    vendors_.Set("/ocrapi", [&](const httplib::Request&) {
        if (vendors_.Requests("/ocrapi").size() == 1)
            WaitUntil([&] { return release.load(); }, 2500ms);  // within the client's time-out
        return vl::test::LoopbackServer::Reply{200, kOcrAnswer};
    });
    vendors_.Set("/api", 200, R"({"errorCode":"0","translation":["你好世界\n竖排文字"]})");
    backend_.Set("/trans/save-nums", 200, R"({"code":10701,"msg":"used up"})");
    ASSERT_TRUE(WaitUntil([&] { return !Visible("Velmora翻译-对话框"); }));
    On({"xdotool", "key", "ctrl+alt+t"});
    // A line above the region: the short busy mark, then the longer reason of a failure.
    const auto line = [&](const Image& s, int from, int to) {
        return s.Ink({kRegion.l + from, kRegion.t - 40 * c.dpi / 96, kRegion.l + to, kRegion.t - 2})
                   .second > 20;
    };
    const auto busy = [&](const Image& s) { return line(s, 0, 100) && !line(s, 240, 340); };
    EXPECT_TRUE(busy(ShotWhen(busy))) << "no busy mark above the region";
    On({"xdotool", "key", "ctrl+alt+t"});
    WaitUntil([&] { return Logged("current dpi is") == 2; });  // the second run was submitted
    release = true;
    ASSERT_TRUE(backend_.WaitForRequests("/trans/report", 1));
    const Image shot = ShotWhen([&](const Image& s) {
        return s.Ink(c.horizontal.In(3)).second > 30 && s.Ink(c.vertical.In(3)).second > 30;
    });
    for (const Box& label : {c.horizontal, c.vertical}) {
        const auto [dark, white] = shot.Ink(label.In(3));
        if (c.uncover) {
            EXPECT_TRUE(shot.Ground(label.In(3)) > 0.5 && dark > 0 && white > 30)
                << "the screen through the label, rimmed white text at " << label.l;
        } else {
            EXPECT_TRUE(dark > 0.5 && white > 30) << "dark ground, white text at " << label.l;
        }
        const int midX = (label.l + label.r) / 2, midY = (label.t + label.b) / 2;
        EXPECT_EQ(shot.Ink({label.l - 4, midY, label.l - 2, midY + 1}).first +
                      shot.Ink({midX, label.t - 4, midX + 1, label.t - 2}).first,
                  0)
            << "dark left of or above the label at " << label.l;
    }
    EXPECT_EQ(Logged("cap id 1 != 2, expired"), 1u);
    EXPECT_EQ(backend_.Requests("/trans/report").size(), 1u) << "the dropped run was reported";
    // The run was not counted: the overlay says so above the region, the labels stay.
    EXPECT_TRUE(WaitUntil([&] { return Logged("translations used up, said on the overlay"); }));
    EXPECT_TRUE(line(ShotWhen([&](const Image& s) { return line(s, 0, 100); }), 0, 100));

    // Ctrl+C: the run's translations, one per line; the overlay stays.
    On({"xdotool", "key", "ctrl+c"});
    vl::test::ProbeRun clipboard(x_.Display(), "clipboard");
    EXPECT_EQ(clipboard.WaitForLine("clipboard", 10s), "clipboard 你好世界|竖排文字");
    EXPECT_TRUE(Visible("Velmora翻译-结果"));

    // The OCR service got the region's crop, at physical size.
    Image crop;
    for (const auto& [key, value] : vl::test::ParseForm(vendors_.Requests("/ocrapi").at(1).body))
        crop = key == "img" ? Image(vl::FromBase64(value)) : crop;
    ASSERT_TRUE(crop.w == 798 && crop.h == 300) << crop.w << "x" << crop.h;
    const auto red = [&](int x, int y) { return crop.C(x, y, 0) > 150 && crop.C(x, y, 1) < 90; };
    EXPECT_TRUE(red(2, 2) && red(390, 150) && !red(410, 150) && !red(795, 297));

    vendors_.Set("/ocrapi", 500, "busy");
    On({"xdotool", "key", "ctrl+alt+t"});
    ASSERT_TRUE(backend_.WaitForRequests("/trans/report", 2));
    const auto failed = [&](const Image& s) {
        return line(s, 240, 340) && s.Ink(c.horizontal.In(3)).second == 0;
    };
    EXPECT_TRUE(failed(ShotWhen(failed))) << "no reason shown, or the old labels stayed";

    On({"xdotool", "key", "Escape"});
    EXPECT_TRUE(WaitUntil([&] { return !Visible("Velmora翻译-结果"); }));
    EXPECT_TRUE(Visible("Velmora翻译-悬浮窗")) << "the ball is back after a dismiss";

    // Dismissed before its answer: the run ends there, its answer is neither shown nor charged.
    std::atomic<bool> answer{false};
    vendors_.Set("/ocrapi", [&](const httplib::Request&) {
        WaitUntil([&] { return answer.load(); }, 2500ms);
        return vl::test::LoopbackServer::Reply{200, kOcrAnswer};
    });
    const std::size_t asked = vendors_.Requests("/ocrapi").size();
    On({"xdotool", "key", "ctrl+alt+t"});
    ASSERT_TRUE(WaitUntil([&] { return vendors_.Requests("/ocrapi").size() > asked; }));
    On({"xdotool", "key", "Escape"});
    ASSERT_TRUE(WaitUntil([&] { return Logged("cap id 4 ended before its answer") == 1; }));
    answer = true;
    EXPECT_TRUE(WaitUntil([&] { return Logged("cap id 4 != 5, expired") == 1; }));
    EXPECT_EQ(backend_.Requests("/trans/report").size(), 2u);
    EXPECT_EQ(backend_.Requests("/trans/save-nums").size(), 1u);

    // Signed out by the back-end: the ball goes, the hotkeys are released, the main window is back.
    vendors_.Set("/ocrapi", 200, kOcrAnswer);
    backend_.Set("/trans/save-nums", 200, R"({"code":10505,"msg":"elsewhere"})");
    On({"xdotool", "key", "ctrl+alt+t"});
    ASSERT_TRUE(WaitUntil([&] { return Visible("Velmora翻译-主窗口"); }));
    EXPECT_TRUE(WaitUntil([&] { return !Visible("Velmora翻译-悬浮窗"); }));
    EXPECT_FALSE(Visible("Velmora翻译-结果"));
    const std::size_t before = vendors_.Requests("/ocrapi").size();
    On({"xdotool", "key", "ctrl+alt+t"});
    EXPECT_FALSE(WaitUntil([&] { return vendors_.Requests("/ocrapi").size() > before; }, 1500ms))
        << "translated after the sign-out";
}

// Regions with nothing to read: one kept from a larger screen, then one of a single colour. The
// run says why on the frozen screen and sends nothing.
TEST_P(CaptureRun, ARegionWithNothingToReadIsNamedOnTheFrozenScreenAndNotSent) {
    ASSERT_TRUE(Start("<left>3700</left><top>1000</top><right>4000</right><bottom>1200</bottom>"))
        << run_.Stderr();
    On({"xdotool", "key", "ctrl+alt+t"});
    const Box band{3300, 900, 3840, 998};  // the line stays on the screen, above the region
    const auto named = [&](const Image& s) { return s.Ink(band).second > 20; };
    EXPECT_TRUE(named(ShotWhen(named)) && vendors_.Requests("/ocrapi").empty());

    On({"xdotool", "key", "Escape"});
    ASSERT_TRUE(WaitUntil([&] { return !Visible("Velmora翻译-结果"); }));
    On({"xdotool", "key", "ctrl+alt+r"});
    ASSERT_TRUE(WaitUntil([&] { return Visible("Velmora翻译-区域"); }));
    On({"xdotool", "mousemove", "300", "400", "mousedown", "1", "mousemove", "500", "500",
        "mousemove", "900", "700", "mouseup", "1", "key", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return Visible("Velmora翻译-对话框"); }));
    ClickBottom("Velmora翻译-对话框", 28);
    ASSERT_TRUE(WaitUntil([&] { return !Visible("Velmora翻译-对话框"); }));
    On({"xdotool", "key", "ctrl+alt+t"});
    const Box above{300, 400 - 40 * GetParam().dpi / 96, 900, 398};
    const auto empty = [&](const Image& s) { return s.Ink(above).second > 20; };
    EXPECT_TRUE(empty(ShotWhen(empty))) << "no line above the one-colour region";
    EXPECT_EQ(Logged("the region is one colour, nothing sent"), 1u);
    EXPECT_TRUE(vendors_.Requests("/ocrapi").empty());
}

// With the local engine chosen, a Japanese line on the screen is recognised on this machine: the
// translation request carries it, the OCR service hears nothing, and the label covers the line.
class LocalCaptureRun : public CaptureRun {};

TEST_P(LocalCaptureRun, ALineOnTheScreenIsRecognisedLocallyAndCovered) {
    constexpr char kLine[] = "駅前の新しい店で友達と話しました";
    const std::string picture = run_.Dir().File("text.png");
    On({"convert", "-size", "3840x1080", "xc:#406080", "-fill", "white", "-draw",
        "rectangle 2100,150,2897,449", "-font",
        "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc", "-pointsize", "36", "-fill",
        "black", "-annotate", "+2140+260", kLine, picture});
    On({"display", "-window", "root", picture});
    vendors_.Set("/api", 200, R"({"errorCode":"0","translation":["在车站前的新店和朋友聊了天"]})");
    ASSERT_TRUE(Start("<left>2100</left><top>150</top><right>2898</right><bottom>450</bottom>",
                      "jap", "<engine>horizontal</engine><ocr>local</ocr>"))
        << run_.Stderr();
    On({"xdotool", "key", "ctrl+alt+t"});
    ASSERT_TRUE(backend_.WaitForRequests("/trans/report", 1));
    ASSERT_EQ(vendors_.Requests("/api").size(), 1u);
    EXPECT_EQ(vl::test::ParseForm(vendors_.Requests("/api")[0].body).at(0).second,
              std::string(kLine) + "\n");
    EXPECT_TRUE(vendors_.Requests("/ocrapi").empty() && vendors_.Requests("/general").empty());
    const Box line{2150, 232, 2500, 258};
    const auto covered = [&](const Image& s) {
        const auto [dark, white] = s.Ink(line);
        return dark > 0.5 && white > 30;
    };
    EXPECT_TRUE(covered(ShotWhen(covered))) << "no label over the line";
    EXPECT_EQ(Logged("ocr of task id 1 answered by the local engine"), 1u);
}

// Without the model the run fails with the package to install on the failure line; the program
// goes on.
TEST_P(LocalCaptureRun, AMissingModelIsNamedOnTheFailureLine) {
    run_.Dir().Write("velmora-services.json", R"({"backend":{"url":")" + backend_.Url() +
                                                  R"("},"local_ocr":{"data_dir":")" +
                                                  run_.Dir().File("no-models") + R"("}})");
    ASSERT_TRUE(Start("<left>2100</left><top>150</top><right>2898</right><bottom>450</bottom>",
                      "jap", "<engine>horizontal</engine><ocr>local</ocr>"))
        << run_.Stderr();
    On({"xdotool", "key", "ctrl+alt+t"});
    ASSERT_TRUE(backend_.WaitForRequests("/trans/report", 1));
    // The reason stands above the region, longer than the busy mark.
    const auto reason = [&](const Image& s) {
        return s.Ink({kRegion.l + 240, kRegion.t - 40, kRegion.l + 400, kRegion.t - 2}).second > 20;
    };
    EXPECT_TRUE(reason(ShotWhen(reason)));
    EXPECT_EQ(Logged("local ocr model jpn not found at"), 2u);  // at start-up, and in the run
    EXPECT_TRUE(std::ranges::any_of(run_.LogMessages(), [](const std::string& m) {
        return m.ends_with("install the Debian package tesseract-ocr-jpn");
    }));
    On({"xdotool", "key", "Escape"});
    EXPECT_TRUE(WaitUntil([&] { return Visible("Velmora翻译-悬浮窗"); }));
}

INSTANTIATE_TEST_SUITE_P(Scales, LocalCaptureRun, ::testing::Values(RunCase{96, {}, {}}),
                         [](const auto& info) { return "Dpi" + std::to_string(info.param.dpi); });

// At 144 dpi the region is (1400, 100, 1932, 300) in 96-DPI units and the boxes are scaled first.
INSTANTIATE_TEST_SUITE_P(
    Scales, CaptureRun,
    ::testing::Values(RunCase{96, {2139, 179, 2439, 221}, {2800, 170, 2840, 410}, true},
                      RunCase{144, {2137, 178, 2437, 221}, {2799, 169, 2839, 410}, false}),
    [](const auto& info) { return "Dpi" + std::to_string(info.param.dpi); });
