#include "app/session/LaunchRequest.h"

#include "BuildInfo.h"

#include <QDataStream>
#include <QIODevice>

namespace tarvik {

namespace {

LaunchParse refuse(const std::string& why) {
    return {std::nullopt, 2, {}, "tarvik: " + why + "\n" + launchUsage};
}

} // namespace

LaunchParse LaunchRequest::parse(const std::vector<std::string>& arguments) {
    LaunchRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--version")
            return {std::nullopt, 0, std::string("Tarvik ") + BuildInfo::version + "\n", {}};
        if (argument == "--help" || argument == "-h")
            return {std::nullopt,
                    0,
                    std::string(launchUsage) +
                        "\nOpens the configuration window of saved sessions. -T or -e open a local\n"
                        "terminal tab instead: -T names it, -e runs PROGRAM in it instead of the\n"
                        "login shell; everything after -e belongs to PROGRAM.\n",
                    {}};
        if (argument == "-T" || argument == "--title") {
            if (i + 1 >= arguments.size()) return refuse(argument + " needs a title");
            request.localTerminal = true;
            request.title = QString::fromLocal8Bit(arguments[++i]);
            continue;
        }
        if (argument == "-e") {
            if (i + 1 >= arguments.size()) return refuse("-e needs a program");
            request.localTerminal = true;
            for (std::size_t j = i + 1; j < arguments.size(); ++j)
                request.program << QString::fromLocal8Bit(arguments[j]);
            break;
        }
        return refuse("unknown option '" + argument + "'");
    }
    return {request, 0, {}, {}};
}

QByteArray LaunchRequest::encoded() const {
    QByteArray payload;
    QDataStream encoder(&payload, QIODevice::WriteOnly);
    encoder << localTerminal << title << program;
    return payload;
}

LaunchRequest LaunchRequest::decoded(const QByteArray& payload) {
    LaunchRequest request;
    QDataStream decoder(payload);
    decoder >> request.localTerminal >> request.title >> request.program;
    if (decoder.status() != QDataStream::Ok)
        return {}; // a damaged request only brings the configuration window forward
    return request;
}

} // namespace tarvik
