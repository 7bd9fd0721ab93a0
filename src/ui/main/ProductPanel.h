#pragma once
// Frame18: the product name and the maker's logo; no behaviour.

#include "ui/main/FormContext.h"

#include <QGroupBox>

class QLabel;

namespace tq::ui {

class ProductPanel : public QGroupBox {
    Q_OBJECT

public:
    ProductPanel(const Variant& variant, QWidget* parent);

    QLabel* LabelProduct; // the product name
    QLabel* QRVLogo;      // the logo, drawn at start
};

} // namespace tq::ui
