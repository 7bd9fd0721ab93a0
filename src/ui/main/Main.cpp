#include "ui/main/Main.h"

#include "bench/StartOptions.h"
#include "board/DriverLibrary.h"
#include "ui/bench/TrafficAndReplug.h"
#include "ui/bench/TrafficView.h"
#include "ui/main/MainForm.h"
#include "ui/simboard/SimBoardWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <utility>

namespace tq::ui {

namespace {

// How long each step of the start-up takes, for the start-up benchmark and for anyone asking
// why a start is slow: QT_LOGGING_RULES="tq.startup.debug=true".
Q_LOGGING_CATEGORY(startupLog, "tq.startup", QtInfoMsg)

void logPhase(QElapsedTimer& clock, const char* phase) {
    qCDebug(startupLog, "%s %.1f ms", phase, double(clock.nsecsElapsed()) / 1e6);
    clock.restart();
}

// Between two windows placed side by side.
constexpr int kWindowGap = 8;

// Where a window of `size` covers as little of `frame` as the screen allows: beside it
// (right, then left), below or above it, or at one of its corners; never over `keepClear`
// (the status bar, where failures show) when anywhere else will do; the first of equals.
QPoint besideOf(const QRect& frame, const QSize& size, const QRect& screen,
                const QRect& keepClear) {
    const int xs[] = {frame.right() + 1 + kWindowGap, frame.left() - kWindowGap - size.width(),
                      frame.right() + 1 - size.width()};
    const int ys[] = {frame.top(), frame.bottom() + 1 + kWindowGap,
                      frame.top() - kWindowGap - size.height(), frame.bottom() + 1 - size.height(),
                      keepClear.top() - kWindowGap - size.height()};
    const int maxX = std::max(screen.left(), screen.right() + 1 - size.width());
    const int maxY = std::max(screen.top(), screen.bottom() + 1 - size.height());
    QPoint best;
    std::pair<bool, qint64> bestCost{true, std::numeric_limits<qint64>::max()};
    for (const int x : xs) {
        for (const int y : ys) {
            const QPoint at(std::clamp(x, screen.left(), maxX), std::clamp(y, screen.top(), maxY));
            const QRect covered = QRect(at, size).intersected(frame);
            const std::pair<bool, qint64> cost{
                QRect(at, size).intersects(keepClear),
                covered.isEmpty() ? 0 : qint64{covered.width()} * covered.height()};
            if (cost < bestCost) {
                best = at;
                bestCost = cost;
            }
        }
    }
    return best;
}

// Shows the window at its natural size where the screen has room for it, else as large as
// the screen's free area allows (it scrolls), and wholly inside that area.
void showWithinScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) {
        window.show();
        return;
    }
    const QRect area = screen->availableGeometry();
    window.resize(window.sizeHint().boundedTo(area.size()));
    window.show();
    // The hint once the layouts have taken in the changes of the load, and the window
    // manager's frame, known once the window is shown.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QSize decoration = window.frameGeometry().size() - window.size();
    window.resize(window.sizeHint().boundedTo(area.size() - decoration));
    const QRect frame = window.frameGeometry();
    const QPoint at(std::clamp(frame.left(), area.left(),
                               std::max(area.left(), area.right() + 1 - frame.width())),
                    std::clamp(frame.top(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - frame.height())));
    if (at != frame.topLeft()) window.move(at);
}

// Runs an action once, right after a window's first paint has reached the screen, or after
// a second if it is never painted (started minimised, say). Owned by the window.
class AfterFirstPaint final : public QObject {
public:
    AfterFirstPaint(QWidget& window, std::function<void()> action)
        : QObject(&window), action_(std::move(action)) {
        window.installEventFilter(this);
        // A timer of its own, not a single-shot one of Qt's, goes with it when the window
        // goes first.
        fallback_.setSingleShot(true);
        connect(&fallback_, &QTimer::timeout, this, [this] { run(); });
        fallback_.start(1000);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        watched->removeEventFilter(this); // the first paint is all it waits for
        // Queued behind the paint being delivered, so its picture is flushed first.
        QMetaObject::invokeMethod(
            this, [this] { run(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void run() {
        if (!action_) return;
        std::exchange(action_, nullptr)();
        deleteLater();
    }

    std::function<void()> action_;
    QTimer fallback_;
};

// Stands in for Qt's message handling while the window system is opened: when none can be
// opened Qt ends the process; say instead that there is no display and how to get one.
void noDisplayHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
        return;
    }
    const QByteArray name = QCoreApplication::applicationName().toLocal8Bit();
    std::fprintf(stderr,
                 "%s: there is no display to open the window on.\n"
                 "Start it in a desktop session, under a virtual display:\n"
                 "    xvfb-run -a %s --simulate\n"
                 "or without showing any window:\n"
                 "    %s -platform offscreen --simulate\n",
                 name.constData(), name.constData(), name.constData());
    std::fflush(stderr);
    std::_Exit(Main::kNoDisplay);
}

// --help-all: our options and the window system's own, as Qt lists them. Qt lists those only
// with a window system at hand, so one that needs no display is opened for it.
[[noreturn]] void showHelpAll(QCommandLineParser& parser, const char* argv0) {
    QByteArray program(argv0), platform("-platform"), offscreen("offscreen"), helpAll("--help-all");
    std::array<char*, 5> args{program.data(), platform.data(), offscreen.data(), helpAll.data(),
                              nullptr};
    int count = 4;
    QApplication app(count, args.data());
    parser.process(app); // prints and ends the process
    std::exit(0);
}

} // namespace

Main::Main(const Variant& variant, const QString& driverPath, QString programDir)
    : Main(variant, std::make_unique<board::DriverLibrary>(driverPath), std::move(programDir)) {
    library_ = static_cast<board::DriverLibrary*>(driver_.get());
    library_->setLoadErrorHandler([this](const board::LoadError& e) { onLoadError(e); });
}

Main::Main(const Variant& variant, std::unique_ptr<board::DriverApi> driver, QString programDir)
    : variant_(variant), driver_(std::move(driver)),
      declare_(state_, *driver_, variant.board().backend),
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
    QElapsedTimer clock;
    clock.start();
    auto* bench = new TrafficAndReplug(*form_, state_, declare_, *driver_); // owned by the form
    QObject::connect(form_.get(), &MainForm::boardBusy, &bench->watch(),
                     &board::BoardWatch::setPaused);
    const bool running = form_->Form_Load();
    if (loadFailed_) return kDriverLoadFailed;
    if (!running) return kFirmwareFailed;
    logPhase(clock, "board started");
    showWithinScreen(*form_);
    logPhase(clock, "window shown");
    // The Simulated Board window, a second window with fonts and a meter of its own, opens
    // once the main window is on screen, rather than holding it back.
    new AfterFirstPaint(*form_, [this] { // owned by the form
        QElapsedTimer board;
        board.start();
        openSimulatedBoard();
        logPhase(board, "simulated board window (after the first paint)");
    });
    form_->addViewWindow(QStringLiteral("USB Traffic"), &bench->traffic());
    bench->started();
    logPhase(clock, "traffic view");
    return 0;
}

