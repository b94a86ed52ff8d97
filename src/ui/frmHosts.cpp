#include "ui/frmHosts.h"

#include "state/ProgramState.h"
#include "format/Format.h"
#include "format/TimeTexts.h"
#include "platform/Pictures.h"
#include "platform/SystemClock.h"
#include "ui/HostRows.h"
#include "ui/HostsLayout.h"
#include "ui/Twips.h"
#include "ui/frmEdit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

namespace {

constexpr double ImageSize = 240;        // twips: 16 pixels at 96 dots per inch
constexpr double ClockPadding = 45;      // twips between a clock and its frame's border
constexpr double ClockFontScale = 18.0 / 8.25; // the clocks' size against the window's font
const QColor UniversalBlue(0, 0, 192);

const QString LocalTimeCaption = QStringLiteral("Local Time");
constexpr int ListColumns = 3; // Time Server, Last Synchronization, Correction

// An entry of the list, in the list's order.
class HostItem final : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override { return HostRows::listsBefore(text(0), other.text(0)); }
};

} // namespace

frmHosts::frmHosts(ProgramState &state, quint16 port, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , Frame1(new QGroupBox(LocalTimeCaption, this))
    , lblLocal(new QLabel(Frame1))
    , Frame2(new QGroupBox(QStringLiteral("Universal Time"), this))
    , lblUniversal(new QLabel(Frame2))
    , ListView1(new QTreeWidget(this))
    , cmdNew(new QPushButton(QStringLiteral("New"), this))
    , cmdEdit(new QPushButton(QStringLiteral("Edit"), this))
    , cmdDelete(new QPushButton(QStringLiteral("Delete"), this))
    , cmdTest(new QPushButton(QStringLiteral("Synchronize"), this))
    , StatusBar1(new QStatusBar(this))
    , ProgressBar1(new QProgressBar(this))
    , mState(state)
    , mClient(state, port)
    , mStatusText(new QLabel(StatusBar1))
{
    setWindowTitle(QStringLiteral("Time Servers"));
    setWindowIcon(Pictures::clockFace());
    createClocks();
    createServerList();
    createButtons();
    createStatusBar();
    createAccessibleNames();
    connectEvents();

    applyFonts();
    // Load: the list, the first entry selected so that the keys work at once, the clocks.
    RefreshServerList();
    if (ListView1->topLevelItemCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));
    ListView1->setFocus();
    tmrHeaders.start();
    tmrHeaders_Timer(); // the clocks are never shown empty, not even for the first tick
    resize(Twips(*this).toPixels(QSizeF(HostsLayout::DesignWidth, HostsLayout::DesignHeight)));
    ArrangeControls();
}

void frmHosts::createClocks()
{
    lblLocal->setAlignment(Qt::AlignCenter);
    lblUniversal->setAlignment(Qt::AlignCenter);
    // The universal clock and its frame's caption are dark blue.
    QPalette blue = Frame2->palette();
    blue.setColor(QPalette::WindowText, UniversalBlue);
    blue.setColor(QPalette::Text, UniversalBlue);
    Frame2->setPalette(blue);
}

void frmHosts::createServerList()
{
    ListView1->setColumnCount(ListColumns);
    ListView1->setHeaderLabels({QStringLiteral("Time Server"), QStringLiteral("Last Synchronization"), QStringLiteral("Correction")});
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers); // addresses change only by Edit
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setSectionsClickable(false);
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
}

void frmHosts::createButtons()
{
    cmdNew->setIcon(Pictures::buttonPicture(Pictures::Button::New));
    cmdEdit->setIcon(Pictures::buttonPicture(Pictures::Button::Edit));
    cmdDelete->setIcon(Pictures::buttonPicture(Pictures::Button::Delete));
    cmdTest->setIcon(Pictures::buttonPicture(Pictures::Button::Synchronize));
    for (QPushButton *button : {cmdNew, cmdEdit, cmdDelete, cmdTest})
        button->setAutoDefault(false);
}

void frmHosts::createStatusBar()
{
    // The status text names servers: an address is shown as typed, never read as markup.
    mStatusText->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(mStatusText, 1);
    StatusBar1->setSizeGripEnabled(true);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
}

