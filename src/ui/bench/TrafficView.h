#pragma once
// The "USB Traffic" dock: every transfer with the board since start, in words and in numbers,
// newest last; failed ones stand out. Filter by request kind, pause, clear, copy and save to
// a text or CSV file.

#include "board/BoardLink.h"
#include "ui/bench/TrafficModel.h"

#include <QDockWidget>
#include <QSortFilterProxyModel>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace tq::ui {

// Rows of one request kind, or only failed ones.
class TrafficFilter final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    enum class Show {
        All,
        RegisterWrites,
        RegisterReads,
        ControlLines,
        WordReads,
        PinDrives,
        Failed
    };
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setShow(Show show);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    Show show_ = Show::All;
};

class TrafficView final : public QDockWidget {
    Q_OBJECT

public:
    // Lists every transfer of `declare` from now on. The dock starts hidden.
    TrafficView(board::BoardLink& declare, QWidget* parent);

    TrafficModel& model() { return *model_; }
    TrafficFilter& filter() { return *filter_; }

    // The rows the list shows (after the filter), as text: tab-separated columns, or CSV
    // with a header line.
    QString shownText(bool csv) const;
    // Writes shownText to `path` (CSV when it ends in ".csv"); false with `error` set when
    // the file cannot be written.
    bool saveTo(const QString& path, QString* error) const;

    QComboBox* ShowCombo;
    QPushButton* PauseButton;
    QPushButton* ClearButton;
    QPushButton* CopyButton;
    QPushButton* SaveButton;
    QLabel* CountLabel;
    QTreeView* List;

    void CopyButton_Click();
    void SaveButton_Click();

private:
    void onTransfer(const board::Transfer& t);
    void showCount();

    TrafficModel* model_;
    TrafficFilter* filter_;
    uint64_t skipped_ = 0; // transfers not listed while paused
};

} // namespace tq::ui
