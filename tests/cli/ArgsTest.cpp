// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of korvex-cli: the one option parser of every command, its help, its
// usage errors and the language of its messages.
#include "cli/CliFixture.h"

// "" for korvex-cli itself.
const std::vector<std::string> kCommands = {"",         "ports", "view",  "osc",    "modbus",
                                            "recorder", "diary", "stats", "export", "sample"};

TEST(Args, EveryCommandPrintsItsUsageForHelp) {
    for (const std::string& command : kCommands) {
        for (std::string help : {" -h", " --bogus --help"}) {  // help wins over a bad option
            Result r = RunCommand(kCli + " " + command + help);
            EXPECT_EQ(r.StatusAndErr(), "0|") << command << help;
            EXPECT_TRUE(
                r.out.starts_with("Usage: korvex-cli " + (command.empty() ? "[" : command + " ")) &&
                r.out.find("\n  -h, --help          show this text\n") != std::string::npos)
                << r.out;
        }
    }
    // The option list comes from the command's table, in the language of the run.
    Result r = RunCommand(kCliPath + " --lang ru export --help");
    EXPECT_NE(r.out.find("\n  -o, --output ВЫХОД  имя выхода (по умолчанию ФАЙЛ без расширения); "
                         "\"-\" - CSV\n                      в стандартный вывод\n"),
              std::string::npos);
}

