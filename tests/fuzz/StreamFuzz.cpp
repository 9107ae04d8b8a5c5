// SPDX-License-Identifier: GPL-3.0-or-later
// The oscilloscope stream's identify reply, channel descriptions and packets, as the
// regulator sends them: every value kept lies within -100..100 and its row is written
// exactly as printf writes it.
#include "FuzzSupport.h"
#include "osc/OscStream.h"

FUZZ_TARGET {
    const int divider = in.PickValueInArray({10, 5, 4, 3});
    auto id = in.ConsumeBytes<uint8_t>(4);
    id.resize(4);
    OscState osc;
    if (OSC_ParseIdentify(id.data(), divider, osc)) return;
    FUZZ_CHECK(osc.NumChan >= 1 && osc.nbyte >= 1 && size_t(osc.nbyte) <= kMaxOscDescription, "%d",
               osc.nbyte);
    osc.channels.assign(size_t(osc.NumChan), OscChannel{});
    for (int i = 0; i < osc.NumChan; ++i) {
        OscChannel& channel = osc.channels[size_t(i)];
        auto d = in.ConsumeBytes<uint8_t>(size_t(osc.nbyte));
        d.resize(size_t(osc.nbyte));
        OSC_DecodeDescription(d.data(), d.size(), i, &channel);
        FUZZ_CHECK(channel.name.size() <= 49, "name of %zu characters", channel.name.size());
    }
    const size_t length = (osc.display_present ? 10 : 2) + 4 * size_t(osc.NumChan);
    std::vector<double> values(size_t(osc.NumChan));
    uint8_t expected = in.ConsumeIntegral<uint8_t>();
    while (in.remaining_bytes() >= length) {
        auto packet = in.ConsumeBytes<uint8_t>(length);
        uint8_t before = expected;
        if (!OSC_ProcessPacket(osc, packet.data(), &expected, values.data()).empty()) break;
        FUZZ_CHECK(packet[1] == before && expected == uint8_t(before + 1), "packet number");
        for (double v : values) FUZZ_CHECK(v >= -100 && v <= 100, "value %g kept", v);
        CheckLiveRow(values.data(), values.size());
    }
}
