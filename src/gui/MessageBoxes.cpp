// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/MessageBoxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <memory>

#include "app/ErrorReport.h"

namespace korvex::gui {

QStringList ToQStringList(const std::vector<std::string>& texts) {
    QStringList list;
    for (const auto& t : texts) list << QString::fromStdString(t);
    return list;
}

namespace {

// One batch of boxes, one after another; see ShowMessages.
void ShowSequence(QWidget* over, const QStringList& texts, QObject* context,
                  std::function<void()> then) {
    const bool guarded = context != nullptr;
    QPointer<QObject> alive(context);
    auto finish = [guarded, alive, then = std::move(then)] {
        if (then && (!guarded || alive)) then();
    };
    if (texts.isEmpty()) {
        finish();
        return;
    }
    const QString& text = texts.front();
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Korvex"), text,
                                QMessageBox::Ok, over);
    box->setTextFormat(Qt::PlainText);
    // The message stays exactly as the operation wrote it; what its error number means
    // goes under it.
    QString detail = QString::fromStdString(ErrorExplanation(text.toStdString()));
    if (!detail.isEmpty()) box->setInformativeText(detail);
    box->setWindowModality(over ? Qt::WindowModal : Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Exactly once: after OK (or Esc), or when the box goes with its window.
    auto done = std::make_shared<bool>(false);
    QPointer<QWidget> window(over);
    QStringList rest = texts.mid(1);
    QObject::connect(box, &QDialog::finished, box, [=] {
        if (*done) return;
        *done = true;
        // The next box over the same window, if it still stands.
        if (over && !window) {
            finish();
            return;
        }
        ShowSequence(window, rest, nullptr, finish);
    });
    QObject::connect(box, &QObject::destroyed, [done, finish] {
        if (*done) return;
        *done = true;
        finish();
    });
    box->open();
}

// The batches said over one window, a child of it. Two boxes never stand over a window at
// once: which of them the window system put in front would decide the order the user
// reads them in, and taking one would leave the other hidden behind it.
class WindowMessages : public QObject {
public:
    explicit WindowMessages(QWidget* over)
        : QObject(over), order_([this, over](const QStringList& texts) {
              ShowSequence(over, texts, this, [this] { order_.Taken(); });
          }) {}
    // The window goes: what still waits runs as after OK, like the batch on screen, once
    // the window is gone. (While it is destroyed, the pointers that guard the
    // continuations, to the window or to a session that is its child, still stand.)
    ~WindowMessages() override {
        if (!QCoreApplication::instance()) return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [order = std::make_shared<MessageOrder>(std::move(order_))] { order->Drop(); },
            Qt::QueuedConnection);
    }
    void Say(const QStringList& texts, std::function<void()> then) {
        order_.Say(texts, std::move(then));
    }

private:
    MessageOrder order_;
};

}  // namespace

void ShowMessages(QWidget* over, const QStringList& texts, QObject* context,
                  std::function<void()> then) {
    if (!over) {
        ShowSequence(nullptr, texts, context, std::move(then));
        return;
    }
    // (Not findChild: without a meta-object of its own, any child would match.)
    WindowMessages* messages = nullptr;
    for (QObject* child : over->children())
        if ((messages = dynamic_cast<WindowMessages*>(child))) break;
    if (!messages) messages = new WindowMessages(over);
    QPointer<QObject> alive(context);
    messages->Say(texts, [guarded = context != nullptr, alive, then = std::move(then)] {
        if (then && (!guarded || alive)) then();
    });
}

void MessageOrder::Say(const QStringList& texts, std::function<void()> then) {
    if (queue_.empty() && texts.isEmpty()) {
        if (then) then();
        return;
    }
    queue_.push_back({texts, std::move(then)});
    if (!showing_) Next();
}

void MessageOrder::Next() {
    // Batches without texts only wait for the ones before them.
    while (!queue_.empty() && queue_.front().texts.isEmpty()) {
        auto then = std::move(queue_.front().then);
        queue_.pop_front();
        if (then) then();
    }
    if (queue_.empty() || showing_) return;
    showing_ = true;
    show_(queue_.front().texts);
}

void MessageOrder::Drop() {
    std::deque<Batch> queue;
    queue.swap(queue_);
    showing_ = false;
    for (auto& batch : queue)
        if (batch.then) batch.then();
}

void MessageOrder::Taken() {
    if (!showing_ || queue_.empty()) return;
    showing_ = false;
    auto then = std::move(queue_.front().then);
    queue_.pop_front();
    if (then) then();
    Next();
}

}  // namespace korvex::gui
