#include "ui/main/Main.h"

#include "board/DriverLibrary.h"
#include "ui/main/MainForm.h"
#include "ui/simboard/SimBoardWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace tq::ui {

namespace {

constexpr const char* kSimulatorLibrary = "TQ5802Sim";

// The platform's file name of a shared library called name.
QString libraryFileName(const char* name) {
#if defined(Q_OS_WIN)
    return QString::fromUtf8(name) + QStringLiteral(".dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("lib") + QString::fromUtf8(name) + QStringLiteral(".dylib");
#else
    return QStringLiteral("lib") + QString::fromUtf8(name) + QStringLiteral(".so");
#endif
}

// Where a window of `size` covers as little of `frame` as the screen allows: beside it
// (right, then left), below or above it, or at one of its corners; the first of equals.
QPoint besideOf(const QRect& frame, const QSize& size, const QRect& screen) {
    constexpr int kGap = 8;
    const int xs[] = {frame.right() + 1 + kGap, frame.left() - kGap - size.width(),
                      frame.right() + 1 - size.width()};
    const int ys[] = {frame.top(), frame.bottom() + 1 + kGap, frame.top() - kGap - size.height(),
                      frame.bottom() + 1 - size.height()};
    const int maxX = std::max(screen.left(), screen.right() + 1 - size.width());
    const int maxY = std::max(screen.top(), screen.bottom() + 1 - size.height());
    QPoint best;
    qint64 bestCovered = std::numeric_limits<qint64>::max();
    for (const int x : xs) {
        for (const int y : ys) {
            const QPoint at(std::clamp(x, screen.left(), maxX), std::clamp(y, screen.top(), maxY));
            const QRect covered = QRect(at, size).intersected(frame);
            const qint64 area = covered.isEmpty() ? 0 : qint64{covered.width()} * covered.height();
            if (area < bestCovered) {
                best = at;
                bestCovered = area;
            }
        }
    }
    return best;
}

} // namespace

Main::Main(const Variant& variant, const QString& driverPath, QString programDir)
    : Main(variant, std::make_unique<board::DriverLibrary>(driverPath), std::move(programDir)) {
    library_ = static_cast<board::DriverLibrary*>(driver_.get());
    library_->setLoadErrorHandler(
        [this](const board::LoadError& e) { onLoadError(e.file, e.entry, e.reason); });
}

Main::Main(const Variant& variant, std::unique_ptr<board::DriverApi> driver, QString programDir)
    : variant_(variant), driver_(std::move(driver)), declare_(state_, *driver_, variant.backend),
      form_(
          std::make_unique<MainForm>(variant, state_, declare_, *driver_, std::move(programDir))) {}

Main::~Main() = default;

void Main::setFirmware(board::FirmwareLookup firmware) {
    form_->setFirmware(std::move(firmware));
}

void Main::setDriverDescription(const QString& text, const QString& toolTip) {
    form_->setDriverDescription(text, toolTip);
}

int Main::start() {
    const bool running = form_->Form_Load();
    if (loadFailed_) return kDriverLoadFailed;
    if (!running) return kFirmwareFailed;
    form_->show();
    openSimulatedBoard();
    return 0;
}

void Main::openSimulatedBoard() {
    if (!library_ || simBoard_) return;
    simBoard_ = SimBoardWindow::create(*library_, *form_);
    if (!simBoard_) return; // not the simulator's library
    form_->addViewWindow(QStringLiteral("&Simulated Board"), simBoard_);
    declare_.addObserver([window = QPointer<SimBoardWindow>(simBoard_)](const board::Transfer&) {
        if (window) window->refresh();
    });
    simBoard_->refresh();
    simBoard_->adjustSize();
    if (const QScreen* screen = form_->screen())
        simBoard_->move(
            besideOf(form_->frameGeometry(), simBoard_->size(), screen->availableGeometry()));
    simBoard_->show();
}

void Main::onLoadError(const QString& file, const QString& entry, const QString& reason) {
    if (loadFailed_) return;
    loadFailed_ = true;
    form_->abandon();
    const bool wasRunning = form_->isVisible();
    form_->hide();
    QMessageBox::critical(nullptr, QString::fromUtf8(variant_.title),
                          QStringLiteral("Cannot load \"%1\" from the driver library\n%2\n\n%3")
                              .arg(entry, file, reason),
                          QMessageBox::Ok);
    // During the load start() reports the failure; later the event loop ends here.
    if (wasRunning) QCoreApplication::exit(kDriverLoadFailed);
}

int Main::run(int argc, char** argv, const Variant& variant) {
    QCoreApplication::setApplicationName(QString::fromUtf8(variant.programName));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(variant.versionMajor)
                                                .arg(variant.versionMinor)
                                                .arg(variant.versionRevision));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(variant.title));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Run on the simulated board (%1 in the program's library folder).")
            .arg(libraryFileName(kSimulatorLibrary)));
    const QCommandLineOption driverOption(
        QStringLiteral("driver"), QStringLiteral("Load the board driver library at <path>."),
        QStringLiteral("path"));
    const QCommandLineOption firmwareOption(
        QStringLiteral("firmware"),
        QStringLiteral("Load the board's firmware image from <path> instead of searching "
                       "the data folders and the program's folder."),
        QStringLiteral("path"));
    parser.addOption(simulate);
    parser.addOption(driverOption);
    parser.addOption(firmwareOption);

    // The command line is read before the window system is opened, so --help and --version
    // work without a display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(args)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return kBadCommandLine;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        text.replace(QLatin1String("<executable_name>"), QString::fromUtf8(variant.programName));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (parser.isSet(simulate) && parser.isSet(driverOption)) {
        std::fputs("--simulate and --driver cannot be used together\n", stderr);
        return kBadCommandLine;
    }

    QApplication app(argc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString libraryDir = board::privateLibraryDir(programDir);
    QString path;
    QString description;
    if (parser.isSet(simulate)) {
        path = libraryDir + QLatin1Char('/') + libraryFileName(kSimulatorLibrary);
        description = QStringLiteral("Simulated board (%1)");
    } else if (parser.isSet(driverOption)) {
        // Resolved here: libraries are only loaded by absolute path, never searched for.
        path = QFileInfo(parser.value(driverOption)).absoluteFilePath();
        description = QStringLiteral("Driver: %1");
    } else {
        path = libraryDir + QLatin1Char('/') + libraryFileName(variant.driverLibrary);
        description = QStringLiteral("USB board (%1)");
    }

    Main program(variant, path, programDir);
    // The simulator's own image lies with its library; a real board's is searched for.
    program.setFirmware(board::findFirmware(
        parser.value(firmwareOption),
        parser.isSet(simulate) ? QStringList{libraryDir} : board::firmwareFolders(programDir)));
    program.setDriverDescription(description.arg(QFileInfo(path).fileName()), path);
    if (const int status = program.start(); status != 0) return status;
    return QApplication::exec();
}

} // namespace tq::ui
