#include "board/DriverLibrary.h"

#include "board/driver_abi.h"

#include <QDir>

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
    QString loadError;
    bool loadReported = false;
    std::array<QFunctionPointer, kEntryCount> entries{};
    std::array<Resolution, kEntryCount> resolution{};
    std::function<void(const LoadError&)> onError;

    void report(const char* entry, const QString& reason) const {
        if (onError) onError(LoadError{path, QString::fromLatin1(entry), reason});
    }

    // Loads the library on first use. Only an absolute path is handed to the loader, so the
    // library is never looked for in the working directory or the system's search path.
    bool ensureLoaded() {
        if (loadState == LoadState::NotTried) {
            if (!QDir::isAbsolutePath(path)) {
                loadError = QStringLiteral("the driver library path is not absolute");
            } else {
                library.setFileName(path);
                if (!library.load()) loadError = library.errorString();
            }
            loadState = loadError.isEmpty() ? LoadState::Loaded : LoadState::Failed;
        }
        return loadState == LoadState::Loaded;
    }

    // The entry's address, resolved at its first call and kept. nullptr when it cannot be
    // had: a library that does not load is reported once (with the first entry wanted), a
    // missing entry once per entry.
    QFunctionPointer entry(Entry e) {
        if (resolution[e] == Resolution::Pending) {
            if (!ensureLoaded()) {
                resolution[e] = Resolution::Missing;
                if (!loadReported) report(kEntryNames[e], loadError);
                loadReported = true;
                return nullptr;
            }
            entries[e] = library.resolve(kEntryNames[e]);
            resolution[e] = entries[e] ? Resolution::Resolved : Resolution::Missing;
            if (!entries[e]) report(kEntryNames[e], library.errorString());
        }
        return entries[e];
    }

    template <typename Fn, typename... Args> int16_t call(Entry e, Args... args) {
        const QFunctionPointer f = entry(e);
        if (!f) return kLoadFailure;
        return reinterpret_cast<Fn>(f)(args...);
    }
};

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

} // namespace tq::board
