#pragma once
// Notices a board that went away (its cable pulled) and brings it back when it returns: the
// firmware started again and the set-up the program last wrote restored from a
// RegisterShadow. Needs the driver's optional Board_Attached and Count_Boards; a driver
// without them leaves the watch switched off and the program works as before.

#include "board/BoardLink.h"
#include "board/DriverApi.h"
#include "board/RegisterShadow.h"
#include "board/SharedState.h"

#include <QLoggingCategory>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace tq::board {

class BoardWatch final : public QObject {
    Q_OBJECT

public:
    enum class Link { Unwatched, Connected, Disconnected };

    // All four must outlive the watch.
    BoardWatch(SharedState& state, BoardLink& declare, DriverApi& driver, RegisterShadow& shadow,
               QObject* parent = nullptr);

    // Starts watching a board that runs (after start-up). Returns false, and stays
    // Unwatched, when the driver cannot tell whether a board is attached.
    bool start();

    Link link() const { return link_; }

    // What the timer does: notices a board that left, or restarts and restores one that came
    // back. Blocks for as long as the firmware download takes.
    void check();

    // While paused (another operation holds the board) the timer leaves the bus alone; a
    // failed transfer is still noticed.
    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }

    // How often the bus is looked at while the board runs and while it is away.
    void setIntervals(std::chrono::milliseconds connected, std::chrono::milliseconds away);

signals:
    // The board left: transfers fail until reconnected().
    void disconnected();
    // The board is back, its firmware runs and the set-up is restored.
    void reconnected();

private:
    void onTransfer(const Transfer& t);
    int32_t handle() const;
    void goDisconnected();

    SharedState& state_;
    BoardLink& declare_;
    DriverApi& driver_;
    RegisterShadow& shadow_;
    Link link_ = Link::Unwatched;
    bool restoring_ = false;
    bool paused_ = false;
    QTimer timer_;
    std::chrono::milliseconds connectedInterval_{1000};
    std::chrono::milliseconds awayInterval_{500};
    QLoggingCategory log_{"tq5802.usb", QtInfoMsg};
};

} // namespace tq::board
