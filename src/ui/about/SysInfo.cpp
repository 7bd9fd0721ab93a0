#include "ui/about/SysInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <algorithm>
#include <array>
#include <exception>

namespace tq::ui {

bool GetKeyValue(Registry& registry, RegKey KeyRoot, std::string_view KeyName,
                 std::string_view SubKeyRef, std::string& KeyVal) {
    RegKey key = 0;
    if (registry.openKey(KeyRoot, KeyName, 0, kKeyAllAccess, key) != kRegSuccess) {
        KeyVal.clear();
        return false;
    }

    std::array<char, kRegBufferSize> buffer{};
    std::uint32_t type = 0;
    std::uint32_t count = kRegBufferSize;
    const RegStatus status = registry.queryValue(key, SubKeyRef, type, buffer, count);
    if (status != kRegSuccess) {
        registry.closeKey(key); // never leave the key open on a failed read
        KeyVal.clear();
        return false;
    }

    std::string_view data(buffer.data(), std::min(count, kRegBufferSize));
    if (!data.empty() && data.back() == '\0') data.remove_suffix(1);

    if (type == kRegText) {
        KeyVal.assign(data);
    } else if (type == kRegNumber) {
        // A short number value reads as if padded with the buffer's zero bytes.
        std::uint32_t bits = 0;
        for (int i = 3; i >= 0; --i)
            bits = (bits << 8) | static_cast<unsigned char>(buffer[static_cast<std::size_t>(i)]);
        KeyVal = std::to_string(static_cast<std::int32_t>(bits));
    }

    registry.closeKey(key);
    return true;
}

namespace {

QString fromSystemText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString toolPath(Registry& registry) {
    std::string value;
    if (GetKeyValue(registry, kHKeyLocalMachine, kSysInfoPathKey, kSysInfoPathValue, value))
        return fromSystemText(value); // trusted as it stands: no existence test
    if (GetKeyValue(registry, kHKeyLocalMachine, kSysInfoFolderKey, kSysInfoFolderValue, value)) {
        const QString file = fromSystemText(value) + QDir::separator() +
                             QString::fromLatin1(kSysInfoProgram.data(),
                                                 static_cast<qsizetype>(kSysInfoProgram.size()));
        if (QFileInfo::exists(file)) return file;
    }
    return {};
}

} // namespace

void StartSysInfo(Registry& registry, const ProgramLauncher& launch, QWidget* parent,
                  const QString& title) {
    try {
        const QString path = toolPath(registry);
        if (!path.isEmpty() && launch(path)) return;
    } catch (const std::exception&) {
        // Any failure on the way ends in the same message.
    }
    QMessageBox box(QMessageBox::NoIcon, title,
                    QStringLiteral("System Information Is Unavailable At This Time"),
                    QMessageBox::Ok, parent);
    box.exec();
}

bool startDetachedProgram(const QString& program) {
    return QProcess::startDetached(program, {});
}

} // namespace tq::ui
