// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "app/TempDataDir.h"
#include "app/Version.h"
#include "diary/DiaryBlock.h"
#include "diary/DiaryReport.h"
#include "diary/DiaryRun.h"
#include "diary/ServiceChannel.h"
#include "link/LinkTrace.h"
#include "link/ModBusCRC.h"
#include "link/PtyPeer.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

// The report's fixed Russian texts as CP1251 bytes, spelled out here so that the test
// does not lean on the program's own conversion.
const std::string kChannel = "\xCA\xE0\xED\xE0\xEB=";        // "Канал="
const std::string kDiary = "\xC4\xED\xE5\xE2\xED\xE8\xEA-";  // "Дневник-"
const std::string kMessages = "\xF1\xEE\xEE\xE1\xF9";        // "сообщ"
const std::string kSet = "\xCD\xE0\xE1\xEE\xF0 \xEF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xEE\xE2";
const std::string kParams = "\xEF\xE0\xF0\xE0\xEC.";  // "парам."

// The report as a reader sees it: lines without their CR LF.
std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t p; (p = bytes.find("\r\n", start)) != std::string::npos; start = p + 2)
        lines.push_back(bytes.substr(start, p - start));
    EXPECT_EQ(start, bytes.size()) << "every line ends with CR LF";
    for (const auto& l : lines) EXPECT_EQ(l.find('\n'), std::string::npos) << "no bare LF";
    return lines;
}

class DiaryRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        settings.port_name = sim.port_path();
    }
    void TearDown() override { SetLinkTrace(nullptr); }
    DiaryRunResult Run() {
        DiaryRunEvents events;
        events.progress_range = [this](int m) { ranges.push_back(m); };
        events.progress_position = [this](int p) { last_position = p; };
        return ReadDiariesAndParameters(settings, events);
    }
    std::vector<std::string> ReportLines(const DiaryRunResult& r) {
        return Lines(test::ReadFileBytes(r.report_path));
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings settings;
    std::vector<int> ranges;
    int last_position = -1;
};

// What the report writes for `sets` alone.
std::string SetsReport(const std::vector<ParameterSet>& sets) {
    test::TempDir tmp;
    FILE* f = std::fopen((tmp.path() + "/r.txt").c_str(), "wb");
    DiaryReport report(f);
    EXPECT_TRUE(report.PutParameterSets(sets));
    std::fclose(f);
    return test::ReadFileBytes(tmp.path() + "/r.txt");
}

// The expected report of the simulated regulator's standard content, line by line,
// made here from the simulator's own data.
std::vector<std::string> ExpectedReport(sim::RegulatorModel& model) {
    Version4 v = OwnVersion();
    std::vector<std::string> e = {StrPrintf("Korvex v%d.%d.%d.%d", v[0], v[1], v[2], v[3]), ""};
    // The clocks: "Время Windows   : " and "Время регулятора: ", then the time.
    e.insert(e.end(),
             {"KORVEX SIM AVR-2     Version 2.3.1", kChannel + "1, Master",
              "\xC2\xF0\xE5\xEC\xFF Windows   : <time>",
              "\xC2\xF0\xE5\xEC\xFF \xF0\xE5\xE3\xF3\xEB\xFF\xF2\xEE\xF0\xE0: <time>", ""});
    auto texts = model.diaries->texts();
    auto diaries = model.diaries->diaries();
    for (size_t d = 0; d < diaries.size(); ++d) {
        const sim::SimDiary& diary = diaries[d];
        bool wrapped = diary.fill & 0x8000;
        int count = wrapped ? diary.capacity : diary.fill;
        e.push_back(StrPrintf("********** %s%d (%d %s) **********", kDiary.c_str(), int(d + 1),
                              count, kMessages.c_str()));
        e.push_back("");
        for (int k = 0; k < count; ++k) {
            int place = ((wrapped ? diary.fill & 0x7FFF : 0) + k) % diary.capacity;
            const sim::SimDiaryRecord& r = diary.places[size_t(place)];
            std::string text = r.code < texts.size() ? texts[r.code] : "";
            e.push_back(StrPrintf("%d\t%4.4d-%2.2d-%2.2d  %2.2d:%2.2d:%2.2d:%3.3d  [%3.3d]  %s",
                                  k + 1, r.year, r.month, r.day, r.hour, r.minute, r.second,
                                  r.millisecond, r.code, text.c_str()));
        }
        e.push_back("");
    }
    // The parameter sets as the report lays them out (the layout is its own test below).
    std::vector<ParameterSet> sets;
    for (const auto& set : model.parameters->sets()) {
        sets.push_back({uint16_t(set.params.size()), true, {}});
        for (const auto& p : set.params)
            sets.back().params.push_back({p.name, ParameterValue{p.is_float, p.i, p.f}});
    }
    for (const auto& line : Lines(SetsReport(sets))) e.push_back(line);
    return e;
}

