#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
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

bool ParseNumber(const char* s, long* out) {
    char* end = nullptr;
    *out = std::strtol(s, &end, 0);
    return end && end != s && *end == '\0';
}

bool ParseList(const char* s, std::vector<long>* out) {
    std::string all = s;
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        std::string item =
            all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long v;
        if (!ParseNumber(item.c_str(), &v)) return false;
        out->push_back(v);
        if (comma == std::string::npos) break;
        start = comma + 1;
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
        } else if (a == "--key" && has_value && ParseNumber(argv[i + 1], &key)) {
            ++i;
        } else if (a == "--baud" && has_value && ParseNumber(argv[i + 1], &baud)) {
            ++i;
        } else if (a == "--addr" && has_value && ParseNumber(argv[i + 1], &addr)) {
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

    if (trace) {
        SetLinkTrace([](bool tx, const uint8_t* b, size_t n) {
            std::string line = tx ? "TX" : "RX";
            char hex[4];
            for (size_t k = 0; k < n; ++k) {
                std::snprintf(hex, sizeof hex, " %02X", b[k]);
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
    for (; i < argc && status == 0; ++i) {
        std::string action = argv[i];
        long a = 0, b = 0;
        std::vector<long> list;
        if (action == "id") {
            std::string text;
            if (ReadDeviceVersion(port, uint8_t(addr), &text))
                status = 1;
            else
                std::printf("%s\n", text.c_str());
        } else if ((action == "read-hold" || action == "read-input") && i + 2 < argc &&
                   ParseNumber(argv[i + 1], &a) && ParseNumber(argv[i + 2], &b) && b >= 0 &&
                   b <= 0xFFFF) {
            i += 2;
            std::vector<uint16_t> values(size_t(b) + 1);
            uint32_t code = action == "read-hold"
                                ? ModBus_ReadHldReg(port, uint8_t(addr), uint16_t(a), uint16_t(b),
                                                    values.data())
                                : ModBus_ReadInpReg(port, uint8_t(addr), uint16_t(a), uint16_t(b),
                                                    values.data());
            if (code) status = 1;
            for (long k = 0; !code && k < b; ++k)
                std::printf("%ld = %u (0x%04X)\n", a + k, values[size_t(k)], values[size_t(k)]);
        } else if (action == "write" && i + 2 < argc && ParseNumber(argv[i + 1], &a) &&
                   ParseNumber(argv[i + 2], &b)) {
            i += 2;
            if (ModBus_WriteSingleReg(port, uint8_t(addr), uint16_t(a), uint16_t(b))) status = 1;
        } else if (action == "write-multi" && i + 2 < argc && ParseNumber(argv[i + 1], &a) &&
                   ParseList(argv[i + 2], &list)) {
            i += 2;
            std::vector<uint16_t> values(list.begin(), list.end());
            if (ModBus_WriteMultipleReg(port, uint8_t(addr), uint16_t(a), uint16_t(values.size()),
                                        values.data()))
                status = 1;
        } else if (action == "can" && i + 2 < argc && ParseNumber(argv[i + 1], &a) &&
                   ParseList(argv[i + 2], &list)) {
            i += 2;
            std::vector<uint8_t> data(list.begin(), list.end());
            uint8_t out[kCanAnswerRoom];
            uint32_t count = 0;
            if (ModBus_CanTxRx(port, 0, data.data(), uint32_t(data.size()), uint16_t(a), out,
                               &count)) {
                status = 1;
            } else {
                std::printf("CAN answer:");
                for (uint32_t k = 0; k < count; ++k) std::printf(" %02X", out[k]);
                std::printf("\n");
            }
        } else {
            std::fprintf(stderr, "korvex-cli modbus: bad action '%s'\n", action.c_str());
            status = 2;
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
