// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ErrorReport.h"

namespace korvex::gui {

// Shows the core's messages as a modal box with an OK button, titled "Korvex", with
// what an error number means as the box's informative text. On the GUI thread the box
// is shown at once and the caller continues after OK, as it would after its own box.
// From another thread the box is posted to the GUI thread and the caller goes on at
// once: a worker never waits on the GUI.
class GuiErrorSink : public ErrorSink {
public:
    void ShowError(const std::string& text) override;
};

}  // namespace korvex::gui
