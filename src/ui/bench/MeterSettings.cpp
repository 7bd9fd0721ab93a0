#include "ui/bench/MeterSettings.h"
#include "ui/widgets/Named.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>

namespace tq::ui {

MeterSettings::MeterSettings(QWidget* parent) : QGroupBox(QStringLiteral("Meter"), parent) {
    MeterUrl = named(new QLineEdit(this), "MeterUrl");
    MeterUrl->setPlaceholderText(QStringLiteral("tcp://HOST[:PORT] or usbtmc:///dev/usbtmcN"));
    MeterUrl->setToolTip(QStringLiteral("tcp://HOST[:PORT] (port 5025 unless given) or "
                                        "usbtmc:///dev/usbtmcN"));
    MeterRoute = named(new QLineEdit(this), "MeterRoute");
    MeterRoute->setPlaceholderText(QStringLiteral("none: move the probe by hand"));
    MeterRoute->setToolTip(QStringLiteral("A scanner's routing command; {n} becomes 1 to 4 for "
                                          "DAC A to DAC D, e.g. ROUT:CLOS (@10{n})"));
    MeterQuery = named(new QComboBox(this), "MeterQuery");
    MeterQuery->addItems({QStringLiteral("MEAS:VOLT:DC?"), QStringLiteral("CONF:VOLT:DC, READ?")});
    MeterNplc = named(new QDoubleSpinBox(this), "MeterNplc");
    MeterNplc->setRange(0, bench::kMaxNplc);
    MeterNplc->setDecimals(2);
    MeterNplc->setSpecialValueText(QStringLiteral("meter's own"));
    MeterSamples = named(new QSpinBox(this), "MeterSamples");
    MeterSamples->setRange(1, bench::kMaxSamples);
    MeterSamples->setValue(4);
    MeterSettle = named(new QSpinBox(this), "MeterSettle");
    MeterSettle->setRange(0, static_cast<int>(bench::kMaxSettle.count()));
    MeterSettle->setValue(100);
    MeterSettle->setSuffix(QStringLiteral(" ms"));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Address:"), MeterUrl);
    form->addRow(QStringLiteral("Routing command:"), MeterRoute);
    form->addRow(QStringLiteral("Query:"), MeterQuery);
    form->addRow(QStringLiteral("NPLC:"), MeterNplc);
    form->addRow(QStringLiteral("Samples averaged:"), MeterSamples);
    form->addRow(QStringLiteral("Settle time:"), MeterSettle);
}

bench::MeterOptions MeterSettings::options() const {
    bench::MeterOptions o;
    o.url = MeterUrl->text().trimmed();
    o.routeTemplate = MeterRoute->text().trimmed();
    o.query = MeterQuery->currentIndex() == 1 ? bench::MeterOptions::Query::ConfigureRead
                                              : bench::MeterOptions::Query::Measure;
    o.nplc = MeterNplc->value();
    o.samples = MeterSamples->value();
    o.settle = std::chrono::milliseconds(MeterSettle->value());
    return o;
}

void MeterSettings::suggest(const QString& url, const QString& route) {
    MeterUrl->setText(url);
    MeterRoute->setText(route);
}

bench::ProbeRequest MeterSettings::askUser(QWidget* parent) {
    return [parent](bench::Channel c) {
        const std::string_view caption = bench::ChannelCaption(c);
        return QMessageBox::question(
                   parent, parent->windowTitle(),
                   QStringLiteral("Connect the meter to the output of %1, then press OK.")
                       .arg(QString::fromLatin1(caption.data(),
                                                static_cast<qsizetype>(caption.size()))),
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok;
    };
}

} // namespace tq::ui
