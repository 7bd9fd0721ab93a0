// batch [FILE]: commands one per line over one open board.
//
// The whole script is read and every line parsed before the first one runs, so a script
// with a mistyped line sends nothing. Then the lines run in order; the first that fails
// stops the script (unless --keep-going), and the batch ends with that line's exit code.

#include "cli/Commands.h"
#include "cli/Parse.h"

#include "bench/FileInput.h"

#include <memory>

namespace tq::cli {

namespace {

struct Line {
    int number = 0;
    std::string_view text; // into the script, without its comment and blanks around
    Parsed parsed;
};

bench::Error::Kind KindOf(int exitCode) {
    switch (exitCode) {
    case kUsage:
        return bench::Error::Kind::Usage;
    case kNoBoard:
        return bench::Error::Kind::NoBoard;
    case kDriverLoad:
        return bench::Error::Kind::DriverLoad;
    default:
        return bench::Error::Kind::Transfer;
    }
}

} // namespace

bench::Outcome<Step> ParseBatch(Args args) {
    if (args.size() > 1) return UsageOf("batch");
    const bool fromStdin = args.empty() || args[0] == "-";
    // Far beyond any script a person writes or a program generates for one run.
    constexpr qint64 kLargest = 16 << 20;
    const bench::Outcome<QByteArray> bytes =
        fromStdin ? bench::ReadStandardInput(kLargest)
                  : bench::ReadInputFile(QString::fromUtf8(args[0]), kLargest);
    if (!bytes) return bytes.error();
    auto script = std::make_shared<const std::string>(bytes->constData(),
                                                      static_cast<std::size_t>(bytes->size()));

    auto lines = std::make_shared<std::vector<Line>>();
    std::string refusals;
    int refused = 0;
    constexpr int kShownRefusals = 20;
    const auto refuse = [&](int number, std::string_view text, std::string_view why) {
        if (++refused > kShownRefusals) return;
        refusals += Cat({refusals.empty() ? "" : "\n", "line ", std::to_string(number), ": ",
                         Shown(text), ": ", Shown(why, 240)});
    };
    std::string_view rest = *script;
    for (int number = 1; !rest.empty(); ++number) {
        const auto end = rest.find('\n');
        std::string_view text = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const bench::Outcome<LineWords> split = SplitWords(text);
        if (!split) {
            refuse(number, bench::Trimmed(text), split.error().message);
            continue;
        }
        text = bench::Trimmed(text.substr(0, split->end));
        if (split->words.empty()) continue;
        const std::vector<std::string_view> words(split->words.begin(), split->words.end());
        bench::Outcome<Parsed> parsed = ParseCommand(words, true);
        if (!parsed) {
            refuse(number, text, parsed.error().message);
            continue;
        }
        lines->push_back(Line{number, text, std::move(parsed.value())});
    }
    if (refused > kShownRefusals)
        refusals += Cat({"\n... and ", std::to_string(refused - kShownRefusals), " more"});
    if (!refusals.empty()) return bench::UsageError(Cat({"the script was not run:\n", refusals}));

    return Step{[script, lines](Context& ctx) -> bench::Outcome<Reply> {
        int failures = 0;
        int firstCode = kDone;
        const Line* first = nullptr;
        for (const Line& line : *lines) {
            ctx.line = line.number;
            const int code = RunCommand(ctx, line.parsed, line.text);
            if (code == kDone) continue;
            ++failures;
            if (!first) {
                first = &line;
                firstCode = code;
            }
            if (!ctx.options.keepGoing) break;
        }
        ctx.line = 0;
        if (first) {
            const std::string where =
                Cat({"line ", std::to_string(first->number), " (", Shown(first->text), ")"});
            return bench::Error{
                KindOf(firstCode),
                ctx.options.keepGoing
                    ? Cat({std::to_string(failures), " line(s) failed, the first at ", where})
                    : Cat({"stopped at ", where})};
        }
        Reply r;
        r.json.insert(QStringLiteral("lines"), static_cast<qint64>(lines->size()));
        return r; // text: nothing more to say
    }};
}

} // namespace tq::cli
