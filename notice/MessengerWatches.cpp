#include "notice/MessengerWatches.h"

#include "notice/Messenger.h"

namespace notice {
namespace {

// Lets go of the object whose signal runs the steps: at once, or, while one of its steps
// runs (a step that ended the watch), once that signal has returned.
template <class Object> void letGo(std::unique_ptr<Object>& object, bool stepping) {
    if (!stepping) return;
    object->blockSignals(true);
    object.release()->deleteLater();
}

} // namespace

MailslotWatch::MailslotWatch(TMainMessenger& messenger, int readyDescriptor)
    : notifier_(std::make_unique<QSocketNotifier>(readyDescriptor, QSocketNotifier::Read)) {
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, target = &messenger] {
        const std::weak_ptr<int> alive = alive_;
        stepping_ = true;
        // An error waiting on the socket is cleared by the read's receive too.
        target->ReadMessage();
        if (alive.expired()) return;
        stepping_ = false;
    });
}

MailslotWatch::~MailslotWatch() {
    notifier_->setEnabled(false);
    letGo(notifier_, stepping_);
}

MessengerTicker::MessengerTicker(TMainMessenger& messenger) : timer_(std::make_unique<QTimer>()) {
    timer_->setSingleShot(true);
    QObject::connect(timer_.get(), &QTimer::timeout, [this, target = &messenger] {
        const std::weak_ptr<int> alive = alive_;
        stepping_ = true;
        target->DoTimer();
        if (alive.expired()) return;
        stepping_ = false;
        timer_->start(target->Interval());
    });
    timer_->start(0);
}

MessengerTicker::~MessengerTicker() {
    timer_->stop();
    letGo(timer_, stepping_);
}

} // namespace notice
