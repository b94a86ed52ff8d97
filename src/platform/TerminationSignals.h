#pragma once

#include <QObject>

#include <memory>

// Turns the system's requests to end the program (SIGTERM, SIGINT, SIGHUP on Linux) into
// closeRequested(), delivered through the event loop of the thread that owns this object,
// never from inside the signal handler. Once installed, these signals no longer end the
// process by themselves: whoever listens runs the shutdown.
//
// One object at a time per process: the system delivers a signal to the whole process.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override; // gives the signals back their previous handling

    // Starts catching the signals. A signal that was ignored when the program started
    // (as under nohup, or for a background job of a script) stays ignored. False when
    // another object has installed already or the system refused; nothing is changed then.
    bool install();

signals:
    void closeRequested();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
