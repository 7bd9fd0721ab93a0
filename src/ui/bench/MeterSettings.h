#pragma once
// The meter's address and reading options as the window's meter dialogs show them, within
// the bench library's limits, so that the window accepts what every front end accepts.

#include "bench/Meter.h"

#include <QGroupBox>

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace tq::ui {

class MeterSettings : public QGroupBox {
    Q_OBJECT

public:
    explicit MeterSettings(QWidget* parent = nullptr);

    QLineEdit* MeterUrl;
    QLineEdit* MeterRoute; // routing command with {n}; empty: the user moves the probe
    QComboBox* MeterQuery;
    QDoubleSpinBox* MeterNplc;
    QSpinBox* MeterSamples;
    QSpinBox* MeterSettle; // ms

    bench::MeterOptions options() const;
    // Fills in a meter the program knows of (the simulated board's own).
    void suggest(const QString& url, const QString& route);
    // Asks the user in a message box to move the probe; Cancel declines.
    static bench::ProbeRequest askUser(QWidget* parent);
};

} // namespace tq::ui
