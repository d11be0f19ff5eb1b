#pragma once
// The ground the control tests stand on: a private session bus, so that no copy of the program elsewhere
// answers the verbs, and an end-to-end session (a private X server, the program copied into a temporary
// folder, HOME in a temporary folder). Test thread only.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <memory>

#include "control/busservice.h"

#include "e2e/session.h"

namespace zelq::test {

class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(10000))
            return;
        QElapsedTimer t;
        t.start();
        QByteArray address;
        while (!address.contains('\n') && t.elapsed() < 10000) {
            daemon_.waitForReadyRead(200);
            address += daemon_.readAllStandardOutput();
        }
        address_ = address.trimmed();
        if (!address_.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", address_);
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    bool ok() const { return !address_.isEmpty(); }
    QString address() const { return QString::fromLatin1(address_); }

private:
    QProcess daemon_;
    QByteArray address_;
};

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.ok()) << "no dbus-daemon";
        ASSERT_TRUE(session.ok());
        qputenv("HOME", session.home().toUtf8());
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(kConnection); }
    // The running copy's object, on a connection of the test's own to the private bus (closed when the
    // test ends); null when no copy takes the name within 20 s.
    std::unique_ptr<QDBusInterface> busProgram() {
        const QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), kConnection);
        if (!QTest::qWaitFor(
                [&] { return connection.interface()->isServiceRegistered(control::kBusName).value(); }, 20000))
            return nullptr;
        return std::make_unique<QDBusInterface>(control::kBusName, control::kBusPath, control::kBusInterface,
                                                connection);
    }
    // The program's verb; its exit code, its standard output in `out`.
    int verb(const QStringList& args, QString* out = nullptr, int timeoutMs = 60000) {
        return session.run(session.programDir() + "/zelq-screenrec", args, out, timeoutMs);
    }
    // Waits until the running copy says it is in `state`.
    bool waitForState(const QString& state) {
        return QTest::qWaitFor(
            [&] {
                QString out;
                verb({"--status"}, &out);
                return out.contains("state=" + state);
            },
            20000);
    }
    QString file(const QString& name) const { return session.home() + "/" + name; }

    PrivateBus bus;
    zelq::e2e::Session session;

private:
    static constexpr char kConnection[] = "control-test";
};

}  // namespace zelq::test
