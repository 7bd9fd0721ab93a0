#include "cli/Options.h"

#include "board/USBStuff.h"

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
    }
    return kTransferFailed;
}

QString DefaultFirmwarePath() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') +
           QLatin1String(board::USBStuff::kFirmwareFile);
}

} // namespace tq::cli
