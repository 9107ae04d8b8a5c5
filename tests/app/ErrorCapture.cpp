#include "app/ErrorCapture.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvex::test {

TempDir::TempDir() {
    char tmpl[] = "/tmp/korvex-test-XXXXXX";
    path_ = mkdtemp(tmpl);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
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