TEST_F(DiaryRunTest, TheWholeReportByteForByte) {
    DiaryRunResult r = Run();
    ASSERT_TRUE(r.complete) << (r.messages.empty() ? "" : r.messages[0]);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_NE(r.report_path.find("_KORVEX(1).info.txt"), std::string::npos) << r.report_path;
    std::vector<std::string> lines = ReportLines(r), expect = ExpectedReport(model);
    ASSERT_EQ(lines.size(), expect.size());
    // The two clocks' times vary: a time of the right form reads "<time>" here.
    const std::regex time(": \\d{4}-\\d\\d-\\d\\d   \\d\\d:\\d\\d:\\d\\d $");
    for (size_t i : {4, 5}) lines[i] = std::regex_replace(lines[i], time, ": <time>");
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i], expect[i]) << "line " << i + 1;
    // Each text once per code, whatever how often the code occurs.
    EXPECT_EQ(model.diaries->text_reads(13), 1);
    EXPECT_EQ(model.diaries->text_reads(0), 1);
    EXPECT_EQ(model.diaries->text_reads(40), 0) << "a code beyond the texts has none";
    // The progress: 100, then the messages and the counted parameters.
    EXPECT_EQ(ranges, (std::vector<int>{100, 100 + 40 + 12 + 20 + 20}));
    EXPECT_EQ(last_position, ranges.back());
    // The regulator was taken out of ModBus mode with the exit message.
    EXPECT_EQ(r.link_status, 0u);
    EXPECT_EQ(sim.current_mode(), "normal");
}

TEST_F(DiaryRunTest, TheChannelLineAndTheReportsName) {
    struct Case {
        uint16_t word;
        std::string line;
        std::string name;
    } cases[] = {{0, "", "(0).info.txt"},
                 {1 | 4, kChannel + "1, Master", "(1).info.txt"},
                 {2 | 8, kChannel + "2, Master", "(2).info.txt"},
                 {2 | 4, kChannel + "2, Slave", "(2).info.txt"}};
    for (const auto& c : cases) {
        model.registers->Set(0, c.word);
        DiaryRunResult r = Run();
        ASSERT_TRUE(r.complete);
        auto lines = ReportLines(r);
        EXPECT_EQ(lines[3].rfind(kChannel, 0) == 0 ? lines[3] : "", c.line) << c.word;
        EXPECT_EQ(r.report_path.substr(r.report_path.size() - c.name.size()), c.name);
    }
}

TEST_F(DiaryRunTest, TheInputRegisterVariantAndItsTexts) {
    model.diaries->faults->input_variant = true;
    // A text whose CP1251 bytes have the top bit set in low bytes: the input registers
    // carry the high byte one lower, the reader adds it back.
    DiaryRunResult r = Run();
    ASSERT_TRUE(r.complete) << (r.messages.empty() ? "" : r.messages[0]);
    std::string report = test::ReadFileBytes(r.report_path);
    auto texts = model.diaries->texts();
    EXPECT_NE(report.find("[013]  " + texts[13] + "\r\n"), std::string::npos);
    EXPECT_NE(report.find("[017]  " + texts[17] + "\r\n"), std::string::npos)
        << "a text of exactly 20 characters, whole";
    EXPECT_EQ(texts[17].size(), 20u);

    // Only a count of exactly 2 in the input registers makes the variant: with one diary
    // the later reads stay holding-register reads, which this regulator refuses.
    auto diaries = model.diaries->diaries();
    model.diaries->SetDiaries({diaries[0]});
    r = Run();
    EXPECT_FALSE(r.complete);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].rfind("ModBus_ReadHldReg(Addr=1, Reg=4100, Num=4):\n", 0), 0u)
        << r.messages[0];
}

