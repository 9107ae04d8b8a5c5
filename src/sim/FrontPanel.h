// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace korvex::sim {

// Live values the panel shows on its home screen.
struct PanelValues {
    double ug = 1.0, ifield = 1.5, p = 0.8, q = 0.1;
};

// The regulator's front panel: a SELVO (4 lines of 20, OEM code page) or a SELVO-M
// (2 lines of 16, ANSI code page) with a small menu driven by the panel's keys:
// home screen -> ENT/OK: menu (measurements, voltage setpoint, events, about),
// arrows move, ESC goes back; the setpoint takes digits and '.' on a SELVO.
class FrontPanel {
public:
    enum class Model { kSelvo, kSelvoM };
    explicit FrontPanel(Model model);

    // A key code as the panel's keypad sends it; unknown codes are ignored.
    void Key(uint8_t code);
    // The display: 80 (SELVO) or 32 (SELVO-M) bytes in the panel's code page.
    std::string Text(const PanelValues& v) const;
    uint8_t cursor_row() const { return cursor_row_; }
    uint8_t cursor_col() const { return cursor_col_; }
    bool cursor_on() const { return cursor_on_; }
    double setpoint() const { return setpoint_; }
    int rows() const { return model_ == Model::kSelvo ? 4 : 2; }
    int cols() const { return model_ == Model::kSelvo ? 20 : 16; }

private:
    enum class Screen { kHome, kMenu, kMeasure, kSetpoint, kEvents, kAbout };
    enum class Action { kNone, kUp, kDown, kLeft, kRight, kEnter, kEsc, kDigit, kDot };
    Action Decode(uint8_t code, char* digit) const;
    void UpdateCursor();

    Model model_;
    Screen screen_ = Screen::kHome;
    int selected_ = 0;
    std::string edit_;
    double setpoint_ = 1.0;
    uint8_t cursor_row_ = 0, cursor_col_ = 0;
    bool cursor_on_ = false;
};

// UTF-8 text with Cyrillic capitals and small letters into CP866 (oem) or CP1251.
std::string ToPanelCodePage(const std::string& utf8, bool oem);

}  // namespace korvex::sim