void Main::openSimulatedBoard() {
    if (!library_ || simBoard_) return;
    simBoard_ = SimBoardWindow::create(*library_, *form_);
    if (!simBoard_) return; // not the simulator's library
    // First in the View menu: the board comes before its traffic.
    QAction* item = form_->addViewWindow(QStringLiteral("&Simulated Board"), simBoard_);
    form_->MnuView->removeAction(item);
    form_->MnuView->insertAction(form_->MnuView->actions().value(0), item);
    declare_.addObserver([window = QPointer<SimBoardWindow>(simBoard_)](const board::Transfer&) {
        if (window) window->refresh();
    });
    // The simulated board's meter, so the meter dialogs work out of the box.
    if (const int port = simBoard_->startMeter(); port > 0)
        form_->offerMeter(QStringLiteral("tcp://127.0.0.1:%1").arg(port),
                          SimBoardWindow::kMeterRoute);
    simBoard_->refresh();
    simBoard_->show();
    // Placed once shown: polishing and the first layout settle its size hint.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QScreen* screen = form_->screen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QRect frame = form_->frameGeometry();
    const QStatusBar* status = form_->statusBar();
    const QRect statusArea(status->mapToGlobal(QPoint(0, 0)), status->size());
    // Its frame will be the main window's, which is known already.
    const QSize decoration = frame.size() - form_->size();
    QSize size = simBoard_->sizeHint().boundedTo(area.size() - decoration);
    const int besideRoom = std::max(area.right() - frame.right(), frame.left() - area.left());
    if (besideRoom < size.width() + decoration.width()) {
        // It will lie over the main window: short enough to leave the status bar free (it
        // scrolls), above the status bar or below the window.
        const int room = std::max(statusArea.top() - area.top(), area.bottom() - frame.bottom()) -
                         decoration.height() - kWindowGap;
        size.setHeight(
            std::max(simBoard_->minimumSizeHint().height(), std::min(room, size.height())));
    }
    simBoard_->resize(size);
    simBoard_->move(besideOf(frame, size + decoration, area, statusArea));
}

void Main::onLoadError(const board::LoadError& error) {
    if (loadFailed_) return;
    loadFailed_ = true;
    form_->abandon();
    const bool wasRunning = form_->isVisible();
    form_->hide();
    QMessageBox::critical(nullptr, QString::fromUtf8(variant_.title), board::describe(error),
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
    const bench::StartOptions start;
    start.addTo(parser);

    // Single-dash words are options of their own, as Qt's are ("-platform", "-reverse").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    // The command line is read twice. First before the window system is opened, so --help
    // and --version work without a display; the window system's own options are not known
    // yet, so an unknown option is no error here.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    parser.parse(args);
    if (parser.isSet(QStringLiteral("help-all"))) showHelpAll(parser, argv[0]);
    if (parser.isSet(help)) {
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
    if (const bench::Status combined = start.check(parser); !combined) {
        std::fprintf(stderr, "%s\n", combined.error().message.c_str());
        return kBadCommandLine;
    }

    // The window system takes its own options (-platform, -style, -geometry...) out of argv;
    // whatever else is left must be ours.
    QElapsedTimer clock;
    clock.start();
    qInstallMessageHandler(noDisplayHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return kBadCommandLine;
    }
    const QString programDir = QCoreApplication::applicationDirPath();
    const bench::Outcome<bench::StartChoice> choice =
        bench::ResolveStart(parser, start, variant.model, programDir);
    if (!choice) {
        std::fprintf(stderr, "%s\n", choice.error().message.c_str());
        return kBadCommandLine;
    }
    logPhase(clock, "window system opened");
    Main program(variant, choice->driverPath, programDir);
    logPhase(clock, "window built");
    program.setFirmware(choice->firmware);
    program.setDriverDescription(choice->description, choice->driverPath);
    if (const int status = program.start(); status != 0) return status;
    return QApplication::exec();
}

} // namespace tq::ui
