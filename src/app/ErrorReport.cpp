#include "app/ErrorReport.h"

#include <atomic>
#include <charconv>
#include <cstdio>

#include "app/StrPrintf.h"

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

}  // namespace

std::string ErrorExplanation(const std::string& text) {
    // A nested text ends with the innermost one, which quotes the error it ended with.
    static const struct {
        const char* key;
        int base;
    } kForms[] = {{" : error ", 10}, {"error 0x", 16}, {"Error=", 10}};
    size_t best = std::string::npos;
    int error = 0;
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
                break;
            }
        }
    }
    return error ? ErrnoText(error) : std::string();
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
