#include "board/BoardWatch.h"

#include "board/BoardStart.h"

#include <QPointer>

namespace tq::board {

BoardWatch::BoardWatch(SharedState& state, BoardLink& declare, DriverApi& driver,
                       RegisterShadow& shadow, QObject* parent)
    : QObject(parent), state_(state), declare_(declare), driver_(driver), shadow_(shadow) {
    connect(&timer_, &QTimer::timeout, this, &BoardWatch::check);
    declare_.addObserver([self = QPointer<BoardWatch>(this)](const Transfer& t) {
        if (self) self->onTransfer(t);
    });
}

void BoardWatch::setIntervals(std::chrono::milliseconds connected, std::chrono::milliseconds away) {
    connectedInterval_ = connected;
    awayInterval_ = away;
    if (timer_.isActive())
        timer_.start(link_ == Link::Connected ? connectedInterval_ : awayInterval_);
}

int32_t BoardWatch::handle() const {
    return declare_.backend() == Backend::Newer ? state_.BoardHandle : 0;
}

bool BoardWatch::start() {
    if (driver_.Board_Attached(handle()) < 0 ||
        driver_.Count_Boards(BoardStart::kVendorId, BoardStart::kProductId) < 0)
        return false;
    link_ = Link::Connected;
    timer_.start(connectedInterval_);
    return true;
}

void BoardWatch::onTransfer(const Transfer& t) {
    // A failed transfer is the first sign of a pulled cable; the restore's own failures are
    // the restore's to handle.
    if (t.succeeded() || link_ != Link::Connected || restoring_) return;
    if (driver_.Board_Attached(handle()) == 0) goDisconnected();
}

void BoardWatch::goDisconnected() {
    qCInfo(log_, "board disconnected");
    link_ = Link::Disconnected;
    timer_.start(awayInterval_);
    emit disconnected();
}

void BoardWatch::check() {
    if (restoring_ || paused_) return;
    if (link_ == Link::Connected) {
        if (driver_.Board_Attached(handle()) == 0) goDisconnected();
        return;
    }
    if (link_ != Link::Disconnected) return;
    if (driver_.Count_Boards(BoardStart::kVendorId, BoardStart::kProductId) <= 0) return;

    restoring_ = true;
    const bool started = BoardStart::StartBoard(state_, driver_, declare_.backend());
    // The board powered up afresh: the shadow learns it anew from the restore's writes
    // (what it does not know stays at the board's power-on values on both sides).
    RegisterShadow::State wanted = shadow_.state();
    if (started) shadow_.assume({});
    const bool restored = started && Restore(declare_, wanted);
    restoring_ = false;
    // A board that left again (or whose firmware would not start) is waited for again.
    if (!restored) {
        shadow_.assume(std::move(wanted));
        qCInfo(log_, "board is back but could not be %s", started ? "restored" : "started");
        return;
    }
    qCInfo(log_, "board reconnected, set-up restored");
    link_ = Link::Connected;
    timer_.start(connectedInterval_);
    emit reconnected();
}

} // namespace tq::board
