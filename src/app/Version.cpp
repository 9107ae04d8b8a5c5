// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Version.h"

#include <cstdio>

#include "app/Language.h"
#include "app/StrPrintf.h"

namespace korvex {

Version4 OwnVersion() {
    return {KORVEX_VERSION_MAJOR, KORVEX_VERSION_MINOR, KORVEX_VERSION_PATCH, KORVEX_VERSION_BUILD};
}

int GetFileVersion4(const std::string& path, Version4* out) {
    *out = {0, 0, 0, 0};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    std::fclose(f);
    return 0;
}

int CompareVersion4(const Version4& a, const Version4& b) {
    for (size_t i = 0; i < 4; ++i) {
        if (a[i] < b[i]) return -1;
        if (a[i] > b[i]) return 1;
    }
    return 0;
}

std::string TitleWithVersion(const std::string& old_caption, const Version4& v) {
    std::string title = StrPrintf(" Korvex v%d.%d.%d", int(v[0]), int(v[1]), int(v[2]));
    if (v[3]) title += StrPrintf(" Beta %d", int(v[3]));
    if (!old_caption.empty()) title += "  -  " + old_caption;
    return title;
}

std::string AboutVersionLine(const Version4& v) {
    return StrPrintf("Korvex   v%d.%d.%d.%d", int(v[0]), int(v[1]), int(v[2]), int(v[3]));
}

const char* LicenceLine() {
    return Tr("Лицензия GPL-3.0-or-later: GNU GPL версии 3 или более поздней",
              "License GPL-3.0-or-later: GNU GPL version 3 or later");
}

std::string VersionText(const char* program, const Version4& v) {
    std::string text = StrPrintf("%s %d.%d.%d", program, int(v[0]), int(v[1]), int(v[2]));
    if (v[3]) text += StrPrintf(" beta %d", int(v[3]));
    return text + "\n" + LicenceLine() + "\n";
}

}  // namespace korvex
