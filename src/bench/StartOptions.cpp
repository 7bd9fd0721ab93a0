#include "bench/StartOptions.h"

#include <QFileInfo>

namespace tq::bench {

QString LibraryFileName(std::string_view name) {
#if defined(Q_OS_WIN)
    return QString::fromUtf8(name) + QStringLiteral(".dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("lib") + QString::fromUtf8(name) + QStringLiteral(".dylib");
#else
    return QStringLiteral("lib") + QString::fromUtf8(name) + QStringLiteral(".so");
#endif
}

StartOptions::StartOptions()
    : simulate(QStringLiteral("simulate"),
               QStringLiteral("Run on the simulated board (%1 in the program's library folder).")
                   .arg(LibraryFileName(kSimulatorLibrary))),
      driver(QStringLiteral("driver"), QStringLiteral("Load the board driver library at <path>."),
             QStringLiteral("path")),
      firmware(QStringLiteral("firmware"),
               QStringLiteral("Load the board's firmware image from <path> instead of searching "
                              "the data folders and the program's folder."),
               QStringLiteral("path")) {}

void StartOptions::addTo(QCommandLineParser& parser) const {
    parser.addOption(simulate);
    parser.addOption(driver);
    parser.addOption(firmware);
}

Status StartOptions::check(const QCommandLineParser& parser) const {
    if (parser.isSet(simulate) && parser.isSet(driver))
        return UsageError("--simulate and --driver cannot be used together");
    return {};
}

Outcome<StartChoice> ResolveStart(const QCommandLineParser& parser, const StartOptions& options,
                                  Model model, const QString& programDir) {
    if (Status combined = options.check(parser); !combined) return combined.error();
    const QString libraryDir = board::privateLibraryDir(programDir);
    StartChoice choice;
    choice.simulated = parser.isSet(options.simulate);
    QString description;
    if (choice.simulated) {
        choice.driverPath = libraryDir + QLatin1Char('/') + LibraryFileName(kSimulatorLibrary);
        description = QStringLiteral("Simulated board (%1)");
    } else if (parser.isSet(options.driver)) {
        choice.driverPath = QFileInfo(parser.value(options.driver)).absoluteFilePath();
        description = QStringLiteral("Driver: %1");
    } else {
        choice.driverPath =
            libraryDir + QLatin1Char('/') + LibraryFileName(Info(model).driverLibrary);
        description = QStringLiteral("USB board (%1)");
    }
    choice.description = description.arg(QFileInfo(choice.driverPath).fileName());
    // The simulator's own image lies with its library; a real board's is searched for.
    choice.firmware = board::findFirmware(parser.value(options.firmware),
                                          choice.simulated ? QStringList{libraryDir}
                                                           : board::firmwareFolders(programDir));
    return choice;
}

} // namespace tq::bench