void frmHosts::createAccessibleNames()
{
    // What a screen reader speaks. The frames are named by their captions and the clocks
    // and the status text by what they show, so those keep their texts as their names.
    lblLocal->setAccessibleDescription(QStringLiteral("Local time"));
    lblUniversal->setAccessibleDescription(QStringLiteral("Universal time"));
    ListView1->setAccessibleName(QStringLiteral("Time servers"));
    ListView1->setAccessibleDescription(QStringLiteral("Checked servers take part in automatic synchronization"));
    cmdNew->setAccessibleName(QStringLiteral("New time server"));
    cmdEdit->setAccessibleName(QStringLiteral("Edit time server"));
    cmdDelete->setAccessibleName(QStringLiteral("Delete time server"));
    cmdTest->setAccessibleName(QStringLiteral("Synchronize with the selected time server"));
    StatusBar1->setAccessibleName(QStringLiteral("Status"));
    mStatusText->setAccessibleDescription(QStringLiteral("Status"));
    ProgressBar1->setAccessibleName(QStringLiteral("Waiting for the time server"));

    // The list first, then the buttons left to right.
    setTabOrder(ListView1, cmdNew);
    setTabOrder(cmdNew, cmdEdit);
    setTabOrder(cmdEdit, cmdDelete);
    setTabOrder(cmdDelete, cmdTest);
}

void frmHosts::connectEvents()
{
    connect(cmdNew, &QPushButton::clicked, this, &frmHosts::cmdNew_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmHosts::cmdEdit_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmHosts::cmdDelete_Click);
    connect(cmdTest, &QPushButton::clicked, this, &frmHosts::cmdTest_Click);
    connect(&mClient, &ManualClient::Waiting, this, &frmHosts::tcpClient_Waiting);
    connect(&mClient, &ManualClient::Finished, this, &frmHosts::tcpClient_Finished);
    tmrHeaders.setInterval(HeaderInterval);
    connect(&tmrHeaders, &QTimer::timeout, this, &frmHosts::tmrHeaders_Timer);
    Timer1.setInterval(ProgressInterval);
    connect(&Timer1, &QTimer::timeout, this, &frmHosts::Timer1_Timer);
}

void frmHosts::applyFonts()
{
    // The desktop's own fonts: the frames' captions bold at the window's size, the clocks
    // large and bold.
    const QFont base = font();
    QFont caption = base;
    caption.setBold(true);
    Frame1->setFont(caption);
    Frame2->setFont(caption);
    QFont clock = base;
    if (base.pointSizeF() > 0)
        clock.setPointSizeF(base.pointSizeF() * ClockFontScale);
    else
        clock.setPixelSize(qRound(base.pixelSize() * ClockFontScale));
    clock.setBold(true);
    lblLocal->setFont(clock);
    lblUniversal->setFont(clock);
}

void frmHosts::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange) {
        applyFonts();
        ArrangeControls();
    }
}

void frmHosts::RefreshServerList()
{
    mState.HostsShowing = WindowShowing::Open;
    ListView1->clear();
    for (qint32 i = 1; i <= mState.Hosts.count(); ++i) {
        if (const clsHosts::HostRef record = mState.Hosts.Item(i))
            addEntry(*record);
    }
}

QTreeWidgetItem *frmHosts::addEntry(const clsHost &record)
{
    auto *item = new HostItem(ListView1);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setData(0, KeyRole, record.HostPath());
    setCell(item, 0, HostRows::serverCell(record.HostPath()));
    item->setCheckState(0, HostRows::isChecked(record) ? Qt::Checked : Qt::Unchecked);
    showRecord(item, record);
    return item;
}

void frmHosts::showRecord(QTreeWidgetItem *item, const clsHost &record)
{
    setState(item, HostRows::stateOfStatus(record.HostStatus()));
    setCell(item, 1, HostRows::lastSynchronizationCell(record, mState.Clock.now()));
    setCell(item, 2, HostRows::correctionCell(record));
}

