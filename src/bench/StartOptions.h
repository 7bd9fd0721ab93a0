#pragma once
// The options every program starts a board with (--simulate, --driver PATH, --firmware
// PATH), and how they resolve to a driver library and a firmware image: the window
// programs and tq5802ctl read them through here, so they cannot come to differ.

#include "bench/Model.h"
#include "bench/Outcome.h"
#include "board/FirmwareSearch.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <string_view>

namespace tq::bench {

// The platform's file name of the shared library called name ("libTQ5802Sim.so").
QString LibraryFileName(std::string_view name);

// The simulated board's driver library, for both models.
inline constexpr std::string_view kSimulatorLibrary = "TQ5802Sim";

struct StartOptions {
    StartOptions();
    // Adds the three options to a parser.
    void addTo(QCommandLineParser& parser) const;
    // Refuses options that exclude each other (--simulate with --driver).
    Status check(const QCommandLineParser& parser) const;

    QCommandLineOption simulate;
    QCommandLineOption driver;
    QCommandLineOption firmware;
};

// What the options chose for a model, for a program living in programDir.
struct StartChoice {
    bool simulated = false;
    QString driverPath;             // absolute: libraries are never searched for
    QString description;            // for the status bar: "Simulated board (libTQ5802Sim.so)"
    board::FirmwareLookup firmware; // the simulator's own image, or the real board's search
};

// Refuses what check() refuses; otherwise the model's own USB library
// from the private library folder unless --simulate or --driver chose another.
Outcome<StartChoice> ResolveStart(const QCommandLineParser& parser, const StartOptions& options,
                                  Model model, const QString& programDir);

} // namespace tq::bench
