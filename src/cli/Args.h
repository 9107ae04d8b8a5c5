// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::cli {

// Strict readers of command-line numbers: the whole argument must be the number, within
// [lo, hi]. False for anything else ("50x", "abc", "", a number out of range), so that a
// mistyped value is refused instead of read as 0 or as a huge number.
bool ParseLong(const char* s, long lo, long hi, long* out, int base = 10);
// A finite decimal number with lo < value <= hi.
bool ParseSeconds(const char* s, double lo, double hi, double* out);

// One option of a command: "--name", and "-letter" as well when letter is not 0. The
// value and help texts are the usage's, in Russian and English.
struct Option {
    const char* name;
    char letter;
    bool takes_value;
    const char* value_ru;  // what the value is, "УСТРОЙСТВО"; nullptr without a value
    const char* value_en;  // "DEVICE"
    const char* help_ru;
    const char* help_en;
};

// A command's command line: its option table and the usage around it. -h and --help
// belong to every command and are not listed in `options`.
struct CommandLine {
    const char* name;  // "osc"; nullptr for korvex-cli itself
    std::span<const Option> options;
    // true: the options end at the first operand, so that the arguments of the actions
    // after it ("write 5 -1") are never read as options. false: options and operands mix
    // as the user likes. "--" ends the options either way.
    bool options_first;
    int max_operands;  // -1: any number
    // The usage: the text before the option list (the usage lines and what the command
    // does) and the text after it (actions, exit status), nullptr for none.
    const char* head_ru;
    const char* head_en;
    const char* tail_ru;
    const char* tail_en;
};

// What ParseOptions returns when the command goes on.
constexpr int kGoOn = -1;

// Gets each option's long name and its value (nullptr for an option without one) in the
// order given; returns the message of a usage error for a bad value, empty when the value
// is taken.
using OptionHandler = std::function<std::string(std::string_view name, const char* value)>;

// The one parser of every command (getopt_long): reads argv[1..argc) - argv[0] is the
// command's name - by `cl`'s table, hands each option to `take`, and puts the operands
// (including everything after "--") into *operands. Returns kGoOn, or the exit status
// to end with: 0 after -h or --help, which print the usage on standard output wherever
// they stand among the options; 2 after a usage error (an unknown or ambiguous option, a
// missing or unwanted value, a value `take` refused, more operands than max_operands),
// reported by UsageError.
int ParseOptions(const CommandLine& cl, int argc, char** argv, const OptionHandler& take,
                 std::vector<char*>* operands);

// The usage: head, "Options:" with one line per option (-h/--help last), tail.
void PrintUsage(const CommandLine& cl, FILE* out);

// Reports a usage error on standard error: "korvex-cli NAME: " and `message` on one
// line, then "Try 'korvex-cli NAME --help'." (Russian too). Returns 2, the exit status of
// a usage error.
int UsageError(const CommandLine& cl, const std::string& message);

}  // namespace korvex::cli
