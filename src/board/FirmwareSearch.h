#pragma once
// Where a program finds its files once installed: the private library folder (driver
// libraries, the simulator's image) and the real board's firmware image.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace tq::board {

// The folder holding the driver libraries and the simulator's image of a program that lives
// in programDir: the private library folder at its installed place relative to programDir
// when that folder exists, else programDir itself (a build tree). Never the working
// directory nor the library search path.
QString privateLibraryDir(const QString& programDir);

// The folders searched for the real board's image, in order: the user's data folder, the
// system data folders (each with "tq5802" appended), then programDir.
QStringList firmwareFolders(const QString& programDir);

struct FirmwareLookup {
    bool found = false;
    // The image to hand to the driver: the one found, else the last place searched (a
    // driver library that needs no image still gets a path).
    QString path;
    // Every file looked for, in order, as absolute paths.
    QStringList searched;
};

// An explicit path (made absolute against the working directory) is the only candidate when
// given; otherwise the first of folders holding the image file wins. Only the file system is
// read, so the order can be tested with folders of one's own.
FirmwareLookup findFirmware(const QString& explicitPath, const QStringList& folders);

// The lines shown below "Error Downloading Firmware - Check USB connections": why the start
// failed as far as can be told (no image, no permission to open the board, or the driver's
// statuses) and the places searched. connectStatus and loadStatus are the driver's answers
// to Connect (0 when not called) and to the firmware load; driverReason is the driver's own
// text for its first failure (Last_Error_Text): when not empty it comes first, in place of
// the bare statuses, and a missing image is told after it.
QString describeStartFailure(const FirmwareLookup& lookup, int16_t connectStatus,
                             int16_t loadStatus, const QString& driverReason = {});

} // namespace tq::board
