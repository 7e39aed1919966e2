#include "admin/shell/adminApplication.h"

#include "admin/comm/ioGlobals.h"

#include <QMessageBox>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int HandledSignals[] = { SIGTERM, SIGINT, SIGHUP };
// The handler's way into the event loop: it only writes a byte here.
int signalPipe[2] = { -1, -1 };

void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    (void)::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TAdminApplication::TAdminApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    m_signalNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, &TAdminApplication::SignalArrived);
    struct sigaction action { };
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s : HandledSignals)
        sigaction(s, &action, nullptr);
}

TAdminApplication::~TAdminApplication()
{
    for (int s : HandledSignals)
        std::signal(s, SIG_DFL);
    delete m_signalNotifier;
    for (int& fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TAdminApplication::SignalArrived()
{
    char byte;
    while (::read(signalPipe[0], &byte, 1) == 1) { }
    // Once: a second signal while the close runs ends the process at once
    // (the route helper still removes what it wrote when we are gone).
    for (int s : HandledSignals)
        std::signal(s, SIG_DFL);
    // Pending device requests give up; every event loop ends, and the main
    // window, taken down after the loop, closes in its normal order without
    // asking.
    AbortRequested = true;
    // exit, not quit: quit would first offer every window its close, and the
    // main window would ask its question.
    QCoreApplication::exit(0);
}

bool TAdminApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QMessageBox::critical(activeWindow(), QStringLiteral("TwinlaneAdmin"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(activeWindow(), QStringLiteral("TwinlaneAdmin"), QStringLiteral("Unknown error"));
    }
    return false;
}

QString TAdminApplication::RootRefusal()
{
    if (::geteuid() != 0 || qgetenv(SandboxOffVariable) == "1")
        return {};
    return QStringLiteral(
        "TwinlaneAdmin does not run as root.\n\n"
        "It shows the web pages of the servers, which come from the plant network, and keeps its web engine's "
        "sandbox for them; the sandbox does not run for root.\n\n"
        "Start TwinlaneAdmin as your own user. Host routes are written for it by twl-route-helper, which the "
        "members of the group twinlane may run: set that up once as root with\n"
        "    scripts/setup-operator.sh <user>\n"
        "and log in again.\n\n"
        "For tests and containers only, %1=1 switches the sandbox off and lets root run the program.")
        .arg(QLatin1String(SandboxOffVariable));
}

int TAdminApplication::Refuse(const QString& text, int& argc, char** argv)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return RefusedExitCode;
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("TwinlaneAdmin"), text);
    return RefusedExitCode;
}
