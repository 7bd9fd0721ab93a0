#pragma once
// A two-state switch: False shows the first caption, True the second. Change() is raised
// only when the user switches it (mouse or keyboard); setValue() from code is silent, so
// code that sets a state does its own flag and register updates.

#include <QAbstractButton>
#include <QString>

namespace tq::ui {

class Toggle : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool value READ value WRITE setValue)

public:
    explicit Toggle(QString falseCaption, QString trueCaption, QWidget* parent = nullptr);

    bool value() const { return isChecked(); }
    // Silent: Change() is not raised.
    void setValue(bool on) { setChecked(on); }

    QString falseCaption() const { return falseCaption_; }
    QString trueCaption() const { return trueCaption_; }
    // The caption of the present state.
    QString caption() const { return value() ? trueCaption_ : falseCaption_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // The user changed the state; value() already holds the new one.
    void Change();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString falseCaption_;
    QString trueCaption_;
};

} // namespace tq::ui
