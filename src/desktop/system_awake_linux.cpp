// The sleep inhibitor: logind's Inhibit("sleep:shutdown", ..., "block") hands back a file
// descriptor that holds the lock until it is closed.
#include "desktop/system_awake_linux.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <mutex>
#include <optional>

namespace {
constexpr int INHIBIT_CALL_TIMEOUT_MS = 2000; // a bus that does not answer must not hold the job
std::mutex InhibitLock;
std::optional<QDBusUnixFileDescriptor> Inhibitor;
} // namespace

void InhibitSleep() {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit");
    // Shutdown too, as the Windows utility refuses the end of the session meanwhile.
    call << QString("sleep:shutdown") << QString("MQ-6 WB Utility")
         << QString("Programming the MQ-6: a cut would leave it in its loader") << QString("block");
    QDBusMessage reply =
        QDBusConnection::systemBus().call(call, QDBus::Block, INHIBIT_CALL_TIMEOUT_MS);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return;
    QDBusUnixFileDescriptor held = reply.arguments().first().value<QDBusUnixFileDescriptor>();
    if (!held.isValid())
        return;
    std::lock_guard<std::mutex> hold(InhibitLock);
    Inhibitor = held;
}

void EndSleepInhibit() {
    std::lock_guard<std::mutex> hold(InhibitLock);
    Inhibitor.reset(); // the last copy closes the descriptor, and logind lets the system sleep
}
