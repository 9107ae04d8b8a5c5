// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/ErrorReport.h"

namespace korvex::test {

// Captures what the core would show in a message box, for the life of the object.
class ErrorCapture : public ErrorSink {
public:
    ErrorCapture() : scoped_(this) {}
    void ShowError(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mu_);
        texts_.push_back(text);
    }
    std::vector<std::string> texts() const {
        std::lock_guard<std::mutex> lock(mu_);
        return texts_;
    }

private:
    mutable std::mutex mu_;
    std::vector<std::string> texts_;
    ScopedErrorSink scoped_;
};

// A fresh temporary directory, removed with its contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Polls `done` every 2 ms until it holds or `ms` have passed; true when it held.
bool PollUntil(const std::function<bool()>& done, int ms = 2000);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace korvex::test
