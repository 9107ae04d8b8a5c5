// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OscStream.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <thread>
#include <tuple>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/TempDataDir.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

// Recordings of these tests go to a temporary data directory.
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

TEST(OscValues, DecodingByType) {
    const uint8_t minus200[] = {0x00, 0x00, 0xFF, 0x38};
    EXPECT_FLOAT_EQ(DecodeOscValue(minus200, 2, 0.1), -20.0f);
    const uint8_t byte80[] = {0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(DecodeOscValue(byte80, 1, 1.0), -128.0f);
    const uint8_t i32[] = {0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_EQ(DecodeOscValue(i32, 4, 0.5), -1.0f);
    const uint8_t f32[] = {0x42, 0xC8, 0x00, 0x00};  // 100.0
    EXPECT_EQ(DecodeOscValue(f32, 20, 1.0), 100.0f);
    EXPECT_EQ(DecodeOscValue(f32, 20, -1.0), -100.0f);
    EXPECT_EQ(DecodeOscValue(f32, 7, 1.0), 0.0f);
    // Kept in single precision: 0.1 * 3 is the float nearest 0.3.
    const uint8_t three[] = {0, 0, 0, 3};
    EXPECT_EQ(DecodeOscValue(three, 1, 0.1), 0.3f);
}

TEST(OscDescription, FieldsNamesAndShortDescriptions) {
    uint8_t d[112] = {2, 0, 0, 0, 0x11, 0x22, 0x33, 0x00, 0x00, 0x00, 0x80, 0x3F};  // scale 1.0f
    std::memset(d + 12, 'x', 100);
    OscChannel ch;
    OSC_DecodeDescription(d, 112, 0, &ch);
    EXPECT_EQ(std::tuple(ch.type, ch.colour, ch.scale), std::tuple(2u, 0x332211u, 1.0));
    EXPECT_EQ(ch.name, std::string(49, 'x')) << "cut, never overflowing";

    d[7] = 0x01;  // colour with a top byte: the slot's default stays
    std::memcpy(d + 12, "U f\r\0junk", 9);
    OSC_DecodeDescription(d, 20, 3, &ch);
    EXPECT_EQ(ch.colour, DefaultChannelColour(3));
    EXPECT_EQ(ch.name, "U_f_") << "as the recording's header holds it";

    OSC_DecodeDescription(d, 6, 1, &ch);  // too short for colour, scale and name
    EXPECT_EQ(std::tuple(ch.type, ch.colour, ch.scale, ch.name),
              std::tuple(2u, DefaultChannelColour(1), 1.0, "_"))
        << "no name: one the header can hold";
}

TEST(OscFileHeader, AHeaderThatCannotBeWrittenLeavesNoFile) {
    // The disk takes the file but not its header: "Open File error", and no empty file
    // is left behind.
    const std::string dir = std::getenv("KORVEX_DATA_DIR");
    auto files = [&dir] {
        return std::count_if(std::filesystem::recursive_directory_iterator(dir), {},
                             [](const auto& e) { return e.is_regular_file(); });
    };
    const auto before = files();
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit rl{20, saved.rlim_max};
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &rl);
    test::ErrorCapture errors;
    LinkSettings link;
    link.port_name = "COM1";
    OscState osc;
    osc.channels.resize(3);
    const int rc = OSC_FileHeader(link, osc);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(errors.texts(), std::vector<std::string>{"Open File error"});
    EXPECT_EQ(files(), before);
}

TEST(OscDisplay, SegmentsStatusAndIdleBlanking) {
    // Per panel: its last text segment, an index that is neither text nor status, the
    // status packet's index and the text blanked after 50 idle packets.
    struct Case {
        bool selvo, selvom;
        uint8_t last, ignored, status;
        size_t blanked;
    } cases[] = {
        {true, false, 10, 12, 11, 80}, {false, true, 4, 11, 5, 32}, {true, true, 14, 15, 16, 112}};
    for (const auto& c : cases) {
        OscState osc;
        std::tie(osc.display_present, osc.selvo, osc.selvom) = std::tuple(true, c.selvo, c.selvom);
        int notified = 0;
        osc.on_screen_changed = [&] { ++notified; };
        uint8_t text[10] = {uint8_t(0x20 | c.last), 0, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
        OSC_HandleDisplay(osc, text);  // the top bits are no part of the index
        uint8_t ignored[10] = {c.ignored, 0, 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X'};
        OSC_HandleDisplay(osc, ignored);
        uint8_t status[10] = {c.status, 0, 2, 7, 1};
        OSC_HandleDisplay(osc, status);
        const std::string screen(osc.screen.text, kSelvoTextSize);
        EXPECT_EQ(screen.substr(size_t(c.last - 1) * 8, 8), "ABCDEFGH") << int(c.last);
        EXPECT_EQ(screen.find('X'), std::string::npos) << int(c.ignored);
        EXPECT_EQ(notified, 1) << int(c.status);
        EXPECT_EQ(std::tuple(osc.screen.cursor_row, osc.screen.cursor_col, osc.screen.cursor_on),
                  std::tuple(2, 7, 1));

        uint8_t idle[10] = {0};
        for (int i = 0; i < 49; ++i) OSC_HandleDisplay(osc, idle);
        EXPECT_EQ(notified, 1);
        for (int i = 0; i < 20; ++i) OSC_HandleDisplay(osc, idle);
        EXPECT_EQ(notified, 2) << "blanked once";
        EXPECT_EQ(std::string(osc.screen.text, c.blanked), std::string(c.blanked, ' '));
        EXPECT_EQ(osc.screen.cursor_on, 0);
    }
}

class OscStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        link.port_name = sim.port_path();
        osc.Reset();
    }
    void TearDown() override {
        worker.Stop();
        g_bRussian = false;
    }
    // Bytes the regulator received in stream mode.
    Bytes StreamBytes() {
        Bytes out;
        for (const auto& e : sim.Wire())
            if (e.from_program && e.mode == "stream")
                out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        return out;
    }
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings link;
    OscState osc;
    OscWorker worker;
};

TEST_F(OscStreamTest, TheBytesOnTheWireAndTheRecording) {
    struct Run {
        uint32_t baud;
        uint8_t s;
        int divider;
    } runs[] = {{115200, 0, 3}, {115200, 0, 4}, {115200, 0, 5}, {57600, 1, 10}, {38400, 2, 10}};
    for (auto [baud, s, divider] : runs) {
        sim.ClearWire();
        model.stream_stats->packets = 0;
        link.osc_baud = baud;
        link.rate_divider = divider;
        ASSERT_EQ(OSC_Open(link, osc), 0);
        Bytes received = sim.Received();
        received.resize(8);
        EXPECT_EQ(received, (Bytes{0xFF, 0xFE, 0xFC, 0, 0, 0, s, 0xF6}));
        worker.Start(link, osc);
        ASSERT_TRUE(test::PollUntil([&] { return model.stream_stats->packets > 5; }));
        worker.Stop();
        EXPECT_EQ(osc.done, 1);
        EXPECT_TRUE(osc.StopMessage().empty());
        ASSERT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
        // Identification, the 12 channel descriptions, start at the rate, stop.
        EXPECT_EQ(StreamBytes(), (Bytes{0x80, 0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98,
                                        0x99, 0x9A, 0x9B, uint8_t(0xA0 + divider), 0xC0}))
            << baud;
    }
    // The recording: its header, and rows of 12 values that end complete.
    std::string file = test::ReadFileBytes(link.file_arg);
    const std::string header = "#FILE=" + sim.port_path() +
                               "\r\n#CHAN=12\r\n#NAME=Ua Ub Uc If Uf State Ia Ib Ic P Q F \r\n"
                               "#XN=Time (sec)\r\n#F=50.000000\r\n#XX=0,0.020000\r\n";
    EXPECT_EQ(file.substr(0, header.size()), header);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(file.substr(file.size() - 3), "\t\r\n");
    std::string last = file.substr(file.rfind("\r\n", file.size() - 3) + 2);
    EXPECT_TRUE(std::regex_match(last, std::regex("(-?[0-9]+\\.[0-9]{6}\t){12}\r\n"))) << last;
}

TEST_F(OscStreamTest, KeepAliveAndKeys) {
    link.rate_divider = 3;
    ASSERT_EQ(OSC_Open(link, osc), 0);
    worker.Start(link, osc);
    ASSERT_TRUE(test::PollUntil([&] { return model.stream_stats->packets > 3; }));
    // While the regulator holds its packets back, two clicks: only the second is sent.
    model.stream_faults->silent = 20;
    std::this_thread::sleep_for(milliseconds(60));
    osc.pending_key = 0x0D;
    osc.pending_key = 0x1B;
    // Over 300 packets at 166 Hz: their numbers wrap around, and more than a second passes.
    ASSERT_TRUE(
        test::PollUntil([&] { return model.stream_stats->packets > 300 || osc.done; }, 4000));
    EXPECT_EQ(osc.done, 0) << osc.StopMessage();
    worker.Stop();
    // The stop byte has left the port; the regulator takes it at the line's pace.
    ASSERT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
    Bytes b = StreamBytes();
    EXPECT_EQ(std::count(b.begin(), b.end(), 0x0D), 0);
    EXPECT_EQ(std::count(b.begin(), b.end(), 0x1B), 1);
    EXPECT_GE(std::count(b.begin(), b.end(), 0xB0), 1) << "a keep-alive each second";
    EXPECT_EQ(b.back(), 0xC0);
    // A SELVO panel's text reached the screen: the home screen's second line.
    std::lock_guard<std::mutex> lock(osc.screen.mu);
    EXPECT_EQ(std::string(osc.screen.text + 20, 3), "Ug=");
}

TEST_F(OscStreamTest, RefusalsWithTheirTexts) {
    struct Case {
        int version, channels, nbyte, divider;
        bool russian;
        std::vector<std::string> texts;
    } cases[] = {
        {0, 4, 40, 10, false, {}},
        {0, 4, 40, 5, false, {"Sample Rate Change not supported!"}},
        {0, 4, 40, 3, true, {"Это устройство поддерживает только частоту 50 Hz !"}},
        {2, 4, 40, 10, false, {"Unknown Osc Version"}},
        {2, 4, 40, 10, true, {"Неизвестный номер версии осциллографа в устройстве!"}},
        {1, 0, 40, 10, false, {"0 Channels"}},
        {1, 4, 0, 10, false, {"Bad nbyte"}},
        {1, 4, 113, 10, false, {"Too Big Channel Info Blok"}},
        {1, 4, 0x80, 10, false, {"Too Big Channel Info Blok"}},
        {1, 4, 112, 10, false, {}},
        {1, 4, 12, 10, false, {}},  // no room for names: the channels have none
        {1, 4, 13, 10, false, {}},
        {1, 16, 40, 10, false, {}},
    };
    for (const auto& c : cases) {
        g_bRussian = c.russian;
        model.stream_options->version = c.version;
        model.stream_options->channels = c.channels;
        model.stream_options->nbyte = c.nbyte;
        link.rate_divider = c.divider;
        test::ErrorCapture shown;
        const int rc = OSC_Open(link, osc);
        EXPECT_EQ(shown.texts(), c.texts)
            << c.version << " " << c.channels << " " << c.nbyte << " " << c.divider;
        EXPECT_EQ(rc, c.texts.empty() ? 0 : 1);
        EXPECT_EQ(link.port != nullptr, rc == 0);
        RS232_Close(link.port);
        link.port = nullptr;
        OSC_CloseWriter(osc);
        ASSERT_TRUE(test::PollUntil([&] { return sim.current_mode() == "stream"; }));
        // The regulator is left streaming-ready; a new opening starts from its normal mode.
        const uint8_t stop = 0xC0;
        RS232Port* p = RS232_Open(sim.port_path(), 115200, kParityOdd, 0, 100, 0);
        RS232_TxRx(p, &stop, 1, nullptr, nullptr, 0);
        RS232_Close(p);
        ASSERT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
    }
    // Sixteen channels: all recorded, fifteen shown.
    EXPECT_EQ(osc.NumChan, 16);
    EXPECT_EQ(osc.shown, 15);
    EXPECT_NE(test::ReadFileBytes(link.file_arg).find("#CHAN=16\r\n"), std::string::npos);

    // No regulator at all: a port that answers nothing.
    sim::SimRegulator deaf;
    std::string err;
    ASSERT_TRUE(deaf.Start(&err));
    link.port_name = deaf.port_path();
    g_bRussian = false;
    test::ErrorCapture shown;
    EXPECT_EQ(OSC_Open(link, osc), 1);
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Device not found"});
}

TEST_F(OscStreamTest, StopsOnFaultsWithTheirMessages) {
    const std::string number =
        "Illegal Packet Number\nN_wait=0x([0-9A-F]{2})  N_rx=0x([0-9A-F]{2})";
    struct Case {
        std::atomic<int>* fault;
        std::string pattern;
    } cases[] = {
        {&model.stream_faults->skip_number, number},
        {&model.stream_faults->repeat_number, number},
        {&model.stream_faults->out_of_range, "Too big value for channel 'If'"},
        {&model.stream_faults->nan, "Too big value for channel 'Uf'"},
        {&model.stream_faults->silent, "RS232_TxRx\\(\\): ReadFile\\(\\): n_req_rx=58, n_rd=0"},
    };
    int k = 0;
    for (auto& c : cases) {
        link.rate_divider = 3;
        ASSERT_EQ(OSC_Open(link, osc), 0);
        test::ErrorCapture shown;
        worker.Start(link, osc);
        ASSERT_TRUE(test::PollUntil([&] { return model.stream_stats->packets > 3; }));
        *c.fault = (k++ == 4) ? -1 : 1;
        ASSERT_TRUE(test::PollUntil([&] { return osc.done == 1; }, 3000)) << c.pattern;
        worker.Join();
        *c.fault = 0;
        std::smatch m;
        std::string msg = osc.StopMessage();
        EXPECT_TRUE(std::regex_match(msg, m, std::regex(c.pattern))) << msg;
        EXPECT_TRUE(shown.texts().empty()) << "kept for the owner, never shown by the worker";
        if (m.size() == 3) {
            int wait = std::stoi(m[1], nullptr, 16), rx = std::stoi(m[2], nullptr, 16);
            EXPECT_EQ(rx, (k == 1 ? wait + 1 : wait + 255) % 256);
        }
        ASSERT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }));
        model.stream_stats->packets = 0;
    }
}

}  // namespace
}  // namespace korvex
