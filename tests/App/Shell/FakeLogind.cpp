// A stand-in for logind on a test's private system bus: owns org.freedesktop.login1, prints
// "ready", then one line "Reboot <interactive>" for every Reboot call, and replies to it.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>

#include <cstdio>

class FakeLoginManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public slots:
    void Reboot(bool interactive) { std::printf("Reboot %s\n", interactive ? "true" : "false"); std::fflush(stdout); }
};

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    FakeLoginManager manager;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake logind: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "FakeLogind.moc"
