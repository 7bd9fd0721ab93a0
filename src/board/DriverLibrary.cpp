#include "board/DriverLibrary.h"

#include "board/driver_abi.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <utility>

namespace tq::board {

namespace {

enum Entry : std::size_t {
    kSearch,
    kConnect,
    kDownload,
    kVendorRequest,
    kLoadFirmWare,
    kVendorIORequest,
    kEntryCount
};

constexpr std::array<const char*, kEntryCount> kEntryNames = {
    "Search_For_Boards", "Connect",      "Download_Firmware",
    "Vendor_Request",    "LoadFirmWare", "VendorIORequest",
};

enum class Resolution { Pending, Resolved, Missing };

} // namespace

struct DriverLibrary::Impl {
    explicit Impl(QString p) : path(std::move(p)) {}

    QString path;
    QLibrary library;
    enum class LoadState { NotTried, Loaded, Failed } loadState = LoadState::NotTried;
    LoadError::Kind loadFailure = LoadError::Kind::NotLoadable;
    QString loadError;
    bool loadReported = false;
    std::array<QFunctionPointer, kEntryCount> entries{};
    std::array<Resolution, kEntryCount> resolution{};
    std::function<void(const LoadError&)> onError;

    void report(LoadError::Kind kind, const char* entry, const QString& reason) const {
        if (onError)
            onError(LoadError{kind, path, entry ? QString::fromLatin1(entry) : QString(), reason});
    }

    // Loads the library on first use. Only an absolute path is handed to the loader, so the
    // library is never looked for in the working directory or the system's search path.
    bool ensureLoaded() {
        if (loadState == LoadState::NotTried) {
            if (!QDir::isAbsolutePath(path)) {
                loadError = QStringLiteral("the driver library path is not absolute");
            } else if (!QFileInfo::exists(path)) {
                // The loader's own text would name the variants of the name it tried.
                loadFailure = LoadError::Kind::FileNotFound;
                loadError = QStringLiteral("no such file");
            } else {
                library.setFileName(path);
                if (!library.load()) loadError = library.errorString();
            }
            loadState = loadError.isEmpty() ? LoadState::Loaded : LoadState::Failed;
        }
        return loadState == LoadState::Loaded;
    }

    // The entry's address, resolved at its first call and kept. nullptr when it cannot be
    // had: a library that does not load is reported once, a missing entry once per entry.
    QFunctionPointer entry(Entry e) {
        if (resolution[e] == Resolution::Pending) {
            if (!ensureLoaded()) {
                resolution[e] = Resolution::Missing;
                if (!loadReported) report(loadFailure, nullptr, loadError);
                loadReported = true;
                return nullptr;
            }
            entries[e] = library.resolve(kEntryNames[e]);
            resolution[e] = entries[e] ? Resolution::Resolved : Resolution::Missing;
            if (!entries[e])
                report(LoadError::Kind::EntryMissing, kEntryNames[e], library.errorString());
        }
        return entries[e];
    }

    template <typename Fn, typename... Args> int16_t call(Entry e, Args... args) {
        const QFunctionPointer f = entry(e);
        if (!f) return kLoadFailure;
        return reinterpret_cast<Fn>(f)(args...);
    }
};

QString describe(const LoadError& error) {
    switch (error.kind) {
    case LoadError::Kind::FileNotFound:
        return QStringLiteral("The driver library %1 was not found.").arg(error.file);
    case LoadError::Kind::NotLoadable:
        return QStringLiteral("The driver library %1 could not be loaded:\n%2")
            .arg(error.file, error.reason);
    case LoadError::Kind::EntryMissing:
        return QStringLiteral("The driver library %1 has no entry \"%2\".")
            .arg(error.file, error.entry);
    }
    return error.reason;
}

DriverLibrary::DriverLibrary(QString path) : impl_(std::make_unique<Impl>(std::move(path))) {}

// The library stays loaded: entry addresses handed out earlier must stay valid.
DriverLibrary::~DriverLibrary() = default;

void DriverLibrary::setLoadErrorHandler(std::function<void(const LoadError&)> handler) {
    impl_->onError = std::move(handler);
}

QString DriverLibrary::path() const {
    return impl_->path;
}

QFunctionPointer DriverLibrary::resolveOptional(const char* entry) {
    if (!impl_->ensureLoaded()) return nullptr;
    return impl_->library.resolve(entry);
}

int16_t DriverLibrary::Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count,
                                         uint8_t* boardList) {
    return impl_->call<Search_For_Boards_fn>(kSearch, vendorId, productId, count, boardList);
}

int16_t DriverLibrary::Connect(int32_t vendorId, int32_t productId, uint8_t board,
                               int32_t* handle) {
    return impl_->call<Connect_fn>(kConnect, vendorId, productId, board, handle);
}

int16_t DriverLibrary::Download_Firmware(int32_t handle, uint8_t* pathBytes) {
    return impl_->call<Download_Firmware_fn>(kDownload, handle, pathBytes);
}

int16_t DriverLibrary::Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                                      uint8_t direction, int32_t length, uint8_t* buffer) {
    return impl_->call<Vendor_Request_fn>(kVendorRequest, handle, request, value, index, direction,
                                          length, buffer);
}

int16_t DriverLibrary::LoadFirmWare(uint8_t* pathBytes) {
    return impl_->call<LoadFirmWare_fn>(kLoadFirmWare, pathBytes);
}

int16_t DriverLibrary::VendorIORequest(int16_t request, int32_t value, int32_t index,
                                       int16_t direction, int16_t length, uint8_t* buffer) {
    return impl_->call<VendorIORequest_fn>(kVendorIORequest, request, value, index, direction,
                                           length, buffer);
}

int32_t DriverLibrary::Board_Attached(int32_t handle) {
    const auto f = reinterpret_cast<Board_Attached_fn>(resolveOptional("Board_Attached"));
    return f ? f(handle) : kCannotTell;
}

int32_t DriverLibrary::Count_Boards(int32_t vendorId, int32_t productId) {
    const auto f = reinterpret_cast<Count_Boards_fn>(resolveOptional("Count_Boards"));
    return f ? f(vendorId, productId) : kCannotTell;
}

std::string DriverLibrary::lastErrorText() {
    const auto text = reinterpret_cast<Last_Error_Text_fn>(resolveOptional("Last_Error_Text"));
    if (!text) return {};
    std::string out(256, '\0');
    int32_t length = text(reinterpret_cast<uint8_t*>(out.data()), static_cast<int32_t>(out.size()));
    if (length >= static_cast<int32_t>(out.size())) {
        out.resize(static_cast<std::size_t>(length) + 1);
        length = text(reinterpret_cast<uint8_t*>(out.data()), static_cast<int32_t>(out.size()));
    }
    out.resize(static_cast<std::size_t>(
        std::clamp<int32_t>(length, 0, static_cast<int32_t>(out.size()) - 1)));
    return out;
}

} // namespace tq::board
