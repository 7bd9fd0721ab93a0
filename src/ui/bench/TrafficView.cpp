#include "ui/bench/TrafficView.h"

#include "board/TransferWords.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

namespace tq::ui {

namespace {

QString csvField(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString line(const QStringList& cells, bool csv) {
    if (!csv) return cells.join(QLatin1Char('\t'));
    QStringList fields;
    for (const QString& c : cells)
        fields << csvField(c);
    return fields.join(QLatin1Char(','));
}

} // namespace

void TrafficFilter::setShow(Show show) {
    show_ = show;
    invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    using board::TransferKind;
    const auto& t = static_cast<const TrafficModel*>(sourceModel())->entry(sourceRow).transfer;
    switch (show_) {
    case Show::All:
        return true;
    case Show::Failed:
        return !t.succeeded();
    case Show::RegisterWrites:
        return board::KindOf(t) == TransferKind::RegisterWrite;
    case Show::RegisterReads:
        return board::KindOf(t) == TransferKind::RegisterRead;
    case Show::ControlLines:
        return board::KindOf(t) == TransferKind::ControlLines;
    case Show::WordReads:
        return board::KindOf(t) == TransferKind::WordRead;
    case Show::PinDrives:
        return board::KindOf(t) == TransferKind::PinDrive;
    }
    return true;
}

TrafficView::TrafficView(board::BoardLink& declare, QWidget* parent)
    : QDockWidget(QStringLiteral("USB Traffic"), parent),
      model_(new TrafficModel(TrafficModel::kCapacity, this)), filter_(new TrafficFilter(this)) {
    setObjectName(QStringLiteral("TrafficView"));
    filter_->setSourceModel(model_);

    auto* body = new QWidget(this);
    ShowCombo = new QComboBox(body);
    ShowCombo->setObjectName(QStringLiteral("ShowCombo"));
    ShowCombo->setAccessibleName(QStringLiteral("Show requests"));
    for (const auto& [text, show] :
         {std::pair{"All requests", TrafficFilter::Show::All},
          std::pair{"Register writes", TrafficFilter::Show::RegisterWrites},
          std::pair{"Register reads", TrafficFilter::Show::RegisterReads},
          std::pair{"Control lines", TrafficFilter::Show::ControlLines},
          std::pair{"2-byte reads", TrafficFilter::Show::WordReads},
          std::pair{"Pin drives", TrafficFilter::Show::PinDrives},
          std::pair{"Failed only", TrafficFilter::Show::Failed}})
        ShowCombo->addItem(QString::fromLatin1(text), static_cast<int>(show));
    PauseButton = new QPushButton(QStringLiteral("Pause"), body);
    PauseButton->setObjectName(QStringLiteral("PauseButton"));
    PauseButton->setCheckable(true);
    PauseButton->setToolTip(QStringLiteral("Stop listing new transfers until pressed again"));
    ClearButton = new QPushButton(QStringLiteral("Clear"), body);
    ClearButton->setObjectName(QStringLiteral("ClearButton"));
    CopyButton = new QPushButton(QStringLiteral("Copy"), body);
    CopyButton->setObjectName(QStringLiteral("CopyButton"));
    CopyButton->setToolTip(QStringLiteral("Copy the selected rows, or all shown rows"));
    SaveButton = new QPushButton(QStringLiteral("Save..."), body);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    CountLabel = new QLabel(body);
    CountLabel->setObjectName(QStringLiteral("CountLabel"));

    List = new QTreeView(body);
    List->setObjectName(QStringLiteral("TrafficList"));
    List->setAccessibleName(QStringLiteral("USB transfers"));
    List->setModel(filter_);
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(true); // keeps 100,000 rows cheap to scroll
    List->setAlternatingRowColors(true);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Room for the longest texts of each column, and a little for the cell margins.
    const QFontMetrics fm(List->font());
    const auto widthOf = [&fm](const char* sample) {
        return fm.horizontalAdvance(QString::fromLatin1(sample)) + 2 * fm.averageCharWidth();
    };
    List->header()->resizeSection(TrafficModel::Number, widthOf("0000000"));
    List->header()->resizeSection(TrafficModel::Time, widthOf("00:00:00.000"));
    List->header()->resizeSection(
        TrafficModel::Request,
        widthOf("control lines LDAC high, CLR high, binary, RSTIN high, drive D1 low, D0 low"));
    List->header()->resizeSection(TrafficModel::Raw,
                                  widthOf("0xDD value 0x0081 index 0x0000 in length 3: 00 00 00"));

    auto* tools = new QHBoxLayout;
    tools->addWidget(ShowCombo);
    tools->addWidget(PauseButton);
    tools->addWidget(ClearButton);
    tools->addWidget(CopyButton);
    tools->addWidget(SaveButton);
    tools->addStretch(1);
    tools->addWidget(CountLabel);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(4, 4, 4, 4);
    column->addLayout(tools);
    column->addWidget(List, 1);
    setWidget(body);

    connect(ShowCombo, &QComboBox::activated, this, [this] {
        filter_->setShow(static_cast<TrafficFilter::Show>(ShowCombo->currentData().toInt()));
        showCount();
    });
    connect(PauseButton, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused) skipped_ = 0;
        showCount();
    });
    connect(ClearButton, &QPushButton::clicked, this, [this] {
        model_->clear();
        showCount();
    });
    connect(CopyButton, &QPushButton::clicked, this, [this] { CopyButton_Click(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveButton_Click(); });
    auto* copy = new QShortcut(QKeySequence::Copy, List, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, [this] { CopyButton_Click(); });

    // Newest last: a list scrolled to its end follows the new rows, one scrolled back stays.
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = List->verticalScrollBar();
        List->setProperty("follow", bar->value() >= bar->maximum());
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (List->property("follow").toBool()) List->scrollToBottom();
        showCount();
    });

    declare.addObserver([self = QPointer<TrafficView>(this)](const board::Transfer& t) {
        if (self) self->onTransfer(t);
    });
    showCount();
    hide();
}

