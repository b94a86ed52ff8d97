#pragma once

#include <QRectF>
#include <QSizeF>

// Where the elements of the Time Servers window go for a given client area. Every length
// is in twips (1/1440 inch; 15 twips make a pixel at 96 dots per inch), so the window keeps
// its proportions on any screen density.
struct HostsLayout {
    static constexpr double DesignWidth = 7695;    // twips, client area
    static constexpr double DesignHeight = 5490;   // twips, client area
    static constexpr double MinOuterWidth = 7815;  // twips, window with its frame
    static constexpr double MinOuterHeight = 6000; // twips, window with its frame
    static constexpr double ButtonHeight = 375;    // twips
    static constexpr double FrameHeight = 705;     // twips
    static constexpr double ClockLeft = 30;        // twips, inside its frame
    static constexpr double ClockTop = 180;        // twips, inside its frame
    static constexpr double ClockHeight = 405;     // twips
    static constexpr double ProgressWidth = 795;   // twips
    static constexpr double ProgressHeight = 225;  // twips
    static constexpr double CorrectionWidth = 1200;         // twips
    static constexpr double LastSynchronizationWidth = 2200; // twips
    static constexpr double ScrollBarRoom = 400;             // twips

    // The heights that the desktop's fonts may need beyond the design values, in twips.
    struct Heights {
        double statusBar = 0;
        double button = ButtonHeight;
        double frame = FrameHeight;
        double clockTop = ClockTop;
        double clock = ClockHeight;
    };

    static HostsLayout arrange(const QSizeF &client, const Heights &heights);

    QRectF cmdNew, cmdEdit, cmdDelete, cmdTest; // in the client area
    QRectF Frame1, Frame2;                      // in the client area
    QRectF lblLocal, lblUniversal;              // inside their frames
    QRectF ListView1;                           // in the client area
    QRectF StatusBar1;                          // in the client area
    QRectF ProgressBar1;                        // in the client area, over the status bar
    double columnTimeServer = 0;
    double columnLastSynchronization = 0;
    double columnCorrection = 0;
};
