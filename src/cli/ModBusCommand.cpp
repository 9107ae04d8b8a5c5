// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "diary/DeviceVersion.h"
#include "link/LinkTrace.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"

namespace korvex::cli {

namespace {

constexpr Option kOptions[] = {
    {"port", 0, true, "УСТРОЙСТВО", "DEVICE", "порт регулятора", "the regulator's port"},
    {"key", 0, true, "K", "K",
     "ключ переключения (по умолчанию 0; 640 и 648 - ключи\n"
     "аварийного осциллографа)",
     "switch key (default 0; 640 and 648 are the recorder's)"},
    {"baud", 0, true, "N", "N", "скорость ModBus, 115200 или 230400 (по умолчанию - по ключу)",
     "ModBus speed, 115200 or 230400 (default: by the key)"},
    {"addr", 0, true, "N", "N", "адрес ведомого для действий с регистрами (по умолчанию 1)",
     "slave address of the register actions (default 1)"},
    {"no-switch", 0, false, nullptr, nullptr,
     "регулятор уже в режиме ModBus: кадр переключения не\nпосылается",
     "the regulator is in ModBus mode already: send no\nswitch frame"},
    {"stay", 0, false, nullptr, nullptr, "оставить регулятор в режиме ModBus в конце",
     "leave the regulator in ModBus mode at the end"},
    {"trace", 0, false, nullptr, nullptr,
     "выводить каждый кадр на stderr: \"TX \" или \"RX \" и его\nбайты в hex",
     "print every frame on stderr: \"TX \" or \"RX \" and its\nbytes in hex"},
};

const CommandLine kCommandLine = {
    "modbus",
    kOptions,
    true,
    -1,
    "Использование: korvex-cli modbus --port УСТРОЙСТВО [параметры] ДЕЙСТВИЕ...\n"
    "       korvex-cli modbus --port УСТРОЙСТВО [--baud N | --key K] exit\n"
    "\n"
    "Переключает регулятор в ModBus RTU, выполняет действия по порядку и возвращает\n"
    "его в обычный режим сообщением выхода. Ctrl-C, SIGTERM, закрытый терминал или\n"
    "закрытый стандартный вывод останавливают работу после текущего обмена: сообщение\n"
    "выхода всё равно посылается (если не задан --stay), прочитанное уже выведено, код\n"
    "завершения 3. Параметры стоят перед первым действием.\n",
    "Usage: korvex-cli modbus --port DEVICE [options] ACTION...\n"
    "       korvex-cli modbus --port DEVICE [--baud N | --key K] exit\n"
    "\n"
    "Switches the regulator into ModBus RTU, runs the actions in order and takes it\n"
    "back to its normal mode with the exit message. Ctrl-C, SIGTERM, a closed\n"
    "terminal or a closed standard output stop the run after the exchange in\n"
    "progress: the exit message still goes out (unless --stay), what was read is\n"
    "printed, and the exit status is 3. The options come before the first action.\n",
    "Действия:\n"
    "  id                         идентификация и версия (регистры 144-159, 130-131)\n"
    "  read-hold REG NUM          прочитать NUM регистров хранения начиная с REG\n"
    "  read-input REG NUM         прочитать NUM входных регистров начиная с REG\n"
    "  write REG VALUE            записать один регистр\n"
    "  write-multi REG V,V,...    записать несколько регистров\n"
    "  can ID BYTE,BYTE,...       послать сообщение CAN-туннеля (адрес 0) и вывести ответ\n"
    "  exit                       только сообщение выхода, без переключения: выводит\n"
    "                             регулятор из режима ModBus после любого сбоя;\n"
    "                             без --baud и --key посылается на 115200, затем на\n"
    "                             230400 бод. Только отдельно от других действий\n"
    "Числа - десятичные или шестнадцатеричные с префиксом 0x.\n"
    "Коды завершения: 0 - успешно, 1 - ошибка обмена, 2 - неверные аргументы,\n"
    "3 - остановлено.\n",
    "Actions:\n"
    "  id                         identification and version (registers 144-159, 130-131)\n"
    "  read-hold REG NUM          read NUM holding registers from REG\n"
    "  read-input REG NUM         read NUM input registers from REG\n"
    "  write REG VALUE            write one register\n"
    "  write-multi REG V,V,...    write several registers\n"
    "  can ID BYTE,BYTE,...       send a CAN-tunnel message (address 0) and print the "
    "answer\n"
    "  exit                       only the exit message, no switch frame: takes the\n"
    "                             regulator out of ModBus mode after any accident;\n"
    "                             without --baud and --key it goes out at 115200 and\n"
    "                             then at 230400 baud. An action of its own\n"
    "Numbers may be decimal or 0x-prefixed hexadecimal.\n"
    "Exit status: 0 done, 1 a failed exchange, 2 bad arguments, 3 stopped.\n",
};

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

// Reads the actions; the message of the usage error at the first one that is not
// well-formed or whose numbers do not fit their fields, empty when all are good.
std::string ParseActions(const std::vector<char*>& argv, std::vector<Action>* out) {
    const size_t argc = argv.size();
    for (size_t i = 0; i < argc; ++i) {
        Action act;
        act.name = argv[i];
        bool ok = false;
        bool two = i + 2 < argc;
        if (act.name == "id" || act.name == "exit") {
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
        if (!ok)
            return StrPrintf(Tr("неверное действие '%s' (регистры и значения 0..65535, не более "
                                "125 регистров при чтении и 123 при записи, идентификаторы CAN "
                                "0..0x7FF, не более 8 байтов 0..255)",
                                "bad action '%s' (registers and values 0..65535, at most 125 "
                                "registers read and 123 written, CAN identifiers 0..0x7FF with "
                                "at most 8 bytes 0..255)"),
                             act.name.c_str());
        out->push_back(std::move(act));
    }
    return {};
}

}  // namespace

int ModBusCommand(int argc, char** argv) {
    std::string port_name;
    long key = 0, baud = 0, addr = 1;
    bool do_switch = true, stay = false, trace = false, speed_given = false;
    std::vector<char*> words;  // the actions and their arguments
    const int parsed = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) -> std::string {
            if (name == "port") {
                port_name = value;
            } else if (name == "key") {
                if (!ParseNumber(value, &key, INT32_MIN, INT32_MAX))
                    return Tr("--key принимает 32-битное число со знаком",
                              "--key takes a signed 32-bit number");
                speed_given = true;
            } else if (name == "baud") {
                if (!ParseNumber(value, &baud) || (baud != 115200 && baud != 230400))
                    return Tr("--baud принимает значения 115200 или 230400",
                              "--baud takes 115200 or 230400");
                speed_given = true;
            } else if (name == "addr") {
                if (!ParseNumber(value, &addr, 0, 255))
                    return Tr("--addr принимает число от 0 до 255",
                              "--addr takes a number from 0 to 255");
            } else if (name == "no-switch") {
                do_switch = false;
            } else if (name == "stay") {
                stay = true;
            } else if (name == "trace") {
                trace = true;
            }
            return {};
        },
        &words);
    if (parsed != kGoOn) return parsed;
    if (port_name.empty())
        return UsageError(kCommandLine, Tr("не задан --port", "--port is required"));
    if (words.empty()) return UsageError(kCommandLine, Tr("не задано действие", "no action given"));
    if (!baud) baud = key == kKeyRecorder230400 ? 230400 : 115200;
    std::vector<Action> actions;
    if (std::string error = ParseActions(words, &actions); !error.empty())
        return UsageError(kCommandLine, error);
    const bool exit_only = actions[0].name == "exit";
    for (const Action& act : actions) {
        if (act.name == "exit" && (actions.size() > 1 || stay)) {
            return UsageError(kCommandLine,
                              Tr("exit - отдельное действие, без других действий и без --stay",
                                 "exit is an action of its own, without other actions and "
                                 "without --stay"));
        }
    }

