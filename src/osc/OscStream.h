// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/SampleRate.h"
#include "app/StopToken.h"
#include "link/LinkSettings.h"
#include "osc/OscState.h"

namespace korvex {

// The regulator's oscilloscope stream.
//
// Commands (program to regulator), each one byte except the switch frame:
//   FF FE FC 00 00 00 s F6  at 9600 baud, s = 115200 / osc_baud - 1
//   0x80 identify (4-byte reply), 0x90+i describe channel i (nbyte bytes),
//   0xA0+divider start, 0xB0 keep-alive, 0xC0 stop, and the panel's key codes.
// Messages are in Russian or English as the program's language is.

// The command bytes; the simulated regulator answers the same ones.
constexpr uint8_t kOscIdentify = 0x80;   // reply: flags, version, channels, nbyte
constexpr uint8_t kOscDescribe = 0x90;   // + channel index 0..15: nbyte bytes back
constexpr uint8_t kOscStart = 0xA0;      // + divider of the 500 Hz base rate
constexpr uint8_t kOscKeepAlive = 0xB0;  // at least every 3 s, or the regulator stops
constexpr uint8_t kOscStop = 0xC0;
// A panel key goes to the regulator as its own code, always below the commands.
constexpr uint8_t kOscLastKey = 0x7F;
// The most channels a describe command can address.
constexpr int kOscMaxDescribed = 16;

// Switches the regulator to streaming, identifies the stream, reads the channel
// descriptions and creates the recording (OSC_FileHeader). 0 on success with the port
// open in link.port; 1 on failure with the port closed and the messages, in the order
// they are to be shown (the port layer's own first, then the open's), appended to
// *messages; without a list they are shown through the error sink.
// Runs on the thread that owns the port until the worker starts.
int OSC_Open(LinkSettings& link, OscState& osc, std::vector<std::string>* messages = nullptr);

// The longest channel description a regulator may announce.
constexpr size_t kMaxOscDescription = 112;

// Takes the identify reply (display flags, version, channel count, description length)
// into `osc`. Returns null, or the message the stream is refused with: "Sample Rate
// Change not supported!" (version 0 at another rate than 50 Hz), "Unknown Osc Version",
// "0 Channels", "Bad nbyte", "Too Big Channel Info Blok" (Russian where it has one).
const char* OSC_ParseIdentify(const uint8_t* id, int rate_divider, OscState& osc);

// Creates a new recording file ("osc.trd" in the data directory) with the live header,
// makes it the writer and link.file_arg. 1 with "Open File error" (buffer rule) when it
// cannot.
int OSC_FileHeader(LinkSettings& link, OscState& osc, std::string* err_text = nullptr);

// Closes the writer, if one is open, under the writer lock.
void OSC_CloseWriter(OscState& osc);

// The acquisition worker's body: starts the stream, reads packets until link.live_mode
// is cleared or an error stops it, writes one row per packet, and always ends with the
// stop sequence (0xC0, writer closed, the stop byte drained, port closed, done = 1,
// on_stopped). The message it stopped with is kept in osc.stop_message, never shown:
// its owner shows it. Empty when it was asked to stop.
void OSC_RxThread(LinkSettings& link, OscState& osc);

// One channel's value from its 4-byte packet slot: type 1 signed byte 3, type 2 signed
// 16-bit bytes 2-3, type 4 signed 32-bit, type 20 IEEE single, all big-endian; any
// other type 0. Multiplied by scale in double and kept in single precision.
float DecodeOscValue(const uint8_t* slot, uint32_t type, double scale);

// One channel description: type (4 bytes, little-endian), colour 0x00BBGGRR (4; taken
// only when its top byte is 0), scale (IEEE single, 4) and the name (NUL-terminated, cut
// at 49 characters; blanks and control characters as '_', RecordingChannelName). Fields
// a short description cannot hold keep their defaults.
void OSC_DecodeDescription(const uint8_t* d, size_t nbyte, int slot, OscChannel* ch);

// One received packet: checks its number against *expected (and moves it on), takes its
// display data, decodes each channel's value into values[] and checks it lies within
// -100..100. Returns "" or the message the stream stops with: "Illegal Packet Number\n
// N_wait=0x%2.2X  N_rx=0x%2.2X", "Too big value for channel '%s'".
std::string OSC_ProcessPacket(OscState& osc, const uint8_t* packet, uint8_t* expected,
                              double* values);

// The display data of one packet (byte 0 AND 0x1F is the segment index): 1..10a+4b
// copy 8 characters (bytes 2..9) into the screen text; 11a+5b is the status packet
// (cursor row, column, on) and notifies; 0 counts an idle packet, and the 50th in a
// row blanks the screen and notifies, once. a, b: the SELVO and SELVO-M flags.
void OSC_HandleDisplay(OscState& osc, const uint8_t* packet);

// Owns the worker thread: Start runs OSC_RxThread on the open port, Stop clears
// live_mode, wakes the worker's wait for a packet and joins it. A stop therefore takes
// the stop sequence only (stop byte, last row, file and port closed), a few
// milliseconds, never a packet time-out. The destructor stops a running worker.
class OscWorker {
public:
    OscWorker() = default;
    ~OscWorker() { Stop(); }
    OscWorker(const OscWorker&) = delete;
    OscWorker& operator=(const OscWorker&) = delete;

    void Start(LinkSettings& link, OscState& osc);
    // Asks the worker to stop and waits until it has.
    void Stop();
    // Asks the worker to stop without waiting (from a signal handler's thread, say).
    void RequestStop();
    // Waits for a worker that stops by itself.
    void Join();
    bool running() const { return thread_.joinable(); }

private:
    LinkSettings* link_ = nullptr;
    StopToken stop_;
    std::thread thread_;
};

}  // namespace korvex
