#include "cli/Cli.h"

#include "bench/StartOptions.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "plot/PlotLibrary.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace tq::cli {

namespace {

QString HelpText(QCommandLineParser& parser) {
    QString text = parser.helpText();
    // The usage line names the program as it was called; say its name instead.
    const qsizetype end = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && end > 0)
        text.replace(7, end - 7, QStringLiteral("tq5802ctl"));
    text += QStringLiteral("\nCommands (CH is A, B, C, D or ALL, in any letter case):\n");
    for (const Command& c : Commands()) {
        text += QStringLiteral("  %1\n      %2\n")
                    .arg(QString::fromUtf8(c.usage), QString::fromUtf8(c.summary));
    }
    text += QStringLiteral(
        "\nA batch script holds one command per line; '#' at the start of a word starts a\n"
        "comment, and double quotes group a word with blanks or '#'. Every line is checked\n"
        "before the first runs, and one that does not parse stops the script with nothing\n"
        "sent; then it stops at the first line that fails, naming it, unless --keep-going,\n"
        "which runs on past failures and names the first.\n"
        "\nExit codes:\n"
        "  0  done\n"
        "  1  a transfer with the board failed on the way\n"
        "  2  usage or value error: nothing was sent\n"
        "  3  no board found, or its firmware download failed\n"
        "  4  the driver library could not be loaded\n"
        "  5  the meter failed: unreachable, silent, or readings no output can give (a meter\n"
        "     not on the channel, not a single number, out of range); the board was put back\n"
        "  6  stopped by the user (the probe not moved, SIGINT or SIGTERM); the board was put\n"
        "     back as it was\n"
        "  7  calibration ended outside 0.5 LSB on a channel, whose trims were put back\n");
    return text;
}

} // namespace

int Run(int argc, char** argv) {
    // Held from the start, before any thread exists, so that no thread takes the signals
    // while a meter run needs them; released at once for every other command.
    InterruptHold interrupts;
    // A sweep's plot is drawn with widgets, on the offscreen platform unless told otherwise:
    // tq5802ctl never shows a window and needs no display.
    // The plots come from a library of their own, loaded only here, so that every other
    // command starts without Qt's widget and chart libraries.
    const bool plots = std::any_of(argv, argv + argc,
                                   [](const char* a) { return std::string_view(a) == "--plot"; });
    if (plots && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    plot::PlotLibrary plotLibrary;
    std::unique_ptr<QCoreApplication> app;
    if (plots) {
        QString dir;
        {
            // Only an application knows the program's folder; this one lives just long enough.
            const QCoreApplication probe(argc, argv);
            dir = QCoreApplication::applicationDirPath();
        }
        if (const bench::Status loaded = plotLibrary.load(dir); !loaded)
            std::fprintf(stderr, "tq5802ctl: %s\n", loaded.error().message.c_str());
        else
            app.reset(plotLibrary.createApplication(&argc, argv));
    }
    if (!app) app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tq5802ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TQ_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Scripts the TQ5802R and TQ5802 evaluation boards."));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const bench::StartOptions start;
    start.addTo(parser);
    const QCommandLineOption legacy(
        QStringLiteral("legacy"),
        QStringLiteral("The %1 board on the legacy back end (%2); without it the %3 (%4).")
            .arg(QString::fromUtf8(bench::ModelName(bench::Model::TQ5802)),
                 bench::LibraryFileName(bench::Info(bench::Model::TQ5802).driverLibrary),
                 QString::fromUtf8(bench::ModelName(bench::Model::TQ5802R)),
                 bench::LibraryFileName(bench::Info(bench::Model::TQ5802R).driverLibrary)));
    const QCommandLineOption board(QStringLiteral("board"),
                                   QStringLiteral("Open board <n> of the list (default 0)."),
                                   QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption json(
        QStringLiteral("json"), QStringLiteral("Write one JSON object per command (JSON Lines)."));
    const QCommandLineOption keepGoing(
        QStringLiteral("keep-going"),
        QStringLiteral("Run a batch script to its end past lines that fail while running "
                       "(a line that does not parse still stops it before anything runs)."));
    for (const auto* option : {&legacy, &board, &json, &keepGoing})
        parser.addOption(*option);
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("The command and its words (below)."),
                                 QStringLiteral("COMMAND [ARGS...]"));

    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tq5802ctl: %s\n", qPrintable(parser.errorText()));
        return kUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(HelpText(parser)), stdout);
        return kDone;
    }
    if (parser.isSet(version)) {
        std::printf("tq5802ctl %s\n", TQ_VERSION);
        return kDone;
    }

    Options options;
    // calibrate and sweep take --json among their own words too.
    const QStringList commandWords = parser.positionalArguments();
    options.json = parser.isSet(json) || (commandWords.size() > 1 &&
                                          (commandWords[0] == QLatin1String("calibrate") ||
                                           commandWords[0] == QLatin1String("sweep")) &&
                                          commandWords.contains(QLatin1String("--json")));
    options.keepGoing = parser.isSet(keepGoing);
    if (plotLibrary.loaded())
        options.renderPlot = [&plotLibrary](const bench::SweepResult& r, const QString& path) {
            return plotLibrary.render(r, path);
        };
    options.model = parser.isSet(legacy) ? bench::Model::TQ5802 : bench::Model::TQ5802R;
    Output out(options.json ? Output::Format::JsonLines : Output::Format::Text);
    const auto refuse = [&](const QString& why) {
        out.message(QStringLiteral("tq5802ctl: ") + why);
        return kUsage;
    };
    bool isNumber = false;
    options.board = parser.value(board).toInt(&isNumber);
    if (!isNumber || options.board < 0)
        return refuse(QStringLiteral("--board takes a board number, 0 or more, not \"%1\"")
                          .arg(parser.value(board)));
    const bench::Outcome<bench::StartChoice> choice =
        bench::ResolveStart(parser, start, options.model, QCoreApplication::applicationDirPath());
    if (!choice) return refuse(QString::fromStdString(choice.error().message));
    options.driverPath = choice->driverPath;
    options.firmwarePath = choice->firmware.path;

    // The command's words, checked whole before the board is opened.
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return refuse(QStringLiteral("no command given; see tq5802ctl --help"));
    std::vector<std::string> storage;
    for (const QString& word : positional)
        storage.push_back(word.toStdString());
    const std::vector<std::string_view> words(storage.begin(), storage.end());
    Context context{options, out};
    const bench::Outcome<Parsed> parsed = ParseCommand(words);
    if (!parsed) {
        const std::string_view name = FindCommand(words.front()) ? words.front() : "";
        return WriteError(context, name, parsed.error());
    }

    if (parsed->command->name != "calibrate" && parsed->command->name != "sweep")
        interrupts.release();

    std::unique_ptr<bench::Bench> bench;
    if (parsed->command->opensBoard) {
        bench::Outcome<std::unique_ptr<bench::Bench>> opened = bench::Bench::open(
            {options.model, options.driverPath, options.firmwarePath, options.board});
        if (!opened) return WriteError(context, parsed->command->name, opened.error());
        bench = std::move(opened.value());
        context.bench = bench.get();
        bench->declare().addObserver([&context](const board::Transfer&) { ++context.transfers; });
    }
    return RunCommand(context, *parsed);
}

} // namespace tq::cli