    // Ctrl-C, a kill or a closed terminal end the run after the exchange in progress, and
    // so does a reader of the output that has gone: the regulator must still get its exit
    // message, and whatever was read is already out.
    const StopToken& stop = StopOnRequest();
    IgnoreBrokenPipeSignal();
    bool output_lost = false;
    struct TraceScope {
        ~TraceScope() { SetLinkTrace(nullptr); }
    } trace_scope;
    if (trace) {
        // On standard error, so that the values on standard output stay a clean stream.
        SetLinkTrace([](bool tx, const uint8_t* b, size_t n) {
            std::string line = tx ? "TX" : "RX";
            char hex[4];
            for (size_t k = 0; k < n; ++k) {
                CSnprintf(hex, sizeof hex, " %02X", b[k]);
                line += hex;
            }
            std::fprintf(stderr, "%s\n", line.c_str());
        });
    }

    if (exit_only) {
        // Nothing says at which speed a regulator was left in ModBus mode. At the other
        // speed the message is noise to it that fails the CRC and is ignored, and to a
        // regulator in its normal mode both are.
        std::vector<uint32_t> speeds = {uint32_t(baud)};
        if (!speed_given) speeds = {115200, 230400};
        int status = 0;
        for (uint32_t speed : speeds) {
            RS232Port* port = RS232_Open(port_name, speed, kParityEven, 0, 1000, 0);
            if (!port) return 1;
            if (TSR_RS232_exit_ModBus(port) != 0) status = 1;
        }
        return status;
    }

    RS232Port* port =
        do_switch ? TSR_RS232_Open_ModBus(port_name, int32_t(key), uint32_t(baud), kParityEven)
                  : RS232_Open(port_name, uint32_t(baud), kParityEven, 0, 1000, 0);
    if (!port) return 1;

    int status = 0;
    size_t done = 0;
    for (; done < actions.size() && status == 0 && !stop.stop_requested() && !output_lost; ++done) {
        const Action& act = actions[done];
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
                std::printf("%s", Tr("Ответ CAN:", "CAN answer:"));
                for (uint32_t c = 0; c < count; ++c) std::printf(" %02X", out[c]);
                std::printf("\n");
            }
        }
        // Each action's output goes out as soon as it is complete, so that a run that is
        // stopped or killed later has lost none of it.
        if (!FlushOutput()) output_lost = true;
    }
    if (stay) {
        RS232_Close(port);
    } else if (TSR_RS232_exit_ModBus(port) != 0) {
        status = status ? status : 1;
    }
    // A stop between actions, or output that went nowhere: the run is not whole, whatever
    // it did before.
    if (status == 0 && (done < actions.size() || output_lost)) {
        if (output_lost)
            std::fprintf(stderr, "%s\n",
                         Tr("korvex-cli modbus: стандартный вывод закрыт",
                            "korvex-cli modbus: the standard output is closed"));
        CFprintf(stderr,
                 Tr("korvex-cli modbus: остановлено, выполнено действий: %d из %d\n",
                    "korvex-cli modbus: stopped after %d of %d actions\n"),
                 int(done), int(actions.size()));
        status = kStoppedStatus;
    }
    return status;
}

}  // namespace korvex::cli
