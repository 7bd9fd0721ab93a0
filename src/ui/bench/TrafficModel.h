#pragma once
// Every transfer with the board since start, newest last, as rows of a table: number, time,
// the request in words, the raw request and the status. Appending is cheap (a copy into a
// queue); the rows follow at most a few times a second, and only the newest kCapacity
// transfers are kept.

#include "board/BoardLink.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <vector>

namespace tq::ui {

class TrafficModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr std::size_t kCapacity = 100000;
    enum Column { Number, Time, Request, Raw, Status, ColumnCount };

    struct Entry {
        uint64_t number = 0; // 1 for the first transfer since start
        qint64 msecsSinceEpoch = 0;
        board::Transfer transfer;
    };

    explicit TrafficModel(std::size_t capacity = kCapacity, QObject* parent = nullptr);

    // Queues a transfer; the rows take it at the next update.
    void append(const board::Transfer& t);
    // Brings the rows up to date now (the timer does this a few times a second).
    void update();
    // Drops every row and every queued transfer; numbering goes on.
    void clear();

    const Entry& entry(int row) const;
    // One row's cells as text, in column order.
    QStringList rowTexts(int row) const;
    // One cell's text, as rowTexts gives it.
    QString cellText(int row, int column) const;
    static QStringList headers();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::size_t capacity_;
    std::vector<Entry> ring_; // rows: ring_[(head_ + row) % capacity_]
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::deque<Entry> pending_;
    uint64_t next_ = 1;
    QTimer timer_;
};

} // namespace tq::ui
