#pragma once

#include "app/session/LaunchRequest.h"

#include <QObject>

#include <memory>

class QLocalServer;

namespace tarvik {

// One Tarvik per user and display: a second start hands its request (show the
// configuration window, or run a program in a local terminal) to the running
// instance over a local socket in $XDG_RUNTIME_DIR and exits.
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket for this user and display.
    static QString socketPath();

    // Sends `request` to a running instance; false when none answers in time.
    static bool handOver(const LaunchRequest& request, int timeoutMs = 2000);

    // Starts answering later starts. A socket left by an instance that died is
    // replaced; false when the socket cannot be made (the app still runs alone).
    bool listen();

  signals:
    void requested(const tarvik::LaunchRequest& request);

  private:
    void accept();

    std::unique_ptr<QLocalServer> server_;
};

} // namespace tarvik
