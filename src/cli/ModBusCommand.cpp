#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "diary/DeviceVersion.h"
#include "link/LinkTrace.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"

namespace korvex::cli {

namespace {

void Usage(FILE* out) {
    std::fprintf(
        out,
        "Usage: korvex-cli modbus --port DEVICE [options] ACTION...\n"
        "\n"
        "Switches the regulator into ModBus RTU, runs the actions in order and takes it\n"
        "back to its normal mode with the exit message.\n"
        "\n"
        "Options:\n"
        "  --port DEVICE     the regulator's port\n"
        "  --key K           switch key (default 0; 640 and 648 are the recorder's)\n"
        "  --baud N          ModBus speed, 115200 or 230400 (default: by the key)\n"
        "  --addr N          slave address of the register actions (default 1)\n"
        "  --no-switch       the regulator is in ModBus mode already: send no switch frame\n"
        "  --stay            leave the regulator in ModBus mode at the end\n"
        "  --trace           print every frame: \"TX \" or \"RX \" and its bytes in hex\n"
        "\n"
        "Actions:\n"
        "  id                         identification and version (registers 144-159, 130-131)\n"
        "  read-hold REG NUM          read NUM holding registers from REG\n"
        "  read-input REG NUM         read NUM input registers from REG\n"
        "  write REG VALUE            write one register\n"
        "  write-multi REG V,V,...    write several registers\n"
        "  can ID BYTE,BYTE,...       send a CAN-tunnel message (address 0) and print the answer\n"
        "Numbers may be decimal or 0x-prefixed hexadecimal.\n");
}

bool ParseNumber(const char* s, long* out, long lo = LONG_MIN, long hi = LONG_MAX) {
    return ParseLong(s, lo, hi, out, 0);
}

// Comma-separated numbers, each within lo..hi.
bool ParseList(const char* s, std::vector<long>* out, long lo, long hi) {
    std::string all = s;
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        std::string item =
            all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long v;
        if (!ParseNumber(item.c_str(), &v, lo, hi)) return false;
        out->push_back(v);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// One action of the command line, checked before anything is sent.
struct Action {
    std::string name;
    long a = 0, b = 0;
    std::vector<long> list;
};

// Reads the actions from argv[i..]; false, with a message, at the first one that is not
// well-formed or whose numbers do not fit their fields.
bool ParseActions(int i, int argc, char** argv, std::vector<Action>* out) {
    for (; i < argc; ++i) {
        Action act;
        act.name = argv[i];
        bool ok = false;
        bool two = i + 2 < argc;
        if (act.name == "id") {
            ok = true;
        } else if (act.name == "read-hold" || act.name == "read-input") {
            ok = two && ParseNumber(argv[i + 1], &act.a, 0, 0xFFFF) &&
                 ParseNumber(argv[i + 2], &act.b, 0, kModBusMaxRead);
            i += 2;
        } else if (act.name == "write") {
            ok = two && ParseNumber(argv[i + 1], &act.a, 0, 0xFFFF) &&
                 ParseNumber(argv[i + 2], &act.b, 0, 0xFFFF);
            i += 2;
        } else if (act.name == "write-multi") {
            ok = two && ParseNumber(argv[i + 1], &act.a, 0, 0xFFFF) &&
                 ParseList(argv[i + 2], &act.list, 0, 0xFFFF) && act.list.size() <= kModBusMaxWrite;
            i += 2;
        } else if (act.name == "can") {
            ok = two && ParseNumber(argv[i + 1], &act.a, 0, 0x7FF) &&
                 ParseList(argv[i + 2], &act.list, 0, 0xFF) && act.list.size() <= kCanMaxData;
            i += 2;
        }
        if (!ok) {
            std::fprintf(
                stderr,
                "korvex-cli modbus: bad action '%s' (registers and values 0..65535, at most "
                "125 registers read and 123 written, CAN identifiers 0..0x7FF with at most 8 "
                "bytes 0..255)\n",
                act.name.c_str());
            return false;
        }
        out->push_back(std::move(act));
    }
    return true;
}

}  // namespace

int ModBusCommand(int argc, char** argv) {
    std::string port_name;
    long key = 0, baud = 0, addr = 1;
    bool do_switch = true, stay = false, trace = false;
    int i = 0;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "--port" && has_value) {
            port_name = argv[++i];
        } else if (a == "--key" && has_value &&
                   ParseNumber(argv[i + 1], &key, INT32_MIN, INT32_MAX)) {
            ++i;
        } else if (a == "--baud" && has_value && ParseNumber(argv[i + 1], &baud) &&
                   (baud == 115200 || baud == 230400)) {
            ++i;
        } else if (a == "--addr" && has_value && ParseNumber(argv[i + 1], &addr, 0, 255)) {
            ++i;
        } else if (a == "--no-switch") {
            do_switch = false;
        } else if (a == "--stay") {
            stay = true;
        } else if (a == "--trace") {
            trace = true;
        } else {
            std::fprintf(stderr, "korvex-cli modbus: bad option '%s'\n\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (port_name.empty() || i == argc) {
        Usage(stderr);
        return 2;
    }
    if (!baud) baud = key == kKeyRecorder230400 ? 230400 : 115200;
    std::vector<Action> actions;
    if (!ParseActions(i, argc, argv, &actions)) return 2;

    if (trace) {
        SetLinkTrace([](bool tx, const uint8_t* b, size_t n) {
            std::string line = tx ? "TX" : "RX";
            char hex[4];
            for (size_t k = 0; k < n; ++k) {
                CSnprintf(hex, sizeof hex, " %02X", b[k]);
                line += hex;
            }
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        });
    }

    RS232Port* port =
        do_switch ? TSR_RS232_Open_ModBus(port_name, int32_t(key), uint32_t(baud), kParityEven)
                  : RS232_Open(port_name, uint32_t(baud), kParityEven, 0, 1000, 0);
    if (!port) return 1;

    int status = 0;
    for (size_t k = 0; k < actions.size() && status == 0; ++k) {
        const Action& act = actions[k];
        uint8_t slave = uint8_t(addr);
        if (act.name == "id") {
            std::string text;
            if (ReadDeviceVersion(port, slave, &text))
                status = 1;
            else
                std::printf("%s\n", text.c_str());
        } else if (act.name == "read-hold" || act.name == "read-input") {
            std::vector<uint16_t> values(size_t(act.b) + 1);
            uint16_t reg = uint16_t(act.a), num = uint16_t(act.b);
            uint32_t code = act.name == "read-hold"
                                ? ModBus_ReadHldReg(port, slave, reg, num, values.data())
                                : ModBus_ReadInpReg(port, slave, reg, num, values.data());
            if (code) status = 1;
            for (long r = 0; !code && r < act.b; ++r)
                std::printf("%ld = %u (0x%04X)\n", act.a + r, values[size_t(r)], values[size_t(r)]);
        } else if (act.name == "write") {
            if (ModBus_WriteSingleReg(port, slave, uint16_t(act.a), uint16_t(act.b))) status = 1;
        } else if (act.name == "write-multi") {
            std::vector<uint16_t> values(act.list.begin(), act.list.end());
            if (ModBus_WriteMultipleReg(port, slave, uint16_t(act.a), uint16_t(values.size()),
                                        values.data()))
                status = 1;
        } else if (act.name == "can") {
            std::vector<uint8_t> data(act.list.begin(), act.list.end());
            uint8_t out[kCanMaxData];
            uint32_t count = 0;
            if (ModBus_CanTxRx(port, 0, data.data(), uint32_t(data.size()), uint16_t(act.a), out,
                               &count)) {
                status = 1;
            } else {
                std::printf("CAN answer:");
                for (uint32_t c = 0; c < count; ++c) std::printf(" %02X", out[c]);
                std::printf("\n");
            }
        }
    }
    if (stay) {
        RS232_Close(port);
    } else if (TSR_RS232_exit_ModBus(port) != 0) {
        status = status ? status : 1;
    }
    SetLinkTrace(nullptr);
    return status;
}

}  // namespace korvex::cli
