#pragma once
// Finding and starting the system-information tool through the registry.

#include "ui/about/Registry.h"

#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace tq::ui {

inline constexpr std::string_view kSysInfoPathKey = R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)";
inline constexpr std::string_view kSysInfoPathValue = "PATH";
inline constexpr std::string_view kSysInfoFolderKey = R"(SOFTWARE\Microsoft\Shared Tools Location)";
inline constexpr std::string_view kSysInfoFolderValue = "MSINFO";
inline constexpr std::string_view kSysInfoProgram = "MSINFO32.EXE";
inline constexpr std::uint32_t kRegBufferSize = 1024;

// Starts a program detached; true when it was started.
using ProgramLauncher = std::function<bool(const QString& program)>;

// Reads value `SubKeyRef` of key `KeyName` under `KeyRoot`. True when it was read: a text
// value gives its text (without a terminating NUL), a 32-bit number its signed decimal text,
// any other type leaves `KeyVal` as it was. False, with `KeyVal` empty, when the key cannot
// be opened or the value not read (missing, or over 1024 bytes). The key is always closed.
bool GetKeyValue(Registry& registry, RegKey KeyRoot, std::string_view KeyName,
                 std::string_view SubKeyRef, std::string& KeyVal);

// Starts the tool named by the "PATH" value, else the one in the "MSINFO" folder if that
// file exists; when there is none, or it fails to start, shows "System Information Is
// Unavailable At This Time" in a message box titled `title`, modal to `parent`.
void StartSysInfo(Registry& registry, const ProgramLauncher& launch, QWidget* parent,
                  const QString& title);

// Starts `program` with QProcess::startDetached, without arguments.
bool startDetachedProgram(const QString& program);

} // namespace tq::ui
