#pragma once
// A driver library loaded by path with QLibrary; each entry is resolved by name at its
// first call. A library or entry that cannot be loaded never crashes the program: the call
// returns kLoadFailure and the load-error handler is told what failed: the file (once) or,
// when the file loaded, each entry it lacks (once each); later calls fail quietly.

#include "board/DriverApi.h"

#include <QLibrary>
#include <QString>

#include <functional>
#include <memory>

namespace tq::board {

struct LoadError {
    enum class Kind {
        FileNotFound, // no file at the path
        NotLoadable,  // the file is there but is no library the loader takes
        EntryMissing, // the library loaded but lacks the entry
    };
    Kind kind = Kind::NotLoadable;
    QString file;   // the library's path
    QString entry;  // EntryMissing: the entry point the library lacks; else empty
    QString reason; // what the loader said
};

// The failure as the user is told it: the file's path, and the entry only when the library
// loaded but lacks it.
QString describe(const LoadError& error);

class DriverLibrary final : public DriverApi {
public:
    // Status every entry returns when the library or the entry could not be loaded.
    static constexpr int16_t kLoadFailure = -32768;

    explicit DriverLibrary(QString path);
    ~DriverLibrary() override;
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    void setLoadErrorHandler(std::function<void(const LoadError&)> handler);
    QString path() const;

    // Resolves an entry point that is not part of the driver ABI (for example the simulated
    // board's own extras); nullptr when the library or the entry is missing. Reports nothing.
    QFunctionPointer resolveOptional(const char* entry);

    int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count,
                              uint8_t* boardList) override;
    int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t* handle) override;
    int16_t Download_Firmware(int32_t handle, uint8_t* pathBytes) override;
    int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                           uint8_t direction, int32_t length, uint8_t* buffer) override;
    int16_t LoadFirmWare(uint8_t* pathBytes) override;
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override;
    // The optional extras: kCannotTell, and no report, when the library lacks them.
    int32_t Board_Attached(int32_t handle) override;
    int32_t Count_Boards(int32_t vendorId, int32_t productId) override;

    // Reports nothing when the library lacks the entry.
    std::string lastErrorText() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tq::board
