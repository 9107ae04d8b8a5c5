// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace korvex::gui {

// Shows the texts one after another in warning boxes titled "Korvex" with an OK button,
// after any boxes already said over the same window (never two over one window at once),
// what an error number quoted in a text means as the box's informative text. Each box is
// window-modal over `over` (application-modal without one) and opened with open(): no
// nested event loop runs, the caller returns at once. After the last OK, `then` runs on
// the GUI thread, unless `context` is given and has been destroyed meanwhile. A box that
// goes with its window (the window was deleted) ends the sequence: the rest is dropped and,
// from the event loop once the window is gone, `then` runs as after OK (unless `context`
// went with it), and so does that of every batch still waiting. No texts: `then`
// runs once the boxes said before are taken (at once when there are none). GUI thread only.
void ShowMessages(QWidget* over, const QStringList& texts, QObject* context = nullptr,
                  std::function<void()> then = {});
inline void ShowMessage(QWidget* over, const QString& text, QObject* context = nullptr,
                        std::function<void()> then = {}) {
    ShowMessages(over, QStringList{text}, context, std::move(then));
}

QStringList ToQStringList(const std::vector<std::string>& texts);

// The order of a session's messages and of what must wait for them. A session says its
// messages with what comes after them; the view is handed one batch at a time (show) and
// calls Taken() once the user has taken it; only then does the batch's continuation run
// and the next batch come. So the messages of one step stay before the next step even
// when the steps come faster than the user reads. GUI thread only.
class MessageOrder {
public:
    using Show = std::function<void(const QStringList& texts)>;
    explicit MessageOrder(Show show) : show_(std::move(show)) {}

    // Queues `texts`, then `then`. With nothing queued and no texts, `then` runs at once.
    void Say(const QStringList& texts, std::function<void()> then = {});
    void Say(const std::vector<std::string>& texts, std::function<void()> then = {}) {
        Say(ToQStringList(texts), std::move(then));
    }
    // The batch shown has been taken.
    void Taken();
    // Forgets every batch, shown or waiting, and runs their continuations in order.
    void Drop();
    // A batch is being shown, or waits for one that is.
    bool busy() const { return !queue_.empty(); }

private:
    struct Batch {
        QStringList texts;
        std::function<void()> then;
    };
    void Next();

    Show show_;
    std::deque<Batch> queue_;
    bool showing_ = false;
};

}  // namespace korvex::gui
