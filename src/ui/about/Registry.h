#pragma once
// A small registry of keys and typed values, with the open/query/close calls of the
// Windows registry API, so that the system-information lookup reads the same on every
// platform. MemoryRegistry holds keys in memory; systemRegistry() describes this system.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <QStringList>

namespace tq::ui {

using RegKey = std::uintptr_t;
using RegStatus = std::int32_t;

inline constexpr RegKey kHKeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t kKeyAllAccess = 0x2003F;
inline constexpr std::uint32_t kRegText = 1;   // REG_SZ
inline constexpr std::uint32_t kRegNumber = 4; // REG_DWORD, little-endian

inline constexpr RegStatus kRegSuccess = 0;
inline constexpr RegStatus kRegFileNotFound = 2;
inline constexpr RegStatus kRegInvalidHandle = 6;
inline constexpr RegStatus kRegMoreData = 234;

class Registry {
public:
    virtual ~Registry() = default;

    // Opens `path` under `root`; on success `key` is a handle to close with closeKey().
    virtual RegStatus openKey(RegKey root, std::string_view path, std::uint32_t options,
                              std::uint32_t access, RegKey& key) = 0;
    // Copies value `name` of an open key into `buffer`. On entry `byteCount` is the usable
    // size of `buffer`; on success it is the number of bytes stored and `type` the value's
    // type. A value larger than the buffer gives kRegMoreData with `byteCount` its size.
    virtual RegStatus queryValue(RegKey key, std::string_view name, std::uint32_t& type,
                                 std::span<char> buffer, std::uint32_t& byteCount) = 0;
    virtual RegStatus closeKey(RegKey key) = 0;
};

class MemoryRegistry final : public Registry {
public:
    // Stores raw bytes exactly as given (creating the key if needed).
    void setValue(RegKey root, std::string_view path, std::string_view name, std::uint32_t type,
                  std::vector<char> bytes);
    // A text value stored the usual way: its bytes followed by a terminating NUL.
    void setText(RegKey root, std::string_view path, std::string_view name, std::string_view text);
    // A 32-bit number stored as four little-endian bytes.
    void setNumber(RegKey root, std::string_view path, std::string_view name, std::int32_t number);

    // Handles opened and not yet closed.
    std::size_t openKeyCount() const { return open_.size(); }

    RegStatus openKey(RegKey root, std::string_view path, std::uint32_t options,
                      std::uint32_t access, RegKey& key) override;
    RegStatus queryValue(RegKey key, std::string_view name, std::uint32_t& type,
                         std::span<char> buffer, std::uint32_t& byteCount) override;
    RegStatus closeKey(RegKey key) override;

private:
    struct Value {
        std::uint32_t type = 0;
        std::vector<char> bytes;
    };
    using Values = std::map<std::string, Value, std::less<>>;
    using KeyId = std::pair<RegKey, std::string>;

    std::map<KeyId, Values> keys_;
    std::map<RegKey, KeyId> open_;
    RegKey nextHandle_ = 1;
};

// Programs that show this system's hardware and software, best first.
inline constexpr std::array<std::string_view, 4> kSystemInfoTools{"hardinfo", "hardinfo2",
                                                                  "kinfocenter", "lshw-gtk"};

// This system's registry as the system-information lookup sees it: under
// kHKeyLocalMachine, "SOFTWARE\Microsoft\Shared Tools\MSINFO" holds "PATH", the full path of
// the first of kSystemInfoTools found in `searchPaths` (the PATH when empty); without one the
// key is absent. There is no tool folder key ("Shared Tools Location").
MemoryRegistry systemRegistry(const QStringList& searchPaths = {});

} // namespace tq::ui
