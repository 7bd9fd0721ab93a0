#pragma once
// Where a dialog's plot goes: the plot library's widget once loaded (plot/PlotLibrary.h), or
// a line saying why there is none; the rest of the dialog works either way.

#include "plot/PlotLibrary.h"

#include <QWidget>

#include <functional>

namespace tq::ui {

class PlotArea : public QWidget {
    Q_OBJECT

public:
    // `create` makes the plot widget from the loaded library, as a child of the area.
    PlotArea(std::function<QWidget*(const plot::PlotLibrary&, QWidget*)> create,
             QWidget* parent = nullptr);

    const plot::PlotLibrary& library() const { return library_; }
    // The library's widget, nullptr when the library could not be loaded.
    QWidget* plot() const { return plot_; }

private:
    plot::PlotLibrary library_;
    QWidget* plot_ = nullptr;
};

} // namespace tq::ui
