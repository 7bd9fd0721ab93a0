// serve [--listen ADDR:PORT] [--allow CIDR]...: the open board as a SCPI instrument over TCP
// until SIGINT or SIGTERM.

#include "cli/Commands.h"
#include "cli/Parse.h"
#include "scpi/Server.h"

namespace tq::cli {

bench::Outcome<Step> ParseServe(Args args) {
    constexpr std::string_view usage = "serve [--listen ADDR:PORT] [--allow CIDR]...";
    scpi::ServeOptions options;
    options.identity.version = TQ_VERSION;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string_view option = args[i];
        if ((option != "--listen" && option != "--allow") || i + 1 == args.size())
            return UsageOf(usage);
        const std::string_view word = args[i + 1];
        const QString value = QString::fromUtf8(word);
        if (option == "--listen") {
            const auto where = scpi::ParseListen(value);
            if (!where)
                return bench::UsageError(Cat({"--listen takes ADDR:PORT, not ", Quoted(word)}));
            options.address = where->first;
            options.port = where->second;
        } else {
            const bench::Outcome<scpi::Subnet> subnet = scpi::ParseAllow(value);
            if (!subnet) return subnet.error();
            options.allow.push_back(*subnet);
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
