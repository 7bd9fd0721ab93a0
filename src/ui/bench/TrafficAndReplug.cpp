#include "ui/bench/TrafficAndReplug.h"

#include "ui/bench/TrafficView.h"

#include <QMainWindow>
#include <QStatusBar>

namespace tq::ui {

TrafficAndReplug::TrafficAndReplug(QMainWindow& window, SharedState& state, board::BoardLink& declare,
                             board::DriverApi& driver)
    : QObject(&window), window_(window), traffic_(new TrafficView(declare, &window)),
      watch_(state, declare, driver, shadow_) {
    setObjectName(QStringLiteral("TrafficAndReplug"));
    window.addDockWidget(Qt::BottomDockWidgetArea, traffic_);
    traffic_->hide();
    shadow_.follow(declare);
    connect(&watch_, &board::BoardWatch::disconnected, this, &TrafficAndReplug::onDisconnected);
    connect(&watch_, &board::BoardWatch::reconnected, this, &TrafficAndReplug::onReconnected);
}

void TrafficAndReplug::started() {
    watch_.start();
}

void TrafficAndReplug::onDisconnected() {
    // Menus, the traffic and closing stay usable; every panel talks to the board.
    window_.centralWidget()->setEnabled(false);
    window_.statusBar()->showMessage(QStringLiteral("Board disconnected"));
}

void TrafficAndReplug::onReconnected() {
    window_.centralWidget()->setEnabled(true);
    window_.statusBar()->showMessage(QStringLiteral("Board reconnected - set-up restored"));
}

} // namespace tq::ui
