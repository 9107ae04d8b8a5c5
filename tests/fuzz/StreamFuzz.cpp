// SPDX-License-Identifier: GPL-3.0-or-later
// The oscilloscope stream's identify reply, channel descriptions and packets, as the
// regulator sends them: every value kept lies within -100..100 and its row is written
// exactly as printf writes it.
#include <cstring>

#include "FuzzSupport.h"
#include "files/RecordingWriter.h"
#include "osc/OscStream.h"

using namespace korvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Silence();
    FuzzedDataProvider in(data, size);
    const int dividers[4] = {10, 5, 4, 3};
    const int divider = dividers[in.ConsumeIntegralInRange(0, 3)];
    auto id = in.ConsumeBytes<uint8_t>(4);
    id.resize(4);
    OscState osc;
    if (OSC_ParseIdentify(id.data(), divider, osc)) return 0;
    FUZZ_CHECK(osc.NumChan >= 1 && osc.nbyte >= 1 && size_t(osc.nbyte) <= kMaxOscDescription,
               "%d channels of %d bytes", osc.NumChan, osc.nbyte);
    osc.channels.assign(size_t(osc.NumChan), OscChannel{});
    for (int i = 0; i < osc.NumChan; ++i) {
        auto d = in.ConsumeBytes<uint8_t>(size_t(osc.nbyte));
        d.resize(size_t(osc.nbyte));
        OSC_DecodeDescription(d.data(), d.size(), i, &osc.channels[size_t(i)]);
        FUZZ_CHECK(osc.channels[size_t(i)].name.size() <= 49, "name of %zu characters",
                   osc.channels[size_t(i)].name.size());
    }
    const size_t length = (osc.display_present ? 10 : 2) + 4 * size_t(osc.NumChan);
    std::vector<double> values(size_t(osc.NumChan));
    std::vector<char> row(values.size() * kLiveRowBytesPerValue + 2);
    uint8_t expected = in.ConsumeIntegral<uint8_t>();
    while (in.remaining_bytes() >= length) {
        auto packet = in.ConsumeBytes<uint8_t>(length);
        uint8_t before = expected;
        std::string stop = OSC_ProcessPacket(osc, packet.data(), &expected, values.data());
        if (!stop.empty()) break;
        FUZZ_CHECK(packet[1] == before && expected == uint8_t(before + 1), "packet number");
        std::string printed;
        for (double v : values) {
            FUZZ_CHECK(v >= -100 && v <= 100, "value %g kept", v);
            char one[400];
            std::snprintf(one, sizeof one, "%.6f\t", v);
            printed += one;
        }
        size_t len = FormatLiveRow(values.data(), values.size(), row.data());
        FUZZ_CHECK(std::string(row.data(), len) == printed + "\r\n", "row differs from printf");
    }
    return 0;
}
