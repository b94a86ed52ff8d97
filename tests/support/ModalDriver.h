#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the modal dialogs and message boxes that a command opens, one step per dialog in
// the order they appear, so that no test waits for a person. A dialog that appears when no
// step is left, or a step whose dialog never comes, is counted as unexpected or missing;
// either way every modal is closed within the time limit.
class ModalDriver
{
public:
    using Step = std::function<void(QWidget *)>;
    static constexpr int PollInterval = 10; // milliseconds
    static constexpr int TimeLimit = 5000;  // milliseconds

    explicit ModalDriver(QList<Step> steps) : mSteps(std::move(steps))
    {
        mClock.start();
        mTimer.setInterval(PollInterval);
        QObject::connect(&mTimer, &QTimer::timeout, [this] { poll(); });
        mTimer.start();
    }

    int unexpected = 0; // modals that came when no step was left
    int answered = 0;   // steps taken
    bool missing() const { return answered < mSteps.size(); }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != mLast && modal->isVisible()) {
            mLast = modal;
            if (answered < mSteps.size()) {
                mSteps.at(answered++)(modal);
            } else {
                ++unexpected;
                modal->close();
            }
        }
        if (mClock.elapsed() > TimeLimit) {
            while (QWidget *left = QApplication::activeModalWidget()) {
                left->close();
                QApplication::processEvents();
                if (left == QApplication::activeModalWidget())
                    break;
            }
            mTimer.stop();
        }
    }

    QList<Step> mSteps;
    QPointer<QWidget> mLast;
    QTimer mTimer;
    QElapsedTimer mClock;
};
