// Tarvik: saved sessions, each opened in a tab on a pseudo-terminal.

#include "BuildInfo.h"
#include "app/session/ApplicationController.h"
#include "app/session/Prompts.h"
#include "app/session/SingleInstance.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr const char* usage = "usage: tarvik [--version] [--help] [-e PROGRAM [ARGUMENT...]]\n";

// The request handed to the running instance: empty, or the program for -e.
std::optional<QStringList> parseArguments(int argc, char** argv, int& status) {
    QStringList program;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--version") == 0) {
            std::printf("Tarvik %s\n", tarvik::BuildInfo::version);
            status = 0;
            return std::nullopt;
        }
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::printf("%s\nOpens the configuration window of saved sessions. With -e, opens a local\n"
                        "terminal tab running PROGRAM instead of the login shell.\n",
                        usage);
            status = 0;
            return std::nullopt;
        }
        if (std::strcmp(argument, "-e") == 0 && i + 1 < argc) {
            for (int j = i + 1; j < argc; ++j)
                program << QString::fromLocal8Bit(argv[j]);
            return program;
        }
        std::fprintf(stderr, "%s", usage);
        status = 2;
        return std::nullopt;
    }
    return program;
}

bool hasDisplay() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const std::optional<QStringList> request = parseArguments(argc, argv, status);
    if (!request)
        return status;
    if (!hasDisplay()) {
        std::fprintf(stderr, "tarvik: no display (DISPLAY and WAYLAND_DISPLAY are unset); "
                             "to run without a desktop use: xvfb-run -a tarvik\n");
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tarvik");
    QApplication::setApplicationVersion(tarvik::BuildInfo::version);
    QApplication::setDesktopFileName("tarvik");
    QApplication::setQuitOnLastWindowClosed(false);

    if (tarvik::SingleInstance::handOver(*request))
        return 0;

    tarvik::ApplicationController controller(std::make_unique<tarvik::DesktopPrompts>());
    tarvik::SingleInstance instance;
    QObject::connect(&instance, &tarvik::SingleInstance::requested, &controller,
                     &tarvik::ApplicationController::handleRequest);
    instance.listen();
    QTimer::singleShot(0, &controller, [&controller, request = *request] {
        controller.launch(request.isEmpty());
        if (!request.isEmpty())
            controller.open(std::nullopt, request);
    });
    return application.exec();
}
