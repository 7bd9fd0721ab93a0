#include "cli/Options.h"

#include "board/FirmwareSearch.h"

#include <QCoreApplication>

namespace tq::cli {

int ExitCodeOf(bench::Error::Kind kind) {
    switch (kind) {
    case bench::Error::Kind::Usage:
        return kUsage;
    case bench::Error::Kind::NoBoard:
        return kNoBoard;
    case bench::Error::Kind::DriverLoad:
        return kDriverLoad;
    case bench::Error::Kind::Transfer:
        return kTransferFailed;
    case bench::Error::Kind::Meter:
        return kMeter;
    case bench::Error::Kind::Cancelled:
        return kCancelled;
    }
    return kTransferFailed;
}

QString DriverLibraryDir() {
    return board::privateLibraryDir(QCoreApplication::applicationDirPath());
}

QString FirmwarePath(const QString& explicitPath, bool simulated) {
    const QString programDir = QCoreApplication::applicationDirPath();
    return board::findFirmware(explicitPath, simulated ? QStringList{DriverLibraryDir()}
                                                       : board::firmwareFolders(programDir))
        .path;
}

} // namespace tq::cli
