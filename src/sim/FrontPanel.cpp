// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/FrontPanel.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "app/StrPrintf.h"

namespace korvex::sim {

namespace {

// The setpoint being typed, read the same whatever the process locale.
double EditValue(const std::string& edit) {
    double v = 0.0;
    std::from_chars(edit.data(), edit.data() + edit.size(), v);
    return v;
}

const char* const kMenu[] = {"Measurements", "Setpoint Ug", "Events", "About"};
constexpr int kMenuItems = 4;

std::string Fit(const std::string& s, int width) {
    std::string out = s.substr(0, size_t(width));
    out.resize(size_t(width), ' ');
    return out;
}

}  // namespace

std::string ToPanelCodePage(const std::string& utf8, bool oem) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80 || i + 1 >= utf8.size()) {
            out += char(c);
            continue;
        }
        unsigned cp = (c & 0x1F) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        if (cp >= 0x410 && cp <= 0x42F)
            out += char(oem ? 0x80 + (cp - 0x410) : 0xC0 + (cp - 0x410));
        else if (cp >= 0x430 && cp <= 0x43F)
            out += char(oem ? 0xA0 + (cp - 0x430) : 0xE0 + (cp - 0x430));
        else if (cp >= 0x440 && cp <= 0x44F)
            out += char(oem ? 0xE0 + (cp - 0x440) : 0xF0 + (cp - 0x440));
        else
            out += '?';
    }
    return out;
}

FrontPanel::FrontPanel(Model model) : model_(model) {}

FrontPanel::Action FrontPanel::Decode(uint8_t code, char* digit) const {
    if (model_ == Model::kSelvoM) {
        switch (code) {
            case 0x01: return Action::kEsc;
            case 0x02: return Action::kEnter;
            case 0x04: return Action::kLeft;
            case 0x08: return Action::kRight;
            case 0x10: return Action::kDown;
            case 0x20: return Action::kUp;
            default: return Action::kNone;
        }
    }
    if (code >= 0x30 && code <= 0x39) {
        *digit = char(code);
        return Action::kDigit;
    }
    switch (code) {
        case 0x01: return Action::kUp;
        case 0x02: return Action::kDown;
        case 0x03: return Action::kRight;
        case 0x04: return Action::kLeft;
        case 0x0D: return Action::kEnter;
        case 0x1B: return Action::kEsc;
        case 0x2E: return Action::kDot;
        default: return Action::kNone;
    }
}

void FrontPanel::Key(uint8_t code) {
    char digit = 0;
    Action a = Decode(code, &digit);
    switch (screen_) {
        case Screen::kHome:
            if (a == Action::kEnter) screen_ = Screen::kMenu;
            break;
        case Screen::kMenu:
            if (a == Action::kUp) selected_ = (selected_ + kMenuItems - 1) % kMenuItems;
            if (a == Action::kDown) selected_ = (selected_ + 1) % kMenuItems;
            if (a == Action::kEsc) screen_ = Screen::kHome;
            if (a == Action::kEnter || a == Action::kRight) {
                static const Screen kTargets[] = {Screen::kMeasure, Screen::kSetpoint,
                                                  Screen::kEvents, Screen::kAbout};
                screen_ = kTargets[selected_];
                char buf[16];
                CSnprintf(buf, sizeof buf, "%.3f", setpoint_);
                edit_ = buf;
            }
            break;
        case Screen::kSetpoint:
            if (a == Action::kDigit && edit_.size() < 6) edit_ += digit;
            if (a == Action::kDot && edit_.find('.') == std::string::npos) edit_ += '.';
            if (a == Action::kLeft && !edit_.empty()) edit_.pop_back();
            if (a == Action::kUp || a == Action::kDown) {
                double v = EditValue(edit_) + (a == Action::kUp ? 0.01 : -0.01);
                char buf[16];
                CSnprintf(buf, sizeof buf, "%.3f", v);
                edit_ = buf;
            }
            if (a == Action::kEnter) {
                double v = EditValue(edit_);
                if (v >= 0.8 && v <= 1.2) setpoint_ = v;
                screen_ = Screen::kMenu;
            }
            if (a == Action::kEsc) screen_ = Screen::kMenu;
            break;
        default:
            if (a == Action::kEsc || a == Action::kEnter || a == Action::kLeft)
                screen_ = Screen::kMenu;
            break;
    }
    UpdateCursor();
}

void FrontPanel::UpdateCursor() {
    cursor_on_ = screen_ == Screen::kMenu || screen_ == Screen::kSetpoint;
    if (screen_ == Screen::kMenu) {
        // SELVO shows the whole menu below its title; SELVO-M one item per screen.
        cursor_row_ = uint8_t(model_ == Model::kSelvo ? selected_ : 1);
        cursor_col_ = 0;
    } else if (screen_ == Screen::kSetpoint) {
        cursor_row_ = 1;
        cursor_col_ = uint8_t(8 + edit_.size());
    }
}

std::string FrontPanel::Text(const PanelValues& v) const {
    const bool oem = model_ == Model::kSelvo;
    const int w = cols();
    std::vector<std::string> lines;
    char buf[64];
    switch (screen_) {
        case Screen::kHome:
            lines.push_back(ToPanelCodePage(oem ? "РЕГУЛЯТОР  KORVEX" : "РЕГУЛЯТОР", oem));
            CSnprintf(buf, sizeof buf, "Ug=%5.3f If=%5.2f", v.ug, v.ifield);
            lines.push_back(buf);
            CSnprintf(buf, sizeof buf, "P=%5.3f  Q=%6.3f", v.p, v.q);
            lines.push_back(buf);
            lines.push_back("ENT - menu");
            break;
        case Screen::kMenu:
            if (oem) {
                for (int i = 0; i < kMenuItems; ++i) {
                    CSnprintf(buf, sizeof buf, " %d %s", i + 1, kMenu[i]);
                    lines.push_back(buf);
                }
            } else {
                lines.push_back(ToPanelCodePage("МЕНЮ", false));
                CSnprintf(buf, sizeof buf, " %d %s", selected_ + 1, kMenu[selected_]);
                lines.push_back(buf);
            }
            break;
        case Screen::kMeasure:
            CSnprintf(buf, sizeof buf, "Ug=%6.3f", v.ug);
            lines.push_back(buf);
            CSnprintf(buf, sizeof buf, "If=%6.3f", v.ifield);
            lines.push_back(buf);
            CSnprintf(buf, sizeof buf, "P =%6.3f", v.p);
            lines.push_back(buf);
            CSnprintf(buf, sizeof buf, "Q =%6.3f", v.q);
            lines.push_back(buf);
            break;
        case Screen::kSetpoint:
            lines.push_back("Setpoint Ug");
            lines.push_back("  new = " + edit_);
            lines.push_back("0.8 .. 1.2");
            lines.push_back("ENT save  ESC back");
            break;
        case Screen::kEvents:
            lines.push_back("Events");
            lines.push_back("Field forcing  x3");
            break;
        case Screen::kAbout:
            lines.push_back("KORVEX SIM");
            lines.push_back(std::string("\x18\x19 ") + (oem ? "SELVO 2.3.1" : "SELVO-M"));
            break;
    }
    std::string text;
    for (int r = 0; r < rows(); ++r) text += Fit(r < int(lines.size()) ? lines[size_t(r)] : "", w);
    return text;
}

}  // namespace korvex::sim