void frmHosts::ArrangeControls()
{
    if (isMinimized())
        return;
    const Twips twips(*this);
    if (!isMaximized() && !isFullScreen()) {
        // The smallest outer size; the frame around the client area is the window
        // manager's, so its share is measured.
        const QSize minimumOuter = twips.toPixels(QSizeF(HostsLayout::MinOuterWidth, HostsLayout::MinOuterHeight));
        const QSize frame = frameGeometry().size() - size();
        const QSize minimumClient = minimumOuter - frame;
        if (minimumSize() != minimumClient)
            setMinimumSize(minimumClient);
        if (width() < minimumClient.width() || height() < minimumClient.height()) {
            resize(qMax(width(), minimumClient.width()), qMax(height(), minimumClient.height()));
            return; // the resize lays the window out again
        }
    }

    // The design's heights, or more where the desktop's fonts need it.
    HostsLayout::Heights heights;
    heights.statusBar = twips.fromY(StatusBar1->sizeHint().height());
    heights.button = qMax(HostsLayout::ButtonHeight, twips.fromY(cmdNew->sizeHint().height()));
    // The clock sits inside its frame's border, below the caption, which the style may
    // draw taller than the design's.
    const QMargins border = Frame1->contentsMargins();
    heights.clock = qMax(HostsLayout::ClockHeight, twips.fromY(lblLocal->fontMetrics().height()));
    heights.clockTop = qMax(HostsLayout::ClockTop, twips.fromY(border.top()) + ClockPadding);
    heights.frame = qMax(HostsLayout::FrameHeight, heights.clockTop + heights.clock + ClockPadding + twips.fromY(border.bottom()));

    const HostsLayout layout = HostsLayout::arrange(QSizeF(twips.fromX(width()), twips.fromY(height())), heights);
    StatusBar1->setGeometry(0, height() - StatusBar1->sizeHint().height(), width(), StatusBar1->sizeHint().height());
    cmdNew->setGeometry(twips.toPixels(layout.cmdNew));
    cmdEdit->setGeometry(twips.toPixels(layout.cmdEdit));
    cmdDelete->setGeometry(twips.toPixels(layout.cmdDelete));
    cmdTest->setGeometry(twips.toPixels(layout.cmdTest));
    Frame1->setGeometry(twips.toPixels(layout.Frame1));
    Frame2->setGeometry(twips.toPixels(layout.Frame2));
    lblLocal->setGeometry(twips.toPixels(layout.lblLocal));
    lblUniversal->setGeometry(twips.toPixels(layout.lblUniversal));
    ListView1->setGeometry(twips.toPixels(layout.ListView1));
    ListView1->setColumnWidth(0, twips.x(layout.columnTimeServer));
    ListView1->setColumnWidth(1, twips.x(layout.columnLastSynchronization));
    ListView1->setColumnWidth(2, twips.x(layout.columnCorrection));
    ProgressBar1->setGeometry(twips.toPixels(layout.ProgressBar1));
    ProgressBar1->raise();

    const QSize image = twips.toPixels(QSizeF(ImageSize, ImageSize));
    ListView1->setIconSize(image);
    for (QPushButton *button : {cmdNew, cmdEdit, cmdDelete, cmdTest})
        button->setIconSize(image);
}

void frmHosts::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ArrangeControls();
}

void frmHosts::tmrHeaders_Timer()
{
    qint32 bias = 0; // minutes
    if (!GetTimeZoneBias(mState.Zone, bias))
        return;
    const QString offset = FormatOffset(bias);
    const QString caption = offset.isEmpty() ? LocalTimeCaption : LocalTimeCaption + QStringLiteral(" (") + offset + QLatin1Char(')');
    // Assigned only on change, so that the ticks repaint nothing that stays the same.
    if (Frame1->title() != caption)
        Frame1->setTitle(caption);

    const Date now = mState.Clock.now();
    const auto seconds = DateTime::toSerialSeconds(now);
    if (!seconds)
        return;
    const QString local = FormatLongTime(DateTime::timeOf(now));
    if (lblLocal->text() != local)
        lblLocal->setText(local);
    // Universal time = local time + bias, the day carried over; only the time is shown.
    const QTime universalTime = DateTime::timeOf(DateTime::fromSerialSeconds(*seconds + qint64(bias) * 60));
    if (!universalTime.isValid())
        return;
    const QString universal = FormatLongTime(universalTime);
    if (lblUniversal->text() != universal)
        lblUniversal->setText(universal);
}

