// Preloaded into a Qt program (LD_PRELOAD), ends it right after its main window has been
// painted and put on screen for the first time, so the time a process takes from exec to
// its first picture can be taken from outside, for any program and without changing it.
// Prints on stderr the milliseconds from QApplication's construction to that paint.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

class FirstPaint final : public QObject {
public:
    FirstPaint() { sinceApplication_.start(); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || done_) return false;
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !qobject_cast<QMainWindow*>(widget->window())) return false;
        done_ = true;
        // Queued behind the paint being delivered: it runs once the whole window has been
        // painted and flushed to the screen.
        QMetaObject::invokeMethod(
            this,
            [this] {
                std::fprintf(stderr, "first paint %.1f ms after QApplication\n",
                             sinceApplication_.nsecsElapsed() / 1e6);
                std::fflush(stderr);
                // Both sides skip their teardown alike.
                _exit(0);
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    QElapsedTimer sinceApplication_;
    bool done_ = false;
};

void install() {
    auto* probe = new FirstPaint; // lives as long as the application, which owns it
    probe->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(probe);
}

// Registered while the preloaded library is loaded, before the program's main().
const bool registered = (qAddPreRoutine(install), true);

} // namespace
