#pragma once
// What the main window offers a bench beyond its panels: the "USB Traffic" dock, and a board
// that may be unplugged and plugged back: "Board disconnected" with the panels disabled while
// it is away, then its firmware and the set-up the window last wrote restored.

#include "board/BoardWatch.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"
#include "board/RegisterShadow.h"
#include "board/SharedState.h"

#include <QObject>

class QMainWindow;

namespace tq::ui {

class TrafficView;

class TrafficAndReplug final : public QObject {
    Q_OBJECT

public:
    // Made before the window loads, so the traffic and the shadow see the start-up; owned by
    // `window`, which gets the (hidden) traffic dock. State, board layer and driver must
    // outlive the window.
    TrafficAndReplug(QMainWindow& window, SharedState& state, board::BoardLink& declare,
                  board::DriverApi& driver);

    // Once the board runs: an unplugged board is watched for, when the driver can tell.
    void started();

    TrafficView& traffic() { return *traffic_; }
    board::RegisterShadow& shadow() { return shadow_; }
    board::BoardWatch& watch() { return watch_; }

private:
    void onDisconnected();
    void onReconnected();

    QMainWindow& window_;
    TrafficView* traffic_; // owned by form_
    board::RegisterShadow shadow_;
    board::BoardWatch watch_;
};

} // namespace tq::ui