QString frmHosts::GetInput(const QString &theTitle, const QString &thePrompt, const QString &theValue)
{
    frmEdit dialog(this);
    dialog.setWindowTitle(theTitle);
    dialog.setPrompt(thePrompt);
    dialog.Text1->setText(theValue);
    if (!dialog.Text1->text().isEmpty()) {
        dialog.Text1->deselect();
        dialog.Text1->setCursorPosition(int(dialog.Text1->text().size()));
    }
    dialog.exec();
    return dialog.Value;
}

namespace {

// The messages of the list's commands are plain text: an address in them is shown as
// typed, never read as markup.
void showDuplicate(QWidget *owner)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Error: Duplicate Time Server"),
                    QStringLiteral("That time server has already been added to the list"), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool confirmDelete(QWidget *owner, const QString &address)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Delete Time Server?"),
                    QStringLiteral("Are you sure you want to delete the '%1' time server?").arg(address),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

void frmHosts::cmdNew_Click()
{
    for (;;) {
        const QString address = GetInput(QStringLiteral("New Time Server"), QStringLiteral("IP address of new time server:"), QString());
        if (address.isEmpty())
            break;
        const clsHosts::HostRef record = mState.Hosts.AddServer(address);
        if (!record) {
            showDuplicate(this);
            continue;
        }
        // The new entry is not selected, but it is brought into view.
        QTreeWidgetItem *item = addEntry(*record);
        sortList();
        ListView1->scrollToItem(item);
        break;
    }
    ListView1->setFocus();
}

void frmHosts::cmdEdit_Click()
{
    QTreeWidgetItem *item = selectedItem();
    const QString key = keyOf(item);
    if (item && mState.Hosts.FindPathname(key) != -1) {
        for (;;) {
            const QString address = GetInput(QStringLiteral("Edit Time Server"), QStringLiteral("New IP address of time server:"), key);
            if (address.isEmpty() || mState.Hosts.FindPathname(key) == -1)
                break;
            // The edited server counts too: saving the address unchanged is a duplicate.
            const clsHosts::HostRef record = mState.Hosts.ChangeServer(key, address);
            if (!record) {
                showDuplicate(this);
                continue;
            }

            item->setData(0, KeyRole, address);
            setCell(item, 0, HostRows::serverCell(address));
            setBold(item, false);
            showRecord(item, *record);
            sortList();
            ListView1->scrollToItem(item);
            break;
        }
    }
    ListView1->setFocus();
}

void frmHosts::cmdDelete_Click()
{
    if (QTreeWidgetItem *item = selectedItem()) {
        const QString key = keyOf(item);
        if (confirmDelete(this, key) && mState.Hosts.RemoveServer(key))
            delete item;
    }
    ListView1->setFocus();
}

void frmHosts::cmdTest_Click()
{
    if (ListView1->topLevelItemCount() == 0 || mClient.busy())
        return;
    QTreeWidgetItem *item = selectedItem();
    if (!item) {
        setStatusText(QStringLiteral("Error: no time server selected"));
        return;
    }
    BeginBusy();
    setState(item, RowState::Asking);
    mClient.Start(keyOf(item));
}

void frmHosts::tcpClient_Waiting(const QString &text)
{
    setStatusText(text);
}

void frmHosts::tcpClient_Finished(const ManualOutcome &outcome)
{
    if (QTreeWidgetItem *item = itemOf(outcome.host)) {
        const clsHosts::HostRef record = mState.Hosts.Item(mState.Hosts.FindPathname(outcome.host));
        switch (outcome.result) {
        case ManualOutcome::Succeeded:
            if (record)
                showRecord(item, *record);
            setState(item, RowState::Succeeded);
            break;
        case ManualOutcome::Failed:
            setState(item, RowState::Failed);
            break;
        case ManualOutcome::NotStarted:
            // Nothing was asked: the entry shows its record's state again.
            setState(item, record ? HostRows::stateOfStatus(record->HostStatus()) : RowState::NotTried);
            break;
        }
        if (outcome.bold)
            setBold(item, *outcome.bold);
    }
    setStatusText(outcome.statusText);
    EndBusy();
}

void frmHosts::Timer1_Timer()
{
    // The bar measures time: full after 19 ticks; on the 20th, 20 seconds in, the server
    // has had its chance.
    if (ProgressBar1->value() < ProgressBar1->maximum())
        ProgressBar1->setValue(ProgressBar1->value() + 1);
    else
        mClient.GiveUp();
}

void frmHosts::BeginBusy()
{
    for (QWidget *control : {static_cast<QWidget *>(cmdNew), static_cast<QWidget *>(cmdEdit), static_cast<QWidget *>(cmdDelete),
                             static_cast<QWidget *>(cmdTest), static_cast<QWidget *>(ListView1)})
        control->setEnabled(false);
    setCursor(Qt::WaitCursor);
    ProgressBar1->setRange(1, ProgressMaximum);
    ProgressBar1->setValue(1);
    ProgressBar1->show();
    Timer1.start();
}

void frmHosts::EndBusy()
{
    for (QWidget *control : {static_cast<QWidget *>(ListView1), static_cast<QWidget *>(cmdNew), static_cast<QWidget *>(cmdEdit),
                             static_cast<QWidget *>(cmdDelete), static_cast<QWidget *>(cmdTest)})
        control->setEnabled(true);
    ListView1->setFocus();
    unsetCursor();
    ProgressBar1->hide();
    Timer1.stop();
}

void frmHosts::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept(); // closing is never cancelled
}

