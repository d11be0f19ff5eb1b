#pragma once
// The countdown before a scripted recording: large numbers on the monitor that will be recorded, one a
// second, gone before the recording's first frame is grabbed. UI thread only.

#include <QRect>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace zelq::control {

class Countdown : public QWidget {
    Q_OBJECT
public:
    // Counts `seconds` down on the monitor holding `recorded` (screen pixels), then hides and, once the
    // window is off the screen, runs `done`. Destroying it cancels: `done` never runs.
    Countdown(int seconds, const QRect& recorded, std::function<void()> done);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    int left_;
    QTimer timer_;
    std::function<void()> done_;
};

}  // namespace zelq::control
