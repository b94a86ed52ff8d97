#include "ui/HostsLayout.h"

HostsLayout HostsLayout::arrange(const QSizeF &client, const Heights &heights)
{
    const double sw = client.width();
    const double sh = client.height();
    HostsLayout l;

    l.StatusBar1 = QRectF(0, sh - heights.statusBar, sw, heights.statusBar);

    // Four buttons of equal width: 50 margin, three gaps of 15, 50 margin.
    const double buttonTop = sh - heights.statusBar - 50 - heights.button;
    const double buttonWidth = (sw - 145) / 4;
    l.cmdNew = QRectF(50, buttonTop, buttonWidth, heights.button);
    l.cmdEdit = QRectF(l.cmdNew.right() + 15, buttonTop, buttonWidth, heights.button);
    l.cmdDelete = QRectF(l.cmdEdit.right() + 15, buttonTop, buttonWidth, heights.button);
    l.cmdTest = QRectF(l.cmdDelete.right() + 15, buttonTop, buttonWidth, heights.button);

    const double frameWidth = (sw - 150) / 2;
    l.Frame1 = QRectF(50, 50, frameWidth, heights.frame);
    l.Frame2 = QRectF(l.Frame1.right() + 50, 50, frameWidth, heights.frame);
    l.lblLocal = QRectF(ClockLeft, heights.clockTop, l.Frame1.width() - 75, heights.clock);
    l.lblUniversal = QRectF(ClockLeft, heights.clockTop, l.Frame2.width() - 75, heights.clock);

    const double listTop = l.Frame1.bottom() + 50;
    l.ListView1 = QRectF(50, listTop, sw - 100, buttonTop - 50 - listTop);
    l.columnCorrection = CorrectionWidth;
    l.columnLastSynchronization = LastSynchronizationWidth;
    l.columnTimeServer = l.ListView1.width() - ScrollBarRoom - CorrectionWidth - LastSynchronizationWidth;

    // 300 from the right edge to its right end, 45 below the status bar's top.
    l.ProgressBar1 = QRectF(sw - ScrollBarRoom - ProgressWidth + 100, l.StatusBar1.top() + 45, ProgressWidth, ProgressHeight);
    return l;
}