void frmHosts::keyPressEvent(QKeyEvent *event)
{
    // The list and the buttons leave Escape to the window, which closes as its close
    // button does: the check boxes are taken over and the window is released.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmHosts::Form_Unload()
{
    if (mUnloaded)
        return;
    mUnloaded = true;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = ListView1->topLevelItem(i);
        mState.Hosts.SetServerActive(keyOf(item), item->checkState(0) == Qt::Checked);
    }
    mState.HostsShowing = WindowShowing::Closed;
    tmrHeaders.stop();
    Timer1.stop();
    mClient.Abandon();
    emit Unloaded();
}

bool frmHosts::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdEdit_Click();
            return true;
        }
        if (key == Qt::Key_Delete) {
            cmdDelete_Click();
            return true;
        }
    } else if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // The entry selected when the double-click arrives: the first click selected it.
        cmdEdit_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmHosts::setState(QTreeWidgetItem *item, RowState state)
{
    item->setIcon(0, Pictures::listStatus(HostRows::imageOf(state)));
    item->setData(0, StateRole, int(state));
    describe(item);
}

void frmHosts::setBold(QTreeWidgetItem *item, bool bold)
{
    QFont font = item->font(0);
    font.setBold(bold);
    item->setFont(0, font);
    describe(item);
}

void frmHosts::setCell(QTreeWidgetItem *item, int column, const HostRows::Cell &cell)
{
    item->setText(column, cell.shown);
    item->setData(column, Qt::AccessibleTextRole, cell.spoken);
}

frmHosts::RowState frmHosts::stateOf(const QTreeWidgetItem *item)
{
    return RowState(item->data(0, StateRole).toInt());
}

void frmHosts::describe(QTreeWidgetItem *item)
{
    // The picture and the bold type say the state to the eye; screen readers get it as the
    // description of every cell of the row, and the pointer as the row's tool tip.
    const QString text = HostRows::describeState(stateOf(item), item->font(0).bold());
    for (int column = 0; column < ListColumns; ++column) {
        item->setData(column, Qt::AccessibleDescriptionRole, text);
        item->setToolTip(column, text);
    }
}

QString frmHosts::keyOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, KeyRole).toString() : QString();
}

QTreeWidgetItem *frmHosts::itemOf(const QString &key) const
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        if (keyOf(ListView1->topLevelItem(i)) == key)
            return ListView1->topLevelItem(i);
    }
    return nullptr;
}

QTreeWidgetItem *frmHosts::selectedItem() const
{
    const QList<QTreeWidgetItem *> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void frmHosts::sortList()
{
    ListView1->sortItems(0, Qt::AscendingOrder);
}

QString frmHosts::statusText() const
{
    return mStatusText->text();
}

void frmHosts::setStatusText(const QString &text)
{
    mStatusText->setText(text);
}
