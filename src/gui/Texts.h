// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

#include "app/Language.h"

namespace korvex::gui {

// A core text (UTF-8) as Qt's.
inline QString Q(const std::string& s) {
    return QString::fromUtf8(s.c_str());
}

// A text Korvex has in both languages, in the program's language.
inline QString T(const char* russian, const char* english) {
    return QString::fromUtf8(Tr(russian, english));
}

}  // namespace korvex::gui
