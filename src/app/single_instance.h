#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <ostream>

namespace tavrel {

// The running window's answer to a second start on its library: the one that
// holds the library's lock listens on a local socket named after the library
// and brings its window to the front when asked. Main thread only.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    // `activate` brings the window to the front.
    InstanceServer(const std::filesystem::path& libraryRoot, std::function<void()> activate);

private:
    QLocalServer m_server;
    std::function<void()> m_activate;
};

// The second start: asks the window that holds the library to come to the
// front, says so on `err` and returns the exit code (0 when the window
// answered). Needs a QCoreApplication; waits at most a few seconds.
int handOverToRunningWindow(const std::filesystem::path& libraryRoot, std::ostream& err);

// "tavrel-<user>-<hash of the library's real path>".
QString instanceServerName(const std::filesystem::path& libraryRoot);

}  // namespace tavrel
