#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

// The desktop's notification service, for a desktop where the program has no icon to show a
// message from. A notification may offer a default action (on most desktops, a click on the
// notification); the user's choice of it comes back as defaultActionInvoked().
class DesktopNotification : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotification(QObject *parent = nullptr);
    ~DesktopNotification() override;

    // Sends one notification. defaultAction: the label of its default action, offered where
    // the service shows actions; empty for none. False when no service is there to take it;
    // the notification is then the caller's to tell another way. Nothing waits for the
    // service's answer: the program goes on whatever the service does with it.
    bool send(const QString &title, const QString &text, const QImage &icon, const QString &defaultAction = QString());

signals:
    // The user chose the default action of a notification this object sent.
    void defaultActionInvoked();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