TEST(Args, AUsageErrorIsOneLineAndAPointerToHelp) {
    // Each is refused with exit status 2 before anything is opened (the port "x" would
    // fail with 1), sent or written; none records without end or fills the disk. The line
    // names the command of the run.
    const std::string formats = "--format csv|comtrade|comtrade-ascii";
    const std::string actions = "' (list, read N with N from 1 to 65536, write on|off)";
    const std::string limits =
        "' (registers and values 0..65535, at most 125 registers read and 123 written, CAN "
        "identifiers 0..0x7FF with at most 8 bytes 0..255)";
    const std::string alone =
        "exit is an action of its own, without other actions and without --stay";
    const std::pair<std::string, std::string> cases[] = {
        {"", "no command given"},
        {"nope", "unknown command 'nope'"},
        {"--bogus osc", "unknown option '--bogus'"},
        {"osc --prot x", "unknown option '--prot'"},
        {"osc --port", "option '--port' needs a value"},
        {"osc --rate 100", "--port is required"},
        {"osc --port x --seconds -1|0|abc|99999999999999999999|1e400",
         "--seconds takes a number of seconds above 0 and up to 2592000 (30 days); leave it out "
         "to record until Ctrl-C"},
        {"osc --port x --rate 50x|7", "--rate takes 50, 100, 125 or 166"},
        {"osc --port x --baud 9600", "--baud takes 115200, 57600 or 38400"},
        {"osc --port x --baud 57600 --rate 166", "rates above 50 Hz need 115200 baud"},
        {"view", "no recording file given"},
        {"view -r.trd", "unknown option '-r'"},
        {"stats a.trd b.trd", "unexpected argument 'b.trd'"},
        {"stats --to x a.trd", "--to needs a time in seconds, not 'x'"},
        {"export r.trd", "no format given: " + formats},
        {"export r.trd --to csv",
         "--to takes a time in seconds; the format is given with " + formats},
        {"export r.trd --format xml", "--format takes csv, comtrade or comtrade-ascii"},
        {"export r.trd --f csv", "ambiguous option '--f'"},
        {"export r.trd --format comtrade -o -",
         "-o - writes CSV only: a COMTRADE record is two files"},
        {"export r.trd --decimal-comma --format comtrade|comtrade-ascii",
         "--decimal-comma goes with --format csv only"},
        {"modbus --port x --stay=1 id", "option '--stay' takes no value"},
        {"modbus --port x", "no action given"},
        {"modbus --port x --addr 256 id", "--addr takes a number from 0 to 255"},
        // A negative value stays an action's argument, never an option.
        {"modbus --port x write 0 -5|70000", "bad action 'write" + limits},
        {"modbus --port x write 0x18006 1", "bad action 'write" + limits},
        {"modbus --port x read-hold 0 126", "bad action 'read-hold" + limits},
        {"modbus --port x can 0x800 1", "bad action 'can" + limits},
        {"modbus --port x can 0x690 256", "bad action 'can" + limits},
        {"modbus --port x write-multi 0 1,2,70000", "bad action 'write-multi" + limits},
        {"modbus --port x --stay exit", alone},
        {"modbus --port x id exit", alone},
        {"recorder --port x --baud 9600 list", "--baud takes 115200 or 230400"},
        {"recorder --port x", "no action given: list, read N or write on|off"},
        {"recorder --port x read 0", "bad action 'read 0" + actions},
        {"recorder --port x read x", "bad action 'read x" + actions},
        {"recorder --port x write maybe", "bad action 'write maybe" + actions},
        {"recorder --port x list extra", "bad action 'list extra" + actions},
        {"diary", "--port is required"},
        {"sample --rows 99999999999999999999|-5|12x", "--rows takes a number from 0 to 10000000"},
    };
    TempDir data;
    for (const auto& [all, line] : cases) {
        // The last word may list values that are each refused the same way: "a|b".
        const size_t last = all.rfind(' ') + 1;  // 0 for one word or none
        for (size_t from = last, bar; from <= all.size(); from = bar + 1) {
            bar = std::min(all.find('|', from), all.size());
            const std::string args = all.substr(0, last) + all.substr(from, bar - from);
            Result r = RunCommand(kCli + " " + args, "KORVEX_DATA_DIR=" + data.path());
            const std::string word = args.substr(0, args.find(' '));
            const bool known = std::count(kCommands.begin() + 1, kCommands.end(), word);
            const std::string program = known ? "korvex-cli " + word : "korvex-cli";
            EXPECT_EQ(r.out + r.StatusAndErr(),
                      "2|" + program + ": " + line + "\nTry '" + program + " --help'.\n")
                << args;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(data.path())) << "nothing was written";
}

TEST(Args, FollowTheLocaleAsTheGuiDoesAndLangOverridesIt) {
    // The messages' locale (LC_ALL, else LC_MESSAGES, else LANG) and, under a real locale,
    // the first entry of LANGUAGE; --lang anywhere before "--" wins over all of them.
    const std::string russian =
        "korvex-cli osc: --rate принимает значения 50, 100, 125 или 166\n"
        "Попробуйте 'korvex-cli osc --help'.\n";
    const std::string english =
        "korvex-cli osc: --rate takes 50, 100, 125 or 166\nTry 'korvex-cli osc --help'.\n";
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"LANG=ru_RU.UTF-8", "osc", true},
        {"LANG=en_US.UTF-8 LC_MESSAGES=ru_RU.UTF-8", "osc", true},
        {"LANG=ru_RU.UTF-8 LC_ALL=C", "osc", false},
        {"LANG=ru_RU.UTF-8 LANGUAGE=en_GB:ru", "osc", false},
        {"LANG=en_US.UTF-8 LANGUAGE=ru", "osc", true},
        {"LANG=C LANGUAGE=ru", "osc", false},
        {"LANG=ru_RU.UTF-8", "--lang en osc", false},
        {"LANG=C", "osc --lang ru", true},
    };
    for (const auto& [env, args, in_russian] : cases) {
        Result r = RunCommand("env -u LC_ALL -u LC_MESSAGES -u LANGUAGE " + env + " " + kCliPath +
                              " " + args + " --rate 7 --port x");
        EXPECT_EQ(r.StatusAndErr(), "2|" + (in_russian ? russian : english)) << env << " " << args;
    }
    EXPECT_EQ(RunCommand("env LC_ALL=C " + kCliPath + " --lang de ports").StatusAndErr(),
              "2|korvex-cli: --lang takes en or ru\nTry 'korvex-cli --help'.\n");
    EXPECT_EQ(RunCommand(kCliPath + " --lang ru osc --prot x").err,
              "korvex-cli osc: неизвестный параметр '--prot'\n"
              "Попробуйте 'korvex-cli osc --help'.\n");
}
