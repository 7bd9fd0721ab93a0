#include "cli/PlotLibrary.h"

#include "board/FirmwareSearch.h"
#include "plot/PlotEntries.h"

#include <cstdio>

namespace tq::cli {

std::unique_ptr<QCoreApplication> PlotLibrary::createApplication(int& argc, char** argv) {
    QString dir;
    {
        // Only an application knows the program's folder; this one lives just long enough.
        const QCoreApplication probe(argc, argv);
        dir = board::privateLibraryDir(QCoreApplication::applicationDirPath());
    }
    library_.setFileName(dir + QStringLiteral("/libTQ5802Plot.so"));
    const auto create =
        reinterpret_cast<TQPlot_CreateApplication_fn>(library_.resolve("TQPlot_CreateApplication"));
    render_ = reinterpret_cast<void*>(library_.resolve("TQPlot_Render"));
    if (!create || !render_) {
        std::fprintf(stderr, "tq5802ctl: the plot library cannot be loaded: %s\n",
                     qPrintable(library_.errorString()));
        render_ = nullptr;
        return nullptr;
    }
    return std::unique_ptr<QCoreApplication>(create(&argc, argv));
}

std::function<bench::Status(const bench::SweepResult&, const QString&)>
PlotLibrary::renderer() const {
    if (!render_) return {};
    const auto render = reinterpret_cast<TQPlot_Render_fn>(render_);
    return [render](const bench::SweepResult& result, const QString& path) -> bench::Status {
        QString error;
        if (render(&result, &path, &error) != 0) return bench::UsageError(error.toStdString());
        return {};
    };
}

} // namespace tq::cli
