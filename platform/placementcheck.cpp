#include "platform/placementcheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <optional>

#include "platform/tilingipc.h"
#include "platform/windowplacement.h"

namespace zelq {

namespace {

constexpr int kPollMs = 25;
// Where asked and held there this long: the window manager has finished with it.
constexpr int kMatchHoldMs = 500;
// Elsewhere and held there this long: the window manager has had its say, and it was no. Longer than a
// match needs, so that a window manager slowed down by a busy machine is not taken for one that refuses.
constexpr int kMismatchHoldMs = 1000;
// Whatever is still moving after this is judged as it is.
constexpr int kGiveUpMs = 5000;
// A window shown a moment ago may not be known to the window manager yet, which then finds no window for
// the command: it is sent again after this.
constexpr int kResendMs = 100;
// A window manager that took the command may still have the window elsewhere: sway, busy, takes the size
// of a picture the window drew before the command for the size the window has chosen. The command is
// given again this many times before the window manager is taken to refuse.
constexpr int kRepeats = 2;

// Qt rounds logical bounds from screen pixels, so an edge may be a pixel off.
bool near(const QRect& a, const QRect& b) {
    const auto close = [](int x, int y) { return std::abs(x - y) <= 1; };
    return close(a.left(), b.left()) && close(a.top(), b.top()) && close(a.right(), b.right()) &&
           close(a.bottom(), b.bottom());
}

class PlacementWatch final : public QObject {
public:
    PlacementWatch(QWidget* window, const QRect& asked, bool commandAtOnce, PlacementDone done)
        : QObject(window), window_(window), asked_(asked), done_(std::move(done)) {
        // One judgement a window: an older one would report on bounds asked for before.
        for (QObject* child : window->children()) {
            if (auto* older = dynamic_cast<PlacementWatch*>(child); older && older != this)
                older->drop();
        }
        total_.start();
        stable_.start();
        if (commandAtOnce)
            command();
        connect(&timer_, &QTimer::timeout, this, [this] { step(); });
    }

    void startPolling() {
        if (!finished_)
            timer_.start(kPollMs);
    }

    // One look at the window; true once the outcome is known (or the window has gone from the screen).
    bool step() {
        if (finished_)
            return true;
        if (!window_->isVisible())
            return finish(std::nullopt);
        if (commanded_ && !sent_) {
            if (total_.elapsed() >= kGiveUpMs)
                return finish(
                    PlacementResult{Placement::Refused, placedBounds(window_).value_or(QRect()), why_});
            if (sinceSent_.elapsed() >= kResendMs)
                send();
            if (!sent_)
                return false;
        }
        const std::optional<QRect> now = placedBounds(window_);
        if (now != last_) {
            last_ = now;
            stable_.restart();
        }
        // Placed by commands, the window is judged where asked only once Qt has taken the new bounds in
        // too: Qt hears of them some time after the X server has them, and until then a recording of the
        // window's rectangle would be told the old ones.
        const bool there =
            now && near(*now, asked_) && (!commanded_ || near(window_->frameGeometry(), asked_));
        const qint64 held = stable_.elapsed();
        if (there && held >= kMatchHoldMs)
            return finish(PlacementResult{commanded_ ? Placement::ByCommand : Placement::AsAsked, *now, {}});
        if ((!there && held >= kMismatchHoldMs) || total_.elapsed() >= kGiveUpMs) {
            if (!commanded_) {
                command();
            } else if (repeats_ < kRepeats) {
                ++repeats_;
                total_.restart();
                send();
            } else {
                return finish(PlacementResult{Placement::Refused, now.value_or(QRect()), why_});
            }
        }
        return finished_;
    }

    const PlacementResult& result() const { return result_; }

private:
    // Asks the window manager to float the window where asked, and starts judging afresh.
    void command() {
        commanded_ = true;
        socket_ = tilingIpcSocket();
        if (socket_.isEmpty()) {
            finish(PlacementResult{Placement::NoCommands, last_.value_or(QRect()), {}});
            return;
        }
        total_.restart();
        send();
    }

    void send() {
        sinceSent_.restart();
        why_ = runTilingCommand(socket_,
                                floatWindowCommand(static_cast<std::uint32_t>(window_->winId()), asked_));
        sent_ = why_.isEmpty();
        if (sent_)
            stable_.restart();
    }

    bool finish(std::optional<PlacementResult> outcome) {
        if (finished_)
            return true;
        finished_ = true;
        timer_.stop();
        deleteLater();
        if (outcome) {
            result_ = *outcome;
            if (done_)
                done_(result_);
        }
        return true;
    }

    void drop() {
        finished_ = true;
        timer_.stop();
        deleteLater();
    }

    QWidget* window_;
    QRect asked_;
    PlacementDone done_;
    QTimer timer_;
    QElapsedTimer total_;
    QElapsedTimer stable_;
    QElapsedTimer sinceSent_;
    std::optional<QRect> last_;
    QString socket_;
    bool commanded_ = false;
    bool sent_ = false;
    int repeats_ = 0;
    bool finished_ = false;
    QString why_;
    PlacementResult result_;
};

}  // namespace

void checkPlacement(QWidget* window, const QRect& asked, PlacementDone done) {
    (new PlacementWatch(window, asked, false, std::move(done)))->startPolling();
}

void placeByCommand(QWidget* window, const QRect& asked, PlacementDone done) {
    (new PlacementWatch(window, asked, true, std::move(done)))->startPolling();
}

PlacementResult placeByCommandNow(QWidget* window, const QRect& asked) {
    PlacementResult outcome{Placement::Refused, {}, {}};
    bool known = false;
    const QPointer<PlacementWatch> watch =
        new PlacementWatch(window, asked, true, [&](const PlacementResult& r) {
            outcome = r;
            known = true;
        });
    // The watch ends itself within its time limit, or when the window leaves the screen.
    while (watch && !watch->step()) {
        // No user input meanwhile: a click now would act on a window that is still on its way.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
    if (!known)
        outcome.at = placedBounds(window).value_or(QRect());
    return outcome;
}

}  // namespace zelq
