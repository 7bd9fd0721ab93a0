#include "cli/Output.h"

#include <QJsonDocument>

namespace tq::cli {

namespace {
constexpr qsizetype kFlushAt = 64 * 1024;
} // namespace

Output::Output(Format format, std::FILE* out, std::FILE* err)
    : format_(format), out_(out), err_(err) {
    buffer_.reserve(kFlushAt + 4096);
}

Output::~Output() {
    flush();
}

void Output::append(std::string_view bytes) {
    buffer_.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (buffer_.size() >= kFlushAt) flush();
}

void Output::line(std::string_view text) {
    buffer_.append(text.data(), static_cast<qsizetype>(text.size()));
    append("\n");
}

void Output::line(const QString& text) {
    buffer_.append(text.toUtf8());
    append("\n");
}

void Output::object(const QJsonObject& object) {
    buffer_.append(QJsonDocument(object).toJson(QJsonDocument::Compact));
    append("\n");
}

void Output::message(const QString& text) {
    flush();
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), err_);
    std::fflush(err_);
}

void Output::flush() {
    if (!buffer_.isEmpty())
        std::fwrite(buffer_.constData(), 1, static_cast<std::size_t>(buffer_.size()), out_);
    buffer_.clear();
    std::fflush(out_);
}

} // namespace tq::cli
