#include "app/TrayIcon.h"

#include "platform/Pictures.h"

#include <QAction>
#include <QGuiApplication>

TrayIcon::TrayIcon(QObject *parent) : QObject(parent)
{
    mnuSysTray.setTitle(QStringLiteral("Timer"));
    mnuSynchronize = mnuSysTray.addAction(QStringLiteral("Synchronize Now"));
    mnuSysTray.setDefaultAction(mnuSynchronize);
    mnuSynchronize0 = mnuSysTray.addMenu(QStringLiteral("Synchronize Every..."));
    mnuSynchronize1 = mnuSynchronize0->addAction(QStringLiteral("Minute"));
    mnuSynchronize2 = mnuSynchronize0->addAction(QStringLiteral("Hour"));
    mnuSynchronize3 = mnuSynchronize0->addAction(QStringLiteral("Day"));
    mnuPause = mnuSysTray.addAction(QStringLiteral("Pause Synchronization"));
    mnuSysTray.addSeparator();
    mnuHostList = mnuSysTray.addAction(QStringLiteral("Edit Time Servers..."));
    mnuHostDefaults = mnuSysTray.addAction(QStringLiteral("Restore Defaults"));
    mnuSysTray.addSeparator();
    mnuHomePage = mnuSysTray.addAction(QStringLiteral("Home Page..."));
    mnuFeedback = mnuSysTray.addAction(QStringLiteral("Report a Problem..."));
    mnuSysTray.addSeparator();
    mnuAbout = mnuSysTray.addAction(QStringLiteral("About Brindlecot..."));
    mnuHelp = mnuSysTray.addAction(QStringLiteral("Help..."));
    mnuSysTray.addSeparator();
    mnuExit = mnuSysTray.addAction(QStringLiteral("Exit"));

    for (QAction *item : { mnuSynchronize1, mnuSynchronize2, mnuSynchronize3, mnuPause })
        item->setCheckable(true);
    mnuSynchronize3->setChecked(true);

    connect(&mnuSysTray, &QMenu::aboutToShow, this, &TrayIcon::menuAboutToShow);
    connect(&mIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit leftPressed();
    });
    mIcon.setContextMenu(&mnuSysTray);
}

TrayIcon::~TrayIcon()
{
    mIcon.setContextMenu(nullptr);
}

void TrayIcon::add(int index, const QString &toolTip)
{
    mIndex = index;
    mToolTip = toolTip;
    mIcon.setIcon(Pictures::trayPicture(index));
    mIcon.setToolTip(toolTip);
    if (placeable())
        mIcon.show();
}

bool TrayIcon::placeable()
{
    // Without a StatusNotifierItem host Qt falls back to the X11 tray, which only the xcb
    // platform has: elsewhere (Wayland) that fallback can place nothing and only complains,
    // on every start, that the platform lacks the X11 tray's signal. Qt looks for a host
    // once a run, so one that comes later would not be used anyway.
    return QSystemTrayIcon::isSystemTrayAvailable() || QGuiApplication::platformName() == QLatin1String("xcb");
}

void TrayIcon::change(int index, const QString &toolTip)
{
    if (index != mIndex) {
        mIndex = index;
        mIcon.setIcon(Pictures::trayPicture(index));
    }
    if (toolTip != mToolTip) {
        mToolTip = toolTip;
        mIcon.setToolTip(toolTip);
    }
}

void TrayIcon::remove()
{
    mIcon.hide();
}
