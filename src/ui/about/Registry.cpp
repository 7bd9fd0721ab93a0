#include "ui/about/Registry.h"

#include <QStandardPaths>
#include <algorithm>

namespace tq::ui {

void MemoryRegistry::setValue(RegKey root, std::string_view path, std::string_view name,
                              std::uint32_t type, std::vector<char> bytes) {
    keys_[{root, std::string(path)}][std::string(name)] = Value{type, std::move(bytes)};
}

void MemoryRegistry::setText(RegKey root, std::string_view path, std::string_view name,
                             std::string_view text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    setValue(root, path, name, kRegText, std::move(bytes));
}

void MemoryRegistry::setNumber(RegKey root, std::string_view path, std::string_view name,
                               std::int32_t number) {
    const auto bits = static_cast<std::uint32_t>(number);
    std::vector<char> bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
    setValue(root, path, name, kRegNumber, std::move(bytes));
}

RegStatus MemoryRegistry::openKey(RegKey root, std::string_view path, std::uint32_t /*options*/,
                                  std::uint32_t /*access*/, RegKey& key) {
    KeyId id{root, std::string(path)};
    if (!keys_.contains(id)) return kRegFileNotFound;
    key = nextHandle_++;
    open_.emplace(key, std::move(id));
    return kRegSuccess;
}

RegStatus MemoryRegistry::queryValue(RegKey key, std::string_view name, std::uint32_t& type,
                                     std::span<char> buffer, std::uint32_t& byteCount) {
    const auto handle = open_.find(key);
    if (handle == open_.end()) return kRegInvalidHandle;
    const Values& values = keys_.at(handle->second);
    const auto found = values.find(name);
    if (found == values.end()) return kRegFileNotFound;
    const Value& value = found->second;
    const auto usable = std::min<std::size_t>(byteCount, buffer.size());
    byteCount = static_cast<std::uint32_t>(value.bytes.size());
    if (value.bytes.size() > usable) return kRegMoreData;
    type = value.type;
    std::ranges::copy(value.bytes, buffer.begin());
    return kRegSuccess;
}

RegStatus MemoryRegistry::closeKey(RegKey key) {
    return open_.erase(key) == 1 ? kRegSuccess : kRegInvalidHandle;
}

MemoryRegistry systemRegistry(const QStringList& searchPaths) {
    MemoryRegistry registry;
    for (const std::string_view tool : kSystemInfoTools) {
        const QString path = QStandardPaths::findExecutable(
            QString::fromLatin1(tool.data(), static_cast<qsizetype>(tool.size())), searchPaths);
        if (!path.isEmpty()) {
            registry.setText(kHKeyLocalMachine, R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)", "PATH",
                             path.toLocal8Bit().toStdString());
            break;
        }
    }
    return registry;
}

} // namespace tq::ui
