// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Args.h"

#include <getopt.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "app/Language.h"
#include "app/StrPrintf.h"

namespace korvex::cli {

bool ParseLong(const char* s, long lo, long hi, long* out, int base) {
    std::string digits = s;
    bool neg = !digits.empty() && digits[0] == '-';
    if (neg) digits.erase(0, 1);
    if (base == 0) {
        base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.erase(0, 2);
        }
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
    long v = 0;
    const char* end = digits.data() + digits.size();
    auto r = std::from_chars(digits.data(), end, v, base);
    if (r.ec != std::errc() || r.ptr != end) return false;
    if (neg) v = -v;
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParseSeconds(const char* s, double lo, double hi, double* out) {
    const char* end = s + std::strlen(s);
    double v = 0;
    auto r = std::from_chars(s, end, v);
    if (s == end || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
    if (!(v > lo && v <= hi)) return false;
    *out = v;
    return true;
}

namespace {

// What getopt_long returns for an operand when the option string starts with '-'.
constexpr int kOperand = 1;
// The code of an option without a letter: this plus its index in the table. An option
// with a letter has the letter as its code, so that both spellings give the same code.
constexpr int kLongOnly = 256;
// The column at which the usage's option texts start.
constexpr size_t kHelpColumn = 22;

const Option kHelp = {"help",          'h', false, nullptr, nullptr, "показать этот текст",
                      "show this text"};

int CodeOf(const CommandLine& cl, size_t i) {
    const char letter = cl.options[i].letter;
    return letter ? int(static_cast<unsigned char>(letter)) : kLongOnly + int(i);
}

// The option of a getopt code, nullptr for none.
const Option* OptionOf(const CommandLine& cl, int code) {
    if (code == 'h') return &kHelp;
    for (size_t i = 0; i < cl.options.size(); ++i)
        if (CodeOf(cl, i) == code) return &cl.options[i];
    return nullptr;
}

// Characters of a UTF-8 text, for the usage's columns.
size_t Width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

void AppendOptionLine(const Option& o, std::string* text) {
    std::string left = o.letter ? std::string("  -") + o.letter + ", --" : "  --";
    left += o.name;
    if (o.takes_value) left += std::string(" ") + Tr(o.value_ru, o.value_en);
    const std::string indent(kHelpColumn, ' ');
    const size_t width = Width(left);
    *text += left + (width < kHelpColumn ? std::string(kHelpColumn - width, ' ') : "\n" + indent);
    for (const char* p = Tr(o.help_ru, o.help_en); *p; ++p) {
        *text += *p;
        if (*p == '\n') *text += indent;
    }
    *text += '\n';
}

// Why getopt_long refused the option it has just read: optopt holds the code of a known
// option whose value is missing or unwanted, the letter of an unknown short option, or 0
// for an unknown or ambiguous long option, which then is argv[optind - 1].
std::string OptionError(const CommandLine& cl, int argc, char** argv) {
    const char* typed = optind >= 1 && optind <= argc ? argv[optind - 1] : "";
    const bool typed_long = std::strncmp(typed, "--", 2) == 0;
    if (const Option* o = OptionOf(cl, optopt)) {
        std::string name =
            typed_long || !o->letter ? std::string("--") + o->name : std::string("-") + o->letter;
        return StrPrintf(
            o->takes_value
                ? Tr("параметру '%s' нужно значение", "option '%s' needs a value")
                : Tr("параметр '%s' не принимает значения", "option '%s' takes no value"),
            name.c_str());
    }
    if (optopt != 0) {
        const char name[] = {'-', char(optopt), '\0'};
        return StrPrintf(Tr("неизвестный параметр '%s'", "unknown option '%s'"), name);
    }
    std::string name = typed;
    name = name.substr(0, name.find('='));
    if (!typed_long || name.size() < 3)
        return StrPrintf(Tr("неизвестный параметр '%s'", "unknown option '%s'"), name.c_str());
    // getopt_long takes any unique start of a long name; one that starts several is
    // refused as well.
    int starts = std::strncmp("help", name.c_str() + 2, name.size() - 2) == 0;
    for (const Option& o : cl.options)
        starts += std::strncmp(o.name, name.c_str() + 2, name.size() - 2) == 0;
    return StrPrintf(starts > 1 ? Tr("неоднозначный параметр '%s'", "ambiguous option '%s'")
                                : Tr("неизвестный параметр '%s'", "unknown option '%s'"),
                     name.c_str());
}

}  // namespace

int ParseOptions(const CommandLine& cl, int argc, char** argv, const OptionHandler& take,
                 std::vector<char*>* operands) {
    // '+': stop at the first operand; '-': hand every operand over in its place, so that
    // options may follow a file name whatever POSIXLY_CORRECT says. ':' asks for a
    // missing value to be told from an unknown option; the messages are this program's.
    std::string shorts = cl.options_first ? "+:h" : "-:h";
    std::vector<option> longs;
    for (size_t i = 0; i < cl.options.size(); ++i) {
        const Option& o = cl.options[i];
        longs.push_back(
            {o.name, o.takes_value ? required_argument : no_argument, nullptr, CodeOf(cl, i)});
        if (o.letter) shorts += o.letter;
        if (o.letter && o.takes_value) shorts += ':';
    }
    longs.push_back({kHelp.name, no_argument, nullptr, 'h'});
    longs.push_back({nullptr, 0, nullptr, 0});

    // The options are all read before any is taken: -h wins over whatever else stands
    // on the line, and the first error is the one reported.
    std::vector<std::pair<const Option*, char*>> given;
    std::string error;
    bool help = false;
    opterr = 0;
    optind = 0;  // 0, not 1: glibc (and MinGW-w64) start a new scan only then
    for (int c; (c = getopt_long(argc, argv, shorts.c_str(), longs.data(), nullptr)) != -1;) {
        if (c == kOperand) {
            operands->push_back(optarg);
        } else if (c == '?' || c == ':') {
            if (error.empty()) error = OptionError(cl, argc, argv);
        } else if (c == 'h') {
            help = true;
        } else if (const Option* o = OptionOf(cl, c)) {
            given.emplace_back(o, optarg);
        }
    }
    for (int i = optind; i < argc; ++i) operands->push_back(argv[i]);
    if (help) {
        PrintUsage(cl, stdout);
        return 0;
    }
    if (!error.empty()) return UsageError(cl, error);
    for (const auto& [o, value] : given) {
        error = take(o->name, value);
        if (!error.empty()) return UsageError(cl, error);
    }
    if (cl.max_operands >= 0 && operands->size() > size_t(cl.max_operands))
        return UsageError(cl, StrPrintf(Tr("лишний аргумент '%s'", "unexpected argument '%s'"),
                                        (*operands)[size_t(cl.max_operands)]));
    return kGoOn;
}

void PrintUsage(const CommandLine& cl, FILE* out) {
    std::string text = Tr(cl.head_ru, cl.head_en);
    text += Tr("\nПараметры:\n", "\nOptions:\n");
    for (const Option& o : cl.options) AppendOptionLine(o, &text);
    AppendOptionLine(kHelp, &text);
    if (cl.tail_en) text += std::string("\n") + Tr(cl.tail_ru, cl.tail_en);
    std::fputs(text.c_str(), out);
}

int UsageError(const CommandLine& cl, const std::string& message) {
    const std::string program = cl.name ? std::string("korvex-cli ") + cl.name : "korvex-cli";
    std::fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
    std::fprintf(stderr, Tr("Попробуйте '%s --help'.\n", "Try '%s --help'.\n"), program.c_str());
    return 2;
}

}  // namespace korvex::cli
