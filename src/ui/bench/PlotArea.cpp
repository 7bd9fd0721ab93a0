#include "ui/bench/PlotArea.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace tq::ui {

PlotArea::PlotArea(std::function<QWidget*(const plot::PlotLibrary&, QWidget*)> create,
                   QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (const bench::Status loaded = library_.load(QCoreApplication::applicationDirPath());
        !loaded) {
        auto* reason = new QLabel(QString::fromStdString(loaded.error().message), this);
        reason->setObjectName(QStringLiteral("PlotUnavailable"));
        reason->setWordWrap(true);
        reason->setAlignment(Qt::AlignCenter);
        layout->addWidget(reason);
        return;
    }
    plot_ = create(library_, this);
    layout->addWidget(plot_);
}

} // namespace tq::ui
