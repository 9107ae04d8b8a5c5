// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorReport.h"

#include <atomic>
#include <charconv>
#include <cstdio>

#include "app/StrPrintf.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvex {

namespace {

class StderrSink : public ErrorSink {
public:
    void ShowError(const std::string& text) override {
        std::string detail = ErrorExplanation(text);
        std::fprintf(stderr, "%s\n", text.c_str());
        if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
        std::fflush(stderr);
    }
};

StderrSink g_stderr_sink;
std::atomic<ErrorSink*> g_sink{nullptr};

// The port layer and the directories quote the system's own codes: errno values here,
// GetLastError() values on Windows, whose texts come from the system in English.
std::string SystemErrorText(int code) {
#ifdef _WIN32
    char buf[512];
    DWORD n = 0;
    for (DWORD lang : {DWORD(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), DWORD(0)}) {
        n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           DWORD(code), lang, buf, sizeof buf, nullptr);
        if (n) break;
    }
    std::string text(buf, n);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? StrPrintf("Windows error %d", code) : text;
#else
    return ErrnoText(code);
#endif
}

}  // namespace

std::string ErrorExplanation(const std::string& text) {
    // A nested text ends with the innermost one, which quotes the error it ended with.
    // The exports' files quote errno values on every platform ("... error: error 28").
    static const struct {
        const char* key;
        int base;
        bool errno_value;
    } kForms[] = {{" : error ", 10, false},
                  {"error 0x", 16, false},
                  {"Error=", 10, false},
                  {"error: error ", 10, true}};
    size_t best = std::string::npos;
    int error = 0;
    bool errno_value = false;
    for (const auto& form : kForms) {
        size_t len = std::char_traits<char>::length(form.key);
        for (size_t pos = text.rfind(form.key); pos != std::string::npos;
             pos = pos ? text.rfind(form.key, pos - 1) : std::string::npos) {
            if (best != std::string::npos && pos < best) break;
            const char* start = text.c_str() + pos + len;
            int v = 0;
            auto r = std::from_chars(start, text.c_str() + text.size(), v, form.base);
            if (r.ec == std::errc() && v > 0) {
                best = pos;
                error = v;
                errno_value = form.errno_value;
                break;
            }
        }
    }
    if (!error) return std::string();
    return errno_value ? ErrnoText(error) : SystemErrorText(error);
}

ErrorSink* SetErrorSink(ErrorSink* sink) {
    return g_sink.exchange(sink);
}

void ShowError(const std::string& text) {
    ErrorSink* sink = g_sink.load();
    (sink ? sink : &g_stderr_sink)->ShowError(text);
}

void ReportError(std::string* err_text, const std::string& text) {
    if (err_text)
        *err_text = text;
    else
        ShowError(text);
}

}  // namespace korvex
