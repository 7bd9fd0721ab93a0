#include "board/FirmwareSearch.h"

#include "board/BoardStart.h"
#include "board/driver_abi.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef TQ_PRIVATE_LIBDIR_FROM_BINDIR
#error "the build gives the private library folder's place relative to the programs' folder"
#endif

namespace tq::board {

namespace {

constexpr const char* kDataFolder = "tq5802";

QString fileIn(const QString& folder, const QString& name) {
    return QDir(folder).absoluteFilePath(name);
}

} // namespace

QString privateLibraryDir(const QString& programDir) {
    const QString installed =
        QDir::cleanPath(fileIn(programDir, QStringLiteral(TQ_PRIVATE_LIBDIR_FROM_BINDIR)));
    return QFileInfo(installed).isDir() ? installed : programDir;
}

QStringList firmwareFolders(const QString& programDir) {
    QStringList folders;
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << fileIn(data, QString::fromUtf8(kDataFolder));
    folders << programDir;
    return folders;
}

FirmwareLookup findFirmware(const QString& explicitPath, const QStringList& folders) {
    FirmwareLookup lookup;
    QStringList candidates;
    if (!explicitPath.isEmpty())
        candidates << QFileInfo(explicitPath).absoluteFilePath();
    else
        for (const QString& folder : folders)
            candidates << fileIn(folder, QString::fromUtf8(BoardStart::kFirmwareFile));
    for (const QString& file : candidates) {
        if (lookup.searched.contains(file)) continue;
        lookup.searched << file;
        lookup.path = file;
        // A folder of that name, or an unreadable file, is no image.
        const QFileInfo info(file);
        if (info.isFile() && info.isReadable()) {
            lookup.found = true;
            break;
        }
    }
    return lookup;
}

QString describeStartFailure(const FirmwareLookup& lookup, int16_t connectStatus,
                             int16_t loadStatus, const QString& driverReason) {
    QStringList lines;
    if (connectStatus == TQ_STATUS_NO_PERMISSION || loadStatus == TQ_STATUS_NO_PERMISSION) {
        lines << QStringLiteral(
            "No permission to open the board: install the udev rule 60-tq5802.rules (the "
            "package puts it in /usr/lib/udev/rules.d; from a build, copy "
            "packaging/linux/60-tq5802.rules to /etc/udev/rules.d), reload the rules with "
            "\"sudo udevadm control --reload-rules\" and plug the board in again.");
    } else if (!driverReason.isEmpty()) {
        // The driver stops at its first failure (no board comes before the image), so its
        // reason is the first cause, as a sentence.
        QString reason = driverReason;
        reason[0] = reason[0].toUpper();
        if (!reason.endsWith(QLatin1Char('.'))) reason += QLatin1Char('.');
        lines << reason;
    }
    if (!lookup.found) {
        lines << QStringLiteral("No readable firmware image was found. Places searched:");
        for (const QString& file : lookup.searched)
            lines << QStringLiteral("  ") + file;
        lines << QStringLiteral("Put the board maker's image in one of these places, or name it "
                                "with --firmware PATH.");
    } else if (lines.isEmpty()) {
        lines << QStringLiteral("The board was not found, or did not take the firmware image %1 "
                                "(driver status %2).")
                     .arg(lookup.path)
                     .arg(loadStatus);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace tq::board