TEST_F(DiaryRunTest, LimitsAndReplyChecks) {
    // A fault placed on the nth service request of a kind as it goes out.
    auto on_service_request = [&](uint8_t sub, int nth, std::function<void()> fault) {
        auto seen = std::make_shared<int>(0);
        SetLinkTrace([=](bool tx, const uint8_t* f, size_t n) {
            if (tx && n >= 8 && f[1] == 0x41 && f[4] == 0x78 && f[5] == sub && ++*seen == nth)
                fault();
        });
    };
    auto& params = *model.parameters->faults;
    struct Case {
        std::function<void()> fault;
        std::vector<std::string> messages;
    } cases[] = {
        {[&] { model.diaries->faults->text_count = 1001; }, {"Too  much messages !"}},
        {[&] { params.short_select = 1; }, {"Error 6"}},
        // The second pass's third select-set gets a short reply.
        {[&] { on_service_request(0x02, 6, [&] { params.short_select = 1; }); }, {"Error 6"}},
        {[&] { params.wrong_name_echo = 1; }, {"Parameter Read Name Error"}},
        {[&] { params.short_value = 1; }, {"Bad Length (Read Param Value)"}},
        // At the limits: 1000 texts and 7 sets are accepted (8 sets are the set count
        // reply's check below).
        {[&] { model.diaries->faults->text_count = 1000, params.set_count = 7; }, {}},
    };
    for (auto& c : cases) {
        c.fault();
        DiaryRunResult r = Run();
        SetLinkTrace(nullptr);
        EXPECT_EQ(r.complete, c.messages.empty());
        EXPECT_EQ(r.messages, c.messages);
        EXPECT_EQ(r.link_status, 0u) << "the last exchange succeeded: the exit message is sent";
        ASSERT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
        model.diaries->faults->text_count = params.set_count = -1;
    }

    // Last, since the regulator stays in ModBus mode after it: a value request gets an
    // answer with a bad CRC, whose message comes first.
    on_service_request(0x05, 5, [&] { model.modbus_faults->bad_crc = 1; });
    DiaryRunResult r = Run();
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.messages,
              (std::vector<std::string>{"ModBus_CanTxRx(Addr=0):\nModBus_TxRx(): Rx CRC error",
                                        "Bad Length (Read Param Value)"}));
    EXPECT_NE(r.link_status, 0u);
    EXPECT_EQ(sim.current_mode(), "modbus") << "no exit message after a failed exchange";
}

TEST_F(DiaryRunTest, AFailedExchangeClosesThePortAndKeepsTheReportSoFar) {
    model.diaries->faults->fail_after_reads = 30;
    DiaryRunResult r = Run();
    EXPECT_FALSE(r.complete);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].find("Exception 4 (SLAVE_DEVICE_FAILURE)"), std::string::npos)
        << r.messages[0];
    EXPECT_NE(r.link_status, 0u);
    EXPECT_EQ(sim.current_mode(), "modbus") << "no exit message after a failed exchange";
    auto lines = ReportLines(r);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("\\d+\t2026-.*")))
        << "the messages read before the failure stay: " << lines.back();
}

// A stop wakes the exchange that waits for an answer the regulator does not give: the
// exit message goes out at once, and the run ends without a message.
TEST_F(DiaryRunTest, AStopWakesTheWaitingExchangeAndTheExitMessageStillGoes) {
    using Clock = std::chrono::steady_clock;
    StopToken stop;
    std::atomic<Clock::rep> asked{0}, sent{0};
    std::thread stopper;
    DiaryRunEvents events;
    events.progress_position = [&](int p) {
        if (p != 10 || stopper.joinable()) return;
        model.modbus_faults->silent = 1;
        stopper = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the wait
            asked = Clock::now().time_since_epoch().count();
            stop.RequestStop();
        });
    };
    SetLinkTrace([&](bool tx, const uint8_t*, size_t) {
        if (tx && asked && !sent) sent = Clock::now().time_since_epoch().count();
    });
    DiaryRunResult r = ReadDiariesAndParameters(settings, events, &stop);
    stopper.join();
    EXPECT_LT(Clock::duration(sent - asked), std::chrono::milliseconds(100)) << "of 1000 ms";
    EXPECT_FALSE(r.complete);
    EXPECT_TRUE(r.messages.empty()) << r.messages[0];
    EXPECT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
}

