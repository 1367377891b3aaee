#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace tavu::test {

// Hands each modal window that comes up while a modal run goes on to a handler, once each, and
// keeps their titles.
class ModalDriver {
  public:
    explicit ModalDriver(std::function<void(QDialog*)> handle) {
        QObject::connect(&timer_, &QTimer::timeout, [this, handle] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (modal != nullptr && modal != last_) {
                last_ = modal;  // cleared when it goes, so one at the same address still counts
                seen_.push_back(modal->windowTitle());
                handle(modal);
            }
        });
        timer_.start(0);
    }
    int count() const { return static_cast<int>(seen_.size()); }
    const QStringList& seen() const { return seen_; }

  private:
    QTimer timer_;
    QPointer<QDialog> last_;
    QStringList seen_;
};

}  // namespace tavu::test
