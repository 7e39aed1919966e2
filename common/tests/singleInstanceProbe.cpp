// A program that holds the single-instance guard for the tests: prints
// "first" and then "activated" for every later start, or "running" (with
// whether the request was delivered), or "failed: <text>" and ends with 2.
#include "common/singleInstance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TSingleInstance instance(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Probe"));
    if (instance.Acquire()) {
        QObject::connect(&instance, &TSingleInstance::activationRequested, [] {
            std::printf("activated\n");
            std::fflush(stdout);
        });
        std::printf("first\n");
        std::fflush(stdout);
        return app.exec();
    }
    if (instance.State() == TSingleInstance::TState::Running) {
        std::printf("running %d\n", instance.NotifyRunning() ? 1 : 0);
        return 0;
    }
    std::printf("failed: %s\n", qPrintable(instance.ErrorText()));
    return 2;
}