TEST_F(DiaryRunTest, AFullDiskKeepsWholeLinesAndStopsAtOnce) {
    // The diary records read, one exchange each (4 registers from the window).
    int records = 0;
    SetLinkTrace([&](bool tx, const uint8_t* f, size_t n) {
        records += tx && n == 8 && f[1] == 3 && (f[2] << 8 | f[3]) >= 0x1100 && f[5] == 4;
    });
    // For the run, files may grow to `limit` at most: writes beyond fail as on a full disk
    // (EFBIG, with SIGXFSZ ignored). The simulated regulator writes no files.
    const size_t limit = 1000;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit rl{limit, saved.rlim_max};
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &rl);
    DiaryRunResult r = Run();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    SetLinkTrace(nullptr);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.messages, std::vector<std::string>{"Write File error: File too large"});
    std::string bytes = test::ReadFileBytes(r.report_path);
    EXPECT_LE(bytes.size(), limit);
    EXPECT_GT(bytes.size() + 40, limit) << "every line that fitted is kept";
    auto lines = ReportLines(r);  // whole lines only
    ASSERT_GE(lines.size(), 10u);
    int messages = 0;
    for (const auto& l : lines) messages += std::regex_match(l, std::regex("\\d+\t2026-.*"));
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(StrPrintf("%d\t2026-.*", messages))))
        << lines.back();
    EXPECT_EQ(records, messages + 1) << "no record read after the one that did not fit";
    // The last exchange succeeded: the regulator was taken out of ModBus mode.
    EXPECT_EQ(r.link_status, 0u);
    EXPECT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
}

// Without diaries the diary part is empty and the parameters are still read; of more
// than 256 parameters the first 256 are read, the heading keeps the count reported; a
// name of exactly 20 characters is written whole. A diary of no records has no heading.
TEST_F(DiaryRunTest, DiariesWithoutRecordsHaveNoPartAndAtMost256ParametersAreRead) {
    model.diaries->SetDiaries({});
    sim::SimParameterSet big;
    for (int j = 0; j < 300; ++j)
        big.params.push_back({j == 7 ? "Twenty characters!!!" : StrPrintf("P%d", j), false, j});
    model.parameters->SetSets({big});
    DiaryRunResult r = Run();
    ASSERT_TRUE(r.complete);
    std::string report = test::ReadFileBytes(r.report_path);
    EXPECT_EQ(report.find(kDiary), std::string::npos);
    EXPECT_NE(report.find(kSet + " 0 (300 " + kParams), std::string::npos);
    EXPECT_NE(report.find("\r\n256\tP255"), std::string::npos);
    EXPECT_EQ(report.find("\r\n257\t"), std::string::npos);
    EXPECT_NE(report.find("\r\n8\tTwenty characters!!! = 7\r\n"), std::string::npos);
    EXPECT_EQ(last_position, ranges.back()) << "the bar ends full: only values read count";

    model.diaries->SetDiaries({sim::MakeDiary(50, 0, {1}, 1000), sim::MakeDiary(50, 3, {1}, 1000)});
    report = test::ReadFileBytes(Run().report_path);
    EXPECT_EQ(report.find(kDiary + "1"), std::string::npos);
    EXPECT_NE(report.find(kDiary + "2 (3 " + kMessages), std::string::npos);
}

// Set 0 alone; with two sets, set 1 like set 0; with three, sets 1 and 2 side by side,
// "[#]" where they differ, in value or in type, or where set 2 has no such parameter.
TEST(DiaryReport, ParameterSetsAloneAndSideBySide) {
    auto param = [](const char* name, bool is_float, int32_t i, float f) {
        return Parameter{name, ParameterValue{is_float, i, f}};
    };
    const ParameterSet one{2, true, {param("K1u", true, 0, 2.5f), param("Limit,C", false, 130, 0)}};
    ParameterSet two = one, three = one;
    two.params.resize(1);
    two.params[0].value = ParameterValue{false, 3, 0};
    three.params[1].value.i = 131;
    auto heading = [](const std::string& number) {
        return "\r\n********** " + kSet + " " + number + " (2 " + kParams + ") **********\r\n\r\n";
    };
    const std::string rows = "1\tK1u            = 2.500\r\n2\tLimit,C        = 130\r\n";
    EXPECT_EQ(SetsReport({}), "");
    EXPECT_EQ(SetsReport({one}), heading("0") + rows);
    EXPECT_EQ(SetsReport({one, one}), heading("0") + rows + heading("1") + rows);
    const std::string pair = heading("0") + rows + heading("1/2");
    EXPECT_EQ(SetsReport({one, one, two}), pair +
                                               "1\tK1u            = 2.500      3          [#]\r\n"
                                               "2\tLimit,C        = 130                   [#]\r\n");
    EXPECT_EQ(SetsReport({one, one, three}),
              pair +
                  "1\tK1u            = 2.500      2.500      \r\n"
                  "2\tLimit,C        = 130        131        [#]\r\n");
}

