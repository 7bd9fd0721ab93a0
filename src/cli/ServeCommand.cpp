// serve [--listen ADDR:PORT] [--allow CIDR]... [--max-clients N] [--meter URL
// [--meter-route CMD]]...: the open board as a SCPI instrument over TCP until SIGINT or
// SIGTERM.

#include "cli/Commands.h"
#include "cli/Parse.h"
#include "scpi/Server.h"

#include <algorithm>

namespace tq::cli {

bench::Outcome<Step> ParseServe(Args args) {
    constexpr std::string_view usage =
        "serve [--listen ADDR:PORT] [--allow CIDR]... [--max-clients N] "
        "[--meter URL [--meter-route CMD]]...";
    scpi::ServeOptions options;
    options.identity.version = TQ_VERSION;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string_view option = args[i];
        if (i + 1 == args.size()) return UsageOf(usage);
        const std::string_view word = args[i + 1];
        const QString value = QString::fromUtf8(word);
        if (option == "--listen") {
            const auto where = scpi::ParseListen(value);
            if (!where)
                return bench::UsageError(Cat({"--listen ", word, ": ", where.error().message}));
            options.address = where->first;
            options.port = where->second;
        } else if (option == "--allow") {
            const bench::Outcome<scpi::Subnet> subnet = scpi::ParseAllow(value);
            if (!subnet) return subnet.error();
            options.allow.push_back(*subnet);
        } else if (option == "--max-clients") {
            const bench::Outcome<int64_t> n = ParseInteger(word, "--max-clients");
            if (!n) return n.error();
            if (*n < 1 || *n > 1000)
                return bench::UsageError("--max-clients takes a number from 1 to 1000");
            options.maxClients = static_cast<int>(*n);
        } else if (option == "--meter") {
            const QString scheme = value.section(QLatin1Char(':'), 0, 0);
            if (!value.contains(QLatin1String("://")) ||
                (scheme != QLatin1String("tcp") && scheme != QLatin1String("usbtmc")))
                return bench::UsageError(Cat({"--meter takes tcp://HOST[:PORT] or "
                                              "usbtmc:///dev/usbtmcN, not ",
                                              Quoted(word)}));
            options.meters.push_back({std::string(word), std::nullopt});
        } else if (option == "--meter-route") {
            if (options.meters.empty() || options.meters.back().route)
                return bench::UsageError("--meter-route follows the --meter it routes");
            if (std::ranges::any_of(word, [](char c) { return c >= 0 && c < 0x20; }))
                return bench::UsageError("--meter-route takes one command line");
            options.meters.back().route = std::string(word);
        } else {
            return UsageOf(usage);
        }
    }
    return Step([options](Context& context) -> bench::Outcome<Reply> {
        context.out.flush(); // before the server's own "listening on" line
        QString error;
        if (scpi::Serve(*context.bench, options, &error) != 0)
            return bench::Error{bench::Error::Kind::Usage, error.toStdString()};
        Reply reply;
        reply.written = true;
        return reply;
    });
}

} // namespace tq::cli
