#include "App/Shell/Linux/LogindRestart.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

namespace {

// polkit may be waiting for the user's password; the default 25 s would cut that short.
constexpr int rebootCallTimeoutMs = 120'000;

QString describe(const QString& name, const QString& message)
{
    return QStringLiteral("{ errorName = \"%1\"; errorMessage = \"%2\"; }").arg(name, message);
}

}  // namespace

bool LogindRestart::restart(QString& errorInfo)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        QDBusError error = bus.lastError();
        errorInfo = describe(error.name(), error.message());
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                       QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Reboot"));
    call << true;
    QDBusMessage reply = bus.call(call, QDBus::Block, rebootCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        errorInfo = describe(reply.errorName(), reply.errorMessage());
        return false;
    }
    return true;
}
