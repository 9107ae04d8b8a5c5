// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex {

// Where the core's messages go when the caller gave no text buffer. The GUI installs
// a sink that shows a modal box with an OK button, the CLI one that prints to stderr,
// tests one that captures. ShowError may be called from any thread; a sink that needs
// a particular thread (the GUI) marshals the call itself.
class ErrorSink {
public:
    virtual ~ErrorSink() = default;
    virtual void ShowError(const std::string& text) = 0;
};

// Installs a sink (null restores the default, which writes the text, the explanation
// when there is one, and a newline to stderr) and returns the previous one. The caller
// keeps ownership.
ErrorSink* SetErrorSink(ErrorSink* sink);

// Shows a text through the current sink.
void ShowError(const std::string& text);

// The buffer rule of every link and file operation: with a caller buffer the text goes
// there and nothing is shown; without one it is shown through the sink.
void ReportError(std::string* err_text, const std::string& text);

// What the error number that a message quotes means, in English ("No such file or
// directory"; on Windows the system's text of a GetLastError() code, "Access is
// denied"); empty when the text quotes none. The port layer and the data directory
// quote the system's codes in the forms " : error %d", "error 0x%X" and "Error=%d
// (0x%X)"; the exports' files quote errno values on every platform in the form
// "error: error %d" ("Write File 'x' error: error 28"). In a nested text the innermost
// (last) one counts. Sinks show it under the message, which itself stays exactly as the
// operation wrote it.
std::string ErrorExplanation(const std::string& text);

// Installs a sink for the lifetime of the object and restores the previous one after.
class ScopedErrorSink {
public:
    explicit ScopedErrorSink(ErrorSink* sink) : previous_(SetErrorSink(sink)) {}
    ~ScopedErrorSink() { SetErrorSink(previous_); }
    ScopedErrorSink(const ScopedErrorSink&) = delete;
    ScopedErrorSink& operator=(const ScopedErrorSink&) = delete;

private:
    ErrorSink* previous_;
};

}  // namespace korvex
