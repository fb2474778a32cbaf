// Tarvik: saved sessions, each opened in a tab on a pseudo-terminal.

#include "BuildInfo.h"
#include "app/session/ApplicationController.h"
#include "app/session/LaunchRequest.h"
#include "app/session/Prompts.h"
#include "app/session/SingleInstance.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool hasDisplay() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = tarvik::LaunchRequest::parse(std::vector<std::string>(argv + 1, argv + argc));
    std::fputs(parsed.output.c_str(), stdout);
    std::fputs(parsed.error.c_str(), stderr);
    if (!parsed.request) return parsed.status;
    const tarvik::LaunchRequest& request = *parsed.request;
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

    if (tarvik::SingleInstance::handOver(request)) return 0;

    tarvik::ApplicationController controller(std::make_unique<tarvik::DesktopPrompts>());
    tarvik::SingleInstance instance;
    QObject::connect(&instance, &tarvik::SingleInstance::requested, &controller,
                     &tarvik::ApplicationController::handleRequest);
    instance.listen();
    QTimer::singleShot(0, &controller, [&controller, request] {
        controller.launch(!request.localTerminal);
        if (request.localTerminal) controller.handleRequest(request);
    });
    return application.exec();
}
