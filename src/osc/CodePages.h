#pragma once

#include <string>

namespace korvex {

// The front panels' bytes as text: a SELVO panel writes the Russian DOS code page
// (CP866), a SELVO-M panel the Russian Windows code page (CP1251).
std::string Cp866ToUtf8(const std::string& bytes);
std::string Cp1251ToUtf8(const std::string& bytes);

}  // namespace korvex
