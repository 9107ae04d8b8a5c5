// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorCapture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace korvex::test {

TempDir::TempDir() {
    // A name of its own in the system's temporary directory (/tmp, or %TEMP%).
    std::random_device random;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        char name[32];
        std::snprintf(name, sizeof name, "korvex-test-%08x", unsigned(random()));
        std::filesystem::path p = base / name;
        if (std::filesystem::create_directory(p)) {
            path_ = p.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool PollUntil(const std::function<bool()>& done, int ms) {
    for (int i = 0; i < ms / 2 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace korvex::test
