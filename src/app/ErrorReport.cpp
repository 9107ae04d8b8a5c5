#include "app/ErrorReport.h"

#include <atomic>
#include <cstdio>

namespace korvex {

namespace {

class StderrSink : public ErrorSink {
public:
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
};

StderrSink g_stderr_sink;
std::atomic<ErrorSink*> g_sink{nullptr};

}  // namespace

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
