// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/SectorRead.h"

#include <chrono>

#include "link/ModBus.h"
#include "recorder/RecorderEntry.h"

namespace korvex {

namespace {

constexpr uint32_t kBusy = kModBusExceptionBase + kModBusSlaveBusy;
constexpr int kOverrunTries = 3;
constexpr auto kBusyWindow = std::chrono::milliseconds(500);
// Silence that ends a damaged answer: several character times at the slowest speed.
constexpr uint32_t kQuietMs = 5;

}  // namespace

uint32_t AvOsc_ReadSector(RS232Port* port, uint16_t* words, std::string* text) {
    using Clock = std::chrono::steady_clock;
    for (int o = 0; o < kSectorWords; o += kSectorChunkWords) {
        const uint16_t count = uint16_t(std::min(kSectorChunkWords, kSectorWords - o));
        int overruns = 0;
        bool busy_seen = false;
        Clock::time_point first_busy{};
        while (true) {
            uint32_t code = ModBus_ReadHldReg(
                port, kRecorderSlave, uint16_t(kRecorderWindowReg + o), count, words + o, text);
            if (code == 0) break;
            if (code == kLineOverrun) {
                if (++overruns >= kOverrunTries) {
                    *text = "Слишком много попыток считывания сектора (OVER)";
                    return code;
                }
                // The rest of the damaged answer may still be on the line: let it pass,
                // so that the repeat reads its own answer. No other exchange meanwhile.
                {
                    std::lock_guard<std::mutex> lock(ModBusLock());
                    RS232_DiscardUntilQuiet(port, kQuietMs);
                }
                text->clear();
                continue;
            }
            if (code == kBusy && o == 0) {
                auto now = Clock::now();
                if (!busy_seen) {
                    busy_seen = true;
                    first_busy = now;
                }
                if (now - first_busy >= kBusyWindow) return code;
                text->clear();
                continue;
            }
            return code;
        }
    }
    text->clear();
    return 0;
}

}  // namespace korvex
