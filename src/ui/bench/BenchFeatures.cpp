#include "ui/bench/BenchFeatures.h"

#include "ui/bench/TrafficView.h"

#include <QMainWindow>
#include <QStatusBar>

namespace tq::ui {

BenchFeatures::BenchFeatures(QMainWindow& window, SharedState& state, board::Declare& declare,
                             board::DriverApi& driver)
    : QObject(&window), window_(window), traffic_(new TrafficView(declare, &window)),
      watch_(state, declare, driver, shadow_) {
    setObjectName(QStringLiteral("BenchFeatures"));
    window.addDockWidget(Qt::BottomDockWidgetArea, traffic_);
    traffic_->hide();
    shadow_.follow(declare);
    connect(&watch_, &board::BoardWatch::disconnected, this, &BenchFeatures::onDisconnected);
    connect(&watch_, &board::BoardWatch::reconnected, this, &BenchFeatures::onReconnected);
}

void BenchFeatures::started() {
    watch_.start();
}

void BenchFeatures::onDisconnected() {
    // Menus, the traffic and closing stay usable; every panel talks to the board.
    window_.centralWidget()->setEnabled(false);
    window_.statusBar()->showMessage(QStringLiteral("Board disconnected"));
}

void BenchFeatures::onReconnected() {
    window_.centralWidget()->setEnabled(true);
    window_.statusBar()->showMessage(QStringLiteral("Board reconnected - set-up restored"));
}

} // namespace tq::ui
