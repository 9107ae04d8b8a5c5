// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorCapture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace korvex::test {

TempDir::TempDir() {
    // A name of its own in the system's temporary directory (/tmp, or %TEMP%).
    std::random_device random;
    do {
        path_ = (std::filesystem::temp_directory_path() /
                 ("korvex-test-" + std::to_string(random())))
                    .string();
    } while (!std::filesystem::create_directory(path_));
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
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace korvex::test
