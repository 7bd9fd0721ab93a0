#pragma once
// Reading a file a user named (a board set-up, a batch script) without trusting what it is:
// a link to /dev/zero never ends, a FIFO without a writer never answers, and a huge file
// must not be taken into memory before it is refused.

#include "bench/Outcome.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace tq::bench {

// The whole of `path` if it is a regular file (a link to one is fine) of at most `limit`
// bytes. Never blocks on a FIFO or device and never reads more than `limit` + 1 bytes. A
// refusal is a Usage error naming the file and the reason.
Outcome<QByteArray> ReadInputFile(const QString& path, qint64 limit);

// All of standard input up to `limit` bytes (a pipe or terminal is fine there: the user chose
// it); more than that is refused, naming standard input.
Outcome<QByteArray> ReadStandardInput(qint64 limit);

// A line or field of such a file without the blanks and tabs around it, nor the carriage
// return a file written on another system leaves at its end.
std::string_view Trimmed(std::string_view text);

} // namespace tq::bench