void TrafficView::onTransfer(const board::Transfer& t) {
    if (PauseButton->isChecked()) {
        ++skipped_;
        return;
    }
    model_->append(t);
}

void TrafficView::showCount() {
    QString text =
        QStringLiteral("%1 of %2 transfers").arg(filter_->rowCount()).arg(model_->rowCount());
    if (PauseButton->isChecked()) text += QStringLiteral(" - paused, %1 not listed").arg(skipped_);
    CountLabel->setText(text);
}

QString TrafficView::shownText(bool csv) const {
    QStringList lines;
    if (csv) lines << line(TrafficModel::headers(), true);
    for (int row = 0; row < filter_->rowCount(); ++row)
        lines << line(model_->rowTexts(filter_->mapToSource(filter_->index(row, 0)).row()), csv);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool TrafficView::saveTo(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error) *error = file.errorString();
        return false;
    }
    file.write(shownText(path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)).toUtf8());
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

void TrafficView::CopyButton_Click() {
    const QModelIndexList rows = List->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        QApplication::clipboard()->setText(shownText(false));
        return;
    }
    QList<int> sourceRows;
    for (const QModelIndex& i : rows)
        sourceRows << filter_->mapToSource(i).row();
    std::sort(sourceRows.begin(), sourceRows.end());
    QStringList lines;
    for (const int row : sourceRows)
        lines << line(model_->rowTexts(row), false);
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void TrafficView::SaveButton_Click() {
    QString selected;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save USB Traffic"), QStringLiteral("usb-traffic.csv"),
        QStringLiteral("CSV files (*.csv);;Text files (*.txt)"), &selected);
    if (path.isEmpty()) return;
    if (QString error; !saveTo(path, &error))
        QMessageBox::warning(this, QStringLiteral("Save USB Traffic"),
                             QStringLiteral("Cannot write %1:\n%2").arg(path, error));
}

} // namespace tq::ui
