#pragma once
// Where tq5802ctl's results go: lines of text for people, or one JSON object per command
// (JSON Lines) with --json. Standard output is buffered and written in large blocks, so a
// long batch is not held up by its own output; messages for people go to standard error,
// after everything written before them.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <string_view>

namespace tq::cli {

class Output {
public:
    enum class Format { Text, JsonLines };
    explicit Output(Format format, std::FILE* out = stdout, std::FILE* err = stderr);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool json() const { return format_ == Format::JsonLines; }
    // One line of text on standard output (the line feed is added).
    void line(std::string_view text);
    void line(const QString& text);
    // One compact JSON object and a line feed on standard output.
    void object(const QJsonObject& object);
    // One line on standard error.
    void message(const QString& text);
    void flush();

private:
    void append(std::string_view bytes);

    Format format_;
    std::FILE* out_;
    std::FILE* err_;
    QByteArray buffer_;
};

} // namespace tq::cli
