// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests: real widgets, in real windows under a virtual X server when
// QT_QPA_PLATFORM=xcb (test.sh), else on Qt's offscreen platform. Input goes through
// the platform's input path (UserInput.h), so modality is honoured as for a user.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QTemporaryDir>

#include "gui/Application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The user's settings (QSettings, Korvex.cfg) untouched: the tests have a folder of their own.
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    korvex::gui::InitResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
