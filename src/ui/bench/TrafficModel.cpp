#include "ui/bench/TrafficModel.h"

#include "board/TransferWords.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFont>

#include <algorithm>

namespace tq::ui {

namespace {
constexpr int kUpdateMs = 200;
}

TrafficModel::TrafficModel(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<std::size_t>(capacity, 1)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kUpdateMs);
    connect(&timer_, &QTimer::timeout, this, &TrafficModel::update);
}

void TrafficModel::append(const board::Transfer& t) {
    pending_.push_back({next_++, QDateTime::currentMSecsSinceEpoch(), t});
    if (pending_.size() > capacity_) pending_.pop_front();
    if (!timer_.isActive()) timer_.start();
}

void TrafficModel::update() {
    if (pending_.empty()) return;
    const std::size_t incoming = pending_.size();
    // Make room first: the oldest rows leave from the top.
    const std::size_t overflow = size_ + incoming > capacity_ ? size_ + incoming - capacity_ : 0;
    if (const std::size_t dropped = std::min(overflow, size_); dropped > 0) {
        beginRemoveRows({}, 0, static_cast<int>(dropped) - 1);
        if (ring_.size() == capacity_)
            head_ = (head_ + dropped) % capacity_;
        else
            ring_.erase(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(dropped));
        size_ -= dropped;
        endRemoveRows();
    }
    beginInsertRows({}, static_cast<int>(size_), static_cast<int>(size_ + incoming) - 1);
    for (Entry& e : pending_) {
        if (ring_.size() < capacity_)
            ring_.push_back(std::move(e));
        else
            ring_[(head_ + size_) % capacity_] = std::move(e);
        ++size_;
    }
    pending_.clear();
    endInsertRows();
}

void TrafficModel::clear() {
    beginResetModel();
    ring_.clear();
    head_ = size_ = 0;
    pending_.clear();
    endResetModel();
}

const TrafficModel::Entry& TrafficModel::entry(int row) const {
    return ring_[(head_ + static_cast<std::size_t>(row)) % ring_.size()];
}

QStringList TrafficModel::headers() {
    return {QStringLiteral("#"), QStringLiteral("Time"), QStringLiteral("Request"),
            QStringLiteral("Raw"), QStringLiteral("Status")};
}

QStringList TrafficModel::rowTexts(int row) const {
    QStringList texts;
    for (int column = 0; column < ColumnCount; ++column)
        texts << cellText(row, column);
    return texts;
}

QString TrafficModel::cellText(int row, int column) const {
    // One column at a time: the view asks for every cell it paints.
    const Entry& e = entry(row);
    switch (column) {
    case Number:
        return QString::number(e.number);
    case Time:
        return QDateTime::fromMSecsSinceEpoch(e.msecsSinceEpoch)
            .time()
            .toString(QStringLiteral("HH:mm:ss.zzz"));
    case Request:
        return board::TransferWords(e.transfer);
    case Raw:
        return board::TransferRaw(e.transfer);
    case Status:
        return board::TransferStatusWords(e.transfer);
    default:
        return {};
    }
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(size_);
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(size_)) return {};
    const Entry& e = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(index.row(), index.column());
    case Qt::ForegroundRole:
        if (!e.transfer.succeeded()) return QBrush(QColor(0xC0, 0x00, 0x00));
        return {};
    case Qt::FontRole:
        if (!e.transfer.succeeded() && index.column() == Status) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == Number) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return headers().value(section);
}

} // namespace tq::ui
