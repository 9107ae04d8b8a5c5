// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex {

// The regulator's bytes as text: a SELVO panel writes the Russian DOS code page (CP866),
// a SELVO-M panel, the diaries and the reports the Russian Windows code page (CP1251).
std::string Cp866ToUtf8(const std::string& bytes);
std::string Cp1251ToUtf8(const std::string& bytes);
// UTF-8 text into CP1251; a character the code page lacks becomes '?'.
std::string Utf8ToCp1251(const std::string& utf8);

}  // namespace korvex
