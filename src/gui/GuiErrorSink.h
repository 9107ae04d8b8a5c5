#pragma once

#include "app/ErrorReport.h"

namespace korvex::gui {

// Shows the core's messages as a modal box with an OK button. From another thread the
// box is shown on the GUI thread and the calling thread waits for OK, as it would for
// its own box; the GUI thread therefore never blocks on a worker without processing
// events.
class GuiErrorSink : public ErrorSink {
public:
    void ShowError(const std::string& text) override;
};

}  // namespace korvex::gui
