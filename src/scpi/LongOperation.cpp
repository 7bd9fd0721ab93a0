#include "scpi/LongOperation.h"

namespace tq::scpi {

LongOperation::LongOperation(QObject* parent) : QObject(parent) {}

LongOperation::~LongOperation() = default; // std::jthread: request_stop(), then join()

bool LongOperation::start(Work work) {
    if (running_) return false;
    running_ = true;
    thread_ = std::jthread([this, work = std::move(work)](std::stop_token stop) {
        Finish finish = work(stop);
        // Queued to this object's thread; dropped if the object is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, finish = std::move(finish)] {
                thread_.join();
                running_ = false;
                if (finish) finish();
                emit finished();
            },
            Qt::QueuedConnection);
    });
    return true;
}

} // namespace tq::scpi
