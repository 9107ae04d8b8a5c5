// SPDX-License-Identifier: GPL-3.0-or-later
#include <chrono>
#include <cstring>
#include <thread>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "files/DataDirectory.h"
#include "files/RecordingWriter.h"
#include "link/ModeSwitchFrame.h"
#include "osc/OscStream.h"

namespace korvex {

namespace {

constexpr size_t kMaxNameLength = 49;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t GetU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A message in order: into the caller's list, or shown when it gave none.
void Say(std::vector<std::string>* messages, const std::string& text) {
    if (messages)
        messages->push_back(text);
    else
        ShowError(text);
}

// The port layer's own message first (a silent short receive leaves "@", which is none),
// then the open's; the port is closed.
int Fail(LinkSettings& link, std::vector<std::string>* messages, const std::string& port_text,
         const char* message) {
    if (!port_text.empty() && port_text != "@") Say(messages, port_text);
    if (message) Say(messages, message);
    RS232_Close(link.port);
    link.port = nullptr;
    return 1;
}

}  // namespace

const char* OSC_ParseIdentify(const uint8_t* id, int rate_divider, OscState& osc) {
    osc.display_present = osc.selvo = osc.selvom = false;
    if (id[0] & 0x03) {
        osc.display_present = true;
        osc.selvo = id[0] & 0x01;
        osc.selvom = id[0] & 0x02;
    }
    int8_t version = int8_t(id[1]), num_chan = int8_t(id[2]), nbyte = int8_t(id[3]);
    if (version == 0 && rate_divider != RateDivider(50))
        return Tr("Это устройство поддерживает только частоту 50 Hz !",
                  "Sample Rate Change not supported!");
    if (version != 0 && version != 1)
        return Tr("Неизвестный номер версии осциллографа в устройстве!", "Unknown Osc Version");
    // A negative count can only be a corrupt reply; it is refused like no channels.
    if (num_chan <= 0) return "0 Channels";
    if (nbyte == 0) return "Bad nbyte";
    if (nbyte < 0 || nbyte > int(kMaxOscDescription)) return "Too Big Channel Info Blok";
    osc.version = version;
    osc.NumChan = num_chan;
    osc.shown = num_chan < 15 ? num_chan : 15;
    osc.nbyte = nbyte;
    return nullptr;
}

void OSC_DecodeDescription(const uint8_t* d, size_t nbyte, int slot, OscChannel* ch) {
    ch->type = nbyte >= 4 ? GetU32LE(d) : 0;
    ch->colour = DefaultChannelColour(slot);
    if (nbyte >= 8) {
        uint32_t colour = GetU32LE(d + 4);
        if ((colour >> 24) == 0) ch->colour = colour;
    }
    ch->scale = 1.0;
    if (nbyte >= 12) {
        uint32_t bits = GetU32LE(d + 8);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        ch->scale = f;
    }
    ch->name.clear();
    for (size_t i = 12; i < nbyte && d[i] && ch->name.size() < kMaxNameLength; ++i)
        ch->name += char(d[i]);
    // As the recording's header will hold it, so that the screen, the messages and the
    // file name a channel alike.
    ch->name = RecordingChannelName(ch->name);
}

int OSC_FileHeader(LinkSettings& link, OscState& osc, std::string* err_text) {
    std::string path;
    FILE* f = OpenDataFile("osc.trd", "w", &path);
    if (!f) {
        ReportError(err_text, "Open File error");
        return 1;
    }
    std::vector<std::string> names;
    for (const auto& ch : osc.channels) names.push_back(ch.name);
    if (!WriteLiveHeader(f, link.port_name, names, link.rate_divider)) {
        // No recording results: a file without its header is no recording.
        std::fclose(f);
        std::remove(path.c_str());
        ReportError(err_text, "Open File error");
        return 1;
    }
    {
        std::lock_guard<std::mutex> lock(osc.writer_mu);
        if (osc.writer) std::fclose(osc.writer);
        osc.writer = f;
    }
    osc.sample_rate = SampleRateOf(link.rate_divider);
    link.file_arg = path;
    return 0;
}

void OSC_CloseWriter(OscState& osc) {
    std::lock_guard<std::mutex> lock(osc.writer_mu);
    if (osc.writer) std::fclose(osc.writer);
    osc.writer = nullptr;
}

int OSC_Open(LinkSettings& link, OscState& osc, std::vector<std::string>* messages) {
    const char* not_found = Tr("Устройство не найдено", "Device not found");
    std::string port_text;
    link.port = RS232_Open(link.port_name, 9600, kParityNone, 0, 1000, 0, &port_text);
    if (!link.port) return Fail(link, messages, port_text, nullptr);
    uint8_t s = uint8_t(115200 / link.osc_baud - 1);
    auto frame = BuildModeSwitchFrame(s, kTargetStream);
    if (RS232_TxRx(link.port, frame.data(), uint32_t(frame.size()), nullptr, nullptr, 0,
                   &port_text))
        return Fail(link, messages, port_text, not_found);
    SleepMs(100);
    RS232_Close(link.port);
    link.port = RS232_Open(link.port_name, link.osc_baud, kParityOdd, 0, 1000, 0, &port_text);
    if (!link.port) return Fail(link, messages, port_text, nullptr);

    const uint8_t identify = kOscIdentify;
    uint8_t id[4];
    uint32_t n = 0;
    // A short or missing reply comes back silently (short receives are not reported
    // yet); any other port failure puts the port's own message first.
    if (RS232_TxRx(link.port, &identify, 1, id, &n, 4, &port_text))
        return Fail(link, messages, port_text, not_found);
    RS232_SetReportShort(link.port, true);
    RS232_SetStreaming(link.port, true);
    osc.pending_key = 0;
    if (const char* refused = OSC_ParseIdentify(id, link.rate_divider, osc))
        return Fail(link, messages, {}, refused);
    const int num_chan = osc.NumChan, nbyte = osc.nbyte;

    osc.channels.assign(size_t(num_chan), OscChannel{});
    for (int i = 0; i < num_chan; ++i) {
        SleepMs(1);
        uint8_t describe = uint8_t(kOscDescribe + i);
        uint8_t d[kMaxOscDescription] = {};
        if (RS232_TxRx(link.port, &describe, 1, d, &n, uint32_t(nbyte), &port_text))
            return Fail(link, messages, port_text, not_found);
        OSC_DecodeDescription(d, size_t(nbyte), i, &osc.channels[size_t(i)]);
    }
    std::string file_text;
    if (OSC_FileHeader(link, osc, &file_text)) return Fail(link, messages, file_text, nullptr);
    return 0;
}

}  // namespace korvex
