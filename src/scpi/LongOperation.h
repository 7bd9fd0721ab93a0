#pragma once
// One long operation at a time (a calibration, a list sweep: anything that waits on the
// hardware for longer than a transfer), run on a thread of its own so that the server's
// event loop keeps answering. The work gets a stop token, which ABORt, a stop signal or the
// client leaving trigger; it checks it between steps and restores what it promised. What the
// work returns runs afterwards on the thread that started it, where it may touch the
// server's state again.

#include <QObject>

#include <functional>
#include <stop_token>
#include <thread>

namespace tq::scpi {

class LongOperation : public QObject {
    Q_OBJECT
public:
    using Finish = std::function<void()>;
    using Work = std::function<Finish(std::stop_token)>;

    explicit LongOperation(QObject* parent = nullptr);
    // Requests the stop and waits for the work to end; its Finish does not run.
    ~LongOperation() override;

    // Starts `work`; false (and nothing started) while another runs.
    bool start(Work work);
    bool running() const { return running_; }
    // Asks the running work to stop at its next check; nothing when none runs.
    void cancel() { thread_.request_stop(); }

signals:
    // After the work's Finish ran, on the starting thread.
    void finished();

private:
    std::jthread thread_;
    bool running_ = false;
};

} // namespace tq::scpi
