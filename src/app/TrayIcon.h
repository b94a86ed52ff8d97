#pragma once

#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QAction;

// The one icon in the notification area with its pop-up menu. It only shows what it is
// given and reports what the user chose; the main object decides both.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Adds the icon with the picture at image index 1..12 and the tool tip; it shows where
    // the desktop can place it (placeable()).
    void add(int index, const QString &toolTip);
    // Changes picture and tool tip in place; a change to what is shown already is skipped,
    // so an unchanged icon costs the desktop nothing.
    void change(int index, const QString &toolTip);
    void remove();

    // The menu and its items, named as the program knows them.
    QMenu mnuSysTray;
    QAction *mnuSynchronize = nullptr;
    QMenu *mnuSynchronize0 = nullptr;
    QAction *mnuSynchronize1 = nullptr; // "Minute"
    QAction *mnuSynchronize2 = nullptr; // "Hour"
    QAction *mnuSynchronize3 = nullptr; // "Day"
    QAction *mnuPause = nullptr;
    QAction *mnuHostList = nullptr;
    QAction *mnuHostDefaults = nullptr;
    QAction *mnuHomePage = nullptr;
    QAction *mnuFeedback = nullptr;
    QAction *mnuAbout = nullptr;
    QAction *mnuHelp = nullptr;
    QAction *mnuExit = nullptr;

    // True where Qt can place an icon: a notification area over D-Bus (StatusNotifierItem),
    // or the X11 platform, whose tray may also come later.
    static bool placeable();

    QSystemTrayIcon &icon() { return mIcon; }
    int shownIndex() const { return mIndex; }
    QString shownToolTip() const { return mToolTip; }

signals:
    void leftPressed();
    // The menu is about to open: time to set its items' states.
    void menuAboutToShow();

private:
    QSystemTrayIcon mIcon;
    int mIndex = 0;
    QString mToolTip;
};
