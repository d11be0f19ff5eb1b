#pragma once
// The private sound server of the tests (scripts/sound-session.sh --serve), started once per test
// program and pointed at through PULSE_SERVER in this process's environment, so the program's own code
// finds it as it would find a desktop's. It stops when the object goes (or the test program dies: the
// script ends when its input closes).

#include <QProcess>
#include <QString>

namespace zelq::test {

class PrivateSoundServer {
public:
    PrivateSoundServer();
    ~PrivateSoundServer();
    bool ok() const { return ok_; }
    // Why it did not start.
    QString error() const { return error_; }
    // Under CI it must start; elsewhere a machine without the packages skips the sound tests.
    static bool required() { return qgetenv("CI") == "true"; }

private:
    QProcess process_;
    bool ok_ = false;
    QString error_;
};

}  // namespace zelq::test

// In a test body: skips (or, under CI, fails) the test when the server did not start.
#define ZELQ_REQUIRE_SOUND_SERVER(server)                                                               \
    do {                                                                                                \
        if (!(server).ok()) {                                                                           \
            if (::zelq::test::PrivateSoundServer::required()) {                                         \
                FAIL() << "the private sound server did not start: " << (server).error().toStdString(); \
            }                                                                                           \
            GTEST_SKIP() << "no private sound server here (" << (server).error().toStdString()          \
                         << "); scripts/install-deps.sh installs what it needs";                        \
        }                                                                                               \
    } while (false)
