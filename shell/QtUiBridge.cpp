#include "shell/QtUiBridge.h"

#include "shell/InfoPanel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>

#include "engine/Device.h"
#include "shell/MainFormView.h"

QtUiBridge::QtUiBridge(MainFormView* form) : form_(form) {}

QtUiBridge::~QtUiBridge() = default;

bool QtUiBridge::OnUiThread() {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void QtUiBridge::Enqueue(Change change) {
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(change));
        if (!drainPosted_) {
            drainPosted_ = true;
            post = true;
        }
    }
    if (OnUiThread()) {
        Flush();
        return;
    }
    if (post) QMetaObject::invokeMethod(this, [this] { Flush(); }, Qt::QueuedConnection);
}

void QtUiBridge::Flush() {
    // One change at a time: a change that logs (a call) queues behind the rest
    // and a nested flush keeps the order.
    for (;;) {
        Change change;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                drainPosted_ = false;
                return;
            }
            change = std::move(queue_.front());
            queue_.pop_front();
        }
        Apply(change);
    }
}

void QtUiBridge::Apply(Change& change) {
    switch (change.kind) {
    case Change::Append:
        form_->MirrorAppend(QString::fromStdString(change.text));
        break;
    case Change::Replace:
        form_->MirrorReplace(static_cast<int>(change.index), QString::fromStdString(change.text));
        break;
    case Change::Remove:
        form_->MirrorRemove(static_cast<int>(change.index), static_cast<int>(change.count));
        break;
    case Change::Progress: {
        int value;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            value = progress_;
            progressQueued_ = false;
        }
        form_->ShowProgressPosition(value);
        break;
    }
    case Change::Panel: {
        std::string text;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            text = panels_[change.index];
            panelQueued_[change.index] = false;
        }
        form_->ShowStatusPanel(static_cast<int>(change.index), QString::fromStdString(text));
        break;
    }
    case Change::Call:
        if (change.fn) change.fn();
        break;
    }
}

void QtUiBridge::LogAppended(const std::string& text) {
    Change c{Change::Append};
    c.text = text;
    Enqueue(std::move(c));
}

void QtUiBridge::LogReplaced(size_t index, const std::string& text) {
    Change c{Change::Replace};
    c.index = index;
    c.text = text;
    Enqueue(std::move(c));
}

void QtUiBridge::LogRemoved(size_t index, size_t count) {
    Change c{Change::Remove};
    c.index = index;
    c.count = count;
    Enqueue(std::move(c));
}

void QtUiBridge::SetProgressBar(int position) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        progress_ = position;
        if (progressQueued_ && !OnUiThread()) return; // the queued marker shows it
        progressQueued_ = true;
    }
    Enqueue(Change{Change::Progress});
}

void QtUiBridge::SetStatusPanel(int panel, const std::string& text) {
    if (panel < 0 || panel > 2) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        panels_[panel] = text;
        if (panelQueued_[panel] && !OnUiThread()) return;
        panelQueued_[panel] = true;
    }
    Change c{Change::Panel};
    c.index = static_cast<size_t>(panel);
    Enqueue(std::move(c));
}

void QtUiBridge::ShowCounters(uint32_t count, uint32_t success, uint32_t failure,
                              uint32_t devicesPerHour) {
    MainFormView* form = form_;
    Post([form, count, success, failure, devicesPerHour] { form->SetCounters(count, success, failure, devicesPerHour); });
}

UiAnswer QtUiBridge::ShowBox(const std::string& text, const std::string& caption,
                             UiButtons buttons, UiIcon icon) {
    QMessageBox box(form_->Window());
    box.setWindowTitle(caption.empty() ? QGuiApplication::applicationDisplayName()
                                       : QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case UiIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case UiIcon::Information: box.setIcon(QMessageBox::Information); break;
    case UiIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case UiIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case UiIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    if (buttons == UiButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    int r = box.exec();
    if (buttons == UiButtons::Ok) return UiAnswer::Ok;
    return r == QMessageBox::Yes ? UiAnswer::Yes : UiAnswer::No;
}

UiAnswer QtUiBridge::MessageBox(const std::string& text, const std::string& caption,
                                UiButtons buttons, UiIcon icon) {
    if (OnUiThread()) {
        Flush();
        return ShowBox(text, caption, buttons, icon);
    }
    // The worker waits for the answer; the UI thread shows what was queued
    // before the question, then the box.
    UiAnswer answer = buttons == UiButtons::Ok ? UiAnswer::Ok : UiAnswer::No;
    QMetaObject::invokeMethod(
        this,
        [&] {
            Flush();
            answer = ShowBox(text, caption, buttons, icon);
        },
        Qt::BlockingQueuedConnection);
    return answer;
}

void QtUiBridge::RefreshMainForm() {
    MainFormView* form = form_;
    Post([form] {
        form->EnableOperationControls(SupportedOperationMask);
        form->RefreshBufferView(1);
    });
}

void QtUiBridge::RefreshInfoPanel() {
    Post([] { UpdateInfoPanel(); });
}

int QtUiBridge::MainFormLeft() { return form_->LeftCache.load(); }

int QtUiBridge::MainFormTop() { return form_->TopCache.load(); }

void QtUiBridge::Post(std::function<void()> fn) {
    Change c{Change::Call};
    c.fn = std::move(fn);
    Enqueue(std::move(c));
}

void PostToUi(std::function<void()> fn) {
    if (auto* bridge = dynamic_cast<QtUiBridge*>(&CurrentUi())) {
        bridge->Post(std::move(fn));
    } else if (QtUiBridge::OnUiThread()) {
        fn();
    } else if (QCoreApplication::instance()) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
    }
}
