#pragma once
// The simulated board's four outputs over the last few seconds, as a scope would draw them:
// each output holds its level until the next change, so a waveform played on the board can
// be seen without one.

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstddef>
#include <deque>

class QTimer;

namespace tq::ui {

class OutputTrace final : public QWidget {
    Q_OBJECT

public:
    static constexpr double kSeconds = 5;      // the time the trace spans
    static constexpr double kFullScale = 10.6; // volts each side of 0 V, above every range
    static constexpr std::size_t kMaxSamples = 200'000;

    explicit OutputTrace(QWidget* parent = nullptr);

    // The outputs now; kept only when one of them changed.
    void record(const std::array<double, 4>& volts);
    std::size_t samples() const { return samples_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Sample {
        qint64 ns = 0;
        std::array<double, 4> volts{};
    };
    void dropOld(qint64 now);

    QElapsedTimer clock_;
    std::deque<Sample> samples_;
    QTimer* repaint_;
};

} // namespace tq::ui