// The set count reply's checks, with a regulator played by the test.
TEST(ServiceChannel, TheSetCountRepliesChecks) {
    test::PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    std::string err;
    RS232Port* port = RS232_Open(peer.port(), 115200, kParityEven, 0, 200, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    auto frame = [](std::vector<uint8_t> data) {
        std::vector<uint8_t> f = {0x00, 0x41, uint8_t(data.size() << 4 | 0x06), 0x90};
        f.insert(f.end(), data.begin(), data.end());
        const uint16_t crc = ModBus_CRC(f.data(), f.size());
        f.insert(f.end(), {uint8_t(crc), uint8_t(crc >> 8)});
        return f;
    };
    struct Case {
        std::vector<uint8_t> reply;
        std::string message;
        int count;
    } cases[] = {
        {{0, 0x02, 0, 1, 3, 0, 0, 0}, "Error 1", 0}, {{0, 0x01, 1, 1, 3, 0, 0, 0}, "Error 2", 0},
        {{0, 0x01, 0, 1, 3, 0, 0}, "Error 3", 0},    {{0, 0x01, 0, 2, 3, 0, 0, 0}, "Error 4", 0},
        {{0, 0x01, 0, 1, 8, 0, 0, 0}, "Error 5", 0}, {{0, 0x01, 0, 1, 7, 0, 0, 0}, "", 7}};
    for (const auto& c : cases) {
        std::thread regulator([&] {
            peer.Read(8, 500);
            peer.Write(frame(c.reply));
        });
        int count = 0;
        ServiceResult r = RequestSetCount(port, &count);
        regulator.join();
        EXPECT_EQ(std::tuple(r.code, r.messages.empty() ? "" : r.messages[0], count),
                  std::tuple(0u, c.message, c.count));
    }
    RS232_Close(port);
}

TEST(DiaryReportName, CharactersNoFileSystemTakesBecomeUnderscores) {
    EXPECT_EQ(DiaryReportName("A/B\\C:D*E?F\"G<H>I|J\x01K     Version 2.3.1", 2),
              "A_B_C_D_E_F_G_H_I_J_K(2).info.txt");
    EXPECT_EQ(DiaryReportName("SELVO-7", 2), "SELVO-7(2).info.txt") << "no blank: whole";
    EXPECT_EQ(DiaryReportName("\xCA\xEE\xF0\xE2\xE5\xEA\xF1", 0),
              "\xD0\x9A\xD0\xBE\xD1\x80\xD0\xB2\xD0\xB5\xD0\xBA\xD1\x81(0).info.txt");
}

TEST(DiaryDecoding, RecordsFillWordsAndTexts) {
    const uint16_t w[4] = {17, uint16_t(42 << 10 | 123), uint16_t(15 << 11 | 10 << 6 | 5),
                           uint16_t(26 << 4 | 12)};
    DiaryRecord r = DecodeDiaryRecord(w);
    EXPECT_EQ(r.code, 17);
    EXPECT_EQ(StrPrintf("%d-%d-%d %d:%d:%d.%d", r.year, r.month, r.day, r.hour, r.minute, r.second,
                        r.millisecond),
              "2026-12-15 10:5:42.123");
    // The input variant adds 1 to a high byte after a low one of 0x80 or more. (Fill
    // words and texts of 20 characters are the whole report's.)
    const uint16_t cyr[10] = {uint16_t(0xE0 << 8 | 0xCF), uint16_t('x' << 8 | 'y'), 0};
    EXPECT_EQ(DecodeMessageText(cyr, false), "\xCF\xE0yx");
    EXPECT_EQ(DecodeMessageText(cyr, true), "\xCF\xE1yx");
}

}  // namespace
}  // namespace korvex
