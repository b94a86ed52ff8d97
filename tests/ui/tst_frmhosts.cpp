#include "ui/frmHosts.h"

#include "ModalDriver.h"
#include "ScriptedTimeServer.h"
#include "TestState.h"
#include "format/TimeTexts.h"
#include "platform/Pictures.h"
#include "ui/HostsLayout.h"
#include "ui/Twips.h"
#include "ui/frmEdit.h"
#include "TestMain.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTreeWidget>
#include <QTest>

namespace {

constexpr int EventWait = 5000; // milliseconds
const Date Now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
const Date EarlierToday = DateTime::fromParts(QDate(2004, 1, 6), QTime(9, 5, 0));

// What a dialog showed when a step answered it.
struct Seen {
    QString title;
    QString text;  // the prompt, or the message
    QString value; // the input's text when it opened
    bool caretAtEnd = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString inputName;                     // what a screen reader calls the input's text box
    Qt::TextFormat format = Qt::AutoText;  // how the message's text is read
};

QString accessibleName(QObject *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

ModalDriver::Step inputStep(const QString &typed, QList<Seen> *seen, bool save = true)
{
    return [=](QWidget *modal) {
        auto *dialog = qobject_cast<frmEdit *>(modal);
        QVERIFY2(dialog, "expected the input dialog");
        const int length = int(dialog->Text1->text().size());
        seen->append({dialog->windowTitle(), dialog->Label1->text(), dialog->Text1->text(),
                      dialog->Text1->cursorPosition() == length && !dialog->Text1->hasSelectedText(), QMessageBox::NoIcon, {},
                      accessibleName(dialog->Text1)});
        if (!save) {
            dialog->cmdCancel->click();
            return;
        }
        dialog->Text1->setText(typed);
        dialog->cmdSave->click();
    };
}

ModalDriver::Step cancelStep(QList<Seen> *seen)
{
    return inputStep(QString(), seen, false);
}

ModalDriver::Step boxStep(QMessageBox::StandardButton answer, QList<Seen> *seen)
{
    return [=](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY2(box, "expected a message box");
        seen->append({box->windowTitle(), box->text(), QString(), false, box->icon(), box->standardButtons(), QString(),
                      box->textFormat()});
        box->button(answer)->click();
    };
}

const QString Duplicate = QStringLiteral("That time server has already been added to the list");

// The next widget that Tab reaches.
QWidget *nextTabStop(QWidget *from)
{
    QWidget *next = from->nextInFocusChain();
    while (next != from && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

QImage picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

// What the row's state says in words.
const QString NotTried = QStringLiteral("Not tried since it was added or edited");
const QString Asking = QStringLiteral("Being asked for the time now");
const QString Succeeded = QStringLiteral("The last attempt succeeded");
const QString Failed = QStringLiteral("The last attempt by hand failed");
const QString NotBelieved = QStringLiteral(". Gave a time 30 minutes or more away from this computer's; not believed");

// The description that a screen reader gets for each cell of a row, and the row's tool tips;
// the one text when they all agree, else the texts joined by " | " so that a mismatch shows.
QString rowDescription(const frmHosts &window, int row)
{
    // A screen reader sees the rows that the list has laid out; a hidden window lays out
    // only when asked.
    window.ListView1->doItemsLayout();
    QAccessibleTableInterface *table = QAccessible::queryAccessibleInterface(window.ListView1)->tableInterface();
    QStringList texts;
    for (int column = 0; column < window.ListView1->columnCount(); ++column) {
        QAccessibleInterface *cell = table->cellAt(row, column);
        if (!cell)
            return QStringLiteral("no cell at row %1, column %2").arg(row).arg(column);
        texts << cell->text(QAccessible::Description);
        texts << window.ListView1->topLevelItem(row)->toolTip(column);
    }
    texts.removeDuplicates();
    return texts.join(QStringLiteral(" | "));
}

// What a screen reader gets for each cell of a row: its name, and for the first cell whether
// it can be checked and is.
struct SpokenRow {
    QStringList names;
    bool checkable = false;
    bool checked = false;
};

SpokenRow spokenRow(const frmHosts &window, int row)
{
    window.ListView1->doItemsLayout();
    QAccessibleTableInterface *table = QAccessible::queryAccessibleInterface(window.ListView1)->tableInterface();
    SpokenRow spoken;
    for (int column = 0; column < window.ListView1->columnCount(); ++column) {
        QAccessibleInterface *cell = table->cellAt(row, column);
        spoken.names << (cell ? cell->text(QAccessible::Name) : QStringLiteral("no cell"));
        if (cell && column == 0) {
            spoken.checkable = cell->state().checkable;
            spoken.checked = cell->state().checked;
        }
    }
    return spoken;
}

const QString NotSynchronizedYet = QStringLiteral("Not synchronized yet");

QString spokenText(const QString &shown)
{
    return shown == QStringLiteral(" ") ? NotSynchronizedYet : shown;
}

struct Rig : TestState {
    explicit Rig(const QStringList &paths = {}, quint16 port = TimeProtocol::Port) : TestState(300, Now)
    {
        for (const QString &path : paths)
            addHost(path);
        window = std::make_unique<frmHosts>(state, port);
    }

    QStringList hostPaths() const
    {
        QStringList paths;
        for (const auto &host : state.Hosts.mItems)
            paths << host->HostPath();
        return paths;
    }

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < window->ListView1->topLevelItemCount(); ++i)
            texts << window->ListView1->topLevelItem(i)->text(0);
        return texts;
    }

    QTreeWidgetItem *entry(int row) const { return window->ListView1->topLevelItem(row); }
    void select(int row) const { window->ListView1->setCurrentItem(entry(row)); }
    bool listHasFocus() const { return window->focusWidget() == window->ListView1; }

    std::unique_ptr<frmHosts> window;
};

} // namespace

class TestFrmHosts : public QObject
{
    Q_OBJECT

private slots:
    // ---- the list ----

    void entryOfARecord_data()
    {
        QTest::addColumn<qint16>("status");
        QTest::addColumn<int>("active");
        QTest::addColumn<double>("polled");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("image");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("lastSynchronization");
        QTest::addColumn<QString>("correction");
        QTest::addColumn<QString>("description");

        const QString blank = QStringLiteral(" ");
        const QString today = QStringLiteral("Today at 09:05 AM");
        QTest::newRow("never tried") << HostStatus::Untried << 1 << DateTime::Never << 0 << 1 << true << blank << blank
                                     << NotTried;
        QTest::newRow("succeeded, no correction") << HostStatus::Succeeded << 1 << EarlierToday << 0 << 2 << true
                                                  << today << QStringLiteral("None") << Succeeded;
        QTest::newRow("succeeded, 1 second") << HostStatus::Succeeded << 0 << EarlierToday << 1 << 2 << false << today
                                             << QStringLiteral("1 second") << Succeeded;
        QTest::newRow("succeeded, 95 seconds") << HostStatus::Succeeded << 2 << EarlierToday << 95 << 2 << false
                                               << today << QStringLiteral("2 minutes") << Succeeded;
        QTest::newRow("failed by hand, earlier success") << HostStatus::Failed << -1
                                                         << DateTime::fromParts(QDate(2004, 1, 5), QTime(21, 30, 0))
                                                         << 3 << 3 << false << QStringLiteral("Yesterday at 09:30 PM")
                                                         << QStringLiteral("3 seconds") << Failed;
        QTest::newRow("unknown status 5") << qint16(5) << 1 << DateTime::Never << 0 << 1 << true << blank << blank
                                          << NotTried;
    }

    void entryOfARecord()
    {
        QFETCH(qint16, status);
        QFETCH(int, active);
        QFETCH(double, polled);
        QFETCH(int, error);
        QFETCH(int, image);
        QFETCH(bool, checked);
        QFETCH(QString, lastSynchronization);
        QFETCH(QString, correction);
        QFETCH(QString, description);

        Rig rig;
        rig.addHost(QStringLiteral("127.0.0.1"), qint16(active), status, polled, error);
        rig.window->RefreshServerList();
        QCOMPARE(rig.state.HostsShowing, WindowShowing::Open);
        QTreeWidgetItem *item = rig.entry(0);
        QCOMPARE(frmHosts::keyOf(item), QStringLiteral("127.0.0.1"));
        QCOMPARE(item->text(0), QStringLiteral(" 127.0.0.1"));
        QCOMPARE(picture(item->icon(0)), picture(Pictures::listStatus(image)));
        QCOMPARE(item->checkState(0) == Qt::Checked, checked);
        QCOMPARE(item->text(1), lastSynchronization);
        QCOMPARE(item->text(2), correction);
        QVERIFY(!item->font(0).bold());
        QVERIFY(!(item->flags() & Qt::ItemIsEditable));
        QCOMPARE(rowDescription(*rig.window, 0), description);
        // Screen readers get the texts without the list's leading blank, and the check box.
        const SpokenRow spoken = spokenRow(*rig.window, 0);
        QCOMPARE(spoken.names, (QStringList{QStringLiteral("127.0.0.1"), spokenText(lastSynchronization), spokenText(correction)}));
        QVERIFY(spoken.checkable);
        QCOMPARE(spoken.checked, checked);

        // Closing writes the check box back: 1 or 0, whatever the value was.
        QSignalSpy unloaded(rig.window.get(), &frmHosts::Unloaded);
        rig.window->close();
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(rig.state.Hosts.Item(1)->HostActive(), qint16(checked ? 1 : 0));
        QCOMPARE(rig.state.HostsShowing, WindowShowing::Closed);
    }

    void listFollowsTheCollectionAndChecksGoBackOnClose()
    {
        Rig rig({QStringLiteral("b.example"), QStringLiteral("A.example"), QStringLiteral("c.example")});
        QCOMPARE(rig.entries(), (QStringList{QStringLiteral(" b.example"), QStringLiteral(" A.example"), QStringLiteral(" c.example")}));
        QCOMPARE(rig.window->ListView1->currentItem(), rig.entry(0));
        rig.entry(1)->setCheckState(0, Qt::Unchecked);
        // Checking changes nothing until the window closes.
        QCOMPARE(rig.state.Hosts.Item(2)->HostActive(), qint16(1));
        rig.window->close();
        QCOMPARE(rig.state.Hosts.Item(1)->HostActive(), qint16(1));
        QCOMPARE(rig.state.Hosts.Item(2)->HostActive(), qint16(0));
        QCOMPARE(rig.state.Hosts.Item(3)->HostActive(), qint16(1));
    }

    void emptyList()
    {
        Rig rig;
        QCOMPARE(rig.window->ListView1->topLevelItemCount(), 0);
        ModalDriver driver({});
        rig.window->cmdEdit_Click();
        rig.window->cmdDelete_Click();
        rig.window->cmdTest_Click();
        QVERIFY(rig.window->cmdNew->isEnabled());
        QCOMPARE(rig.window->statusText(), QString());
        QCOMPARE(driver.unexpected, 0);
        QSignalSpy unloaded(rig.window.get(), &frmHosts::Unloaded);
        rig.window->close();
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(rig.state.Hosts.count(), 0);
    }

    // ---- keyboard and screen readers ----

    void escapeCloses_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::newRow("on the list") << QStringLiteral("list");
        QTest::newRow("on a button") << QStringLiteral("button");
    }

    // Escape closes the window as its close button does: the check boxes are taken over,
    // HostsShowing is cleared and the window is unloaded, once.
    void escapeCloses()
    {
        QFETCH(QString, focus);
        Rig rig({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")});
        rig.window->show();
        QWidget *control = focus == QStringLiteral("list") ? static_cast<QWidget *>(rig.window->ListView1)
                                                           : static_cast<QWidget *>(rig.window->cmdEdit);
        control->setFocus();
        rig.entry(1)->setCheckState(0, Qt::Unchecked);
        QSignalSpy unloaded(rig.window.get(), &frmHosts::Unloaded);
        QTest::keyClick(control, Qt::Key_Escape);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!rig.window->isVisible());
        QCOMPARE(rig.state.HostsShowing, WindowShowing::Closed);
        QCOMPARE(rig.state.Hosts.Item(1)->HostActive(), qint16(1));
        QCOMPARE(rig.state.Hosts.Item(2)->HostActive(), qint16(0));
    }

    void keyboardAndNames()
    {
        Rig rig({QStringLiteral("127.0.0.1")});
        QCOMPARE(rig.window->focusWidget(), rig.window->ListView1);
        // Tab goes from the list through the buttons, left to right.
        const QList<QWidget *> order{rig.window->ListView1, rig.window->cmdNew, rig.window->cmdEdit, rig.window->cmdDelete,
                                     rig.window->cmdTest};
        for (int i = 0; i + 1 < order.size(); ++i)
            QCOMPARE(nextTabStop(order[i]), order[i + 1]);

        // Space switches the current server in and out of automatic use.
        rig.window->show();
        QCOMPARE(rig.entry(0)->checkState(0), Qt::Checked);
        QTest::keyClick(rig.window->ListView1, Qt::Key_Space);
        QCOMPARE(rig.entry(0)->checkState(0), Qt::Unchecked);

        // The clocks say the time inside frames that say which time it is.
        rig.window->tmrHeaders_Timer();
        const auto name = [](QWidget *control) { return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name); };
        QCOMPARE(name(rig.window->Frame1), QStringLiteral("Local Time (+05:00)"));
        QCOMPARE(name(rig.window->lblLocal), FormatLongTime(QTime(13, 41, 17)));
        QCOMPARE(name(rig.window->Frame2), QStringLiteral("Universal Time"));
        QCOMPARE(name(rig.window->lblUniversal), FormatLongTime(QTime(18, 41, 17)));
        QAccessibleInterface *clock = QAccessible::queryAccessibleInterface(rig.window->lblLocal);
        QCOMPARE(clock->parent()->object(), rig.window->Frame1);

        for (QWidget *control : {static_cast<QWidget *>(rig.window->ListView1), static_cast<QWidget *>(rig.window->cmdNew),
                                 static_cast<QWidget *>(rig.window->cmdEdit), static_cast<QWidget *>(rig.window->cmdDelete),
                                 static_cast<QWidget *>(rig.window->cmdTest), static_cast<QWidget *>(rig.window->ProgressBar1)}) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY(accessible);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), control->metaObject()->className());
        }
        // The columns are named by their headers.
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(rig.window->ListView1);
        QAccessibleTableInterface *table = list->tableInterface();
        QVERIFY(table);
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->columnDescription(1), QStringLiteral("Last Synchronization"));

        frmEdit dialog;
        for (QWidget *control : {static_cast<QWidget *>(dialog.Text1), static_cast<QWidget *>(dialog.cmdSave),
                                 static_cast<QWidget *>(dialog.cmdCancel)})
            QVERIFY(!QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty());
        QCOMPARE(nextTabStop(dialog.Text1), dialog.cmdCancel);
        QCOMPARE(nextTabStop(dialog.cmdCancel), dialog.cmdSave);
    }

    // ---- layout ----

    void layout_data()
    {
        QTest::addColumn<QSizeF>("client");
        QTest::addColumn<double>("button");
        QTest::addColumn<double>("frame");
        QTest::addColumn<double>("list");
        QTest::addColumn<double>("timeServerColumn");

        QTest::newRow("design size") << QSizeF(7695, 5490) << 1887.5 << 3772.5 << 7595.0 << 3795.0;
        QTest::newRow("twice as wide") << QSizeF(15390, 8000) << 3811.25 << 7620.0 << 15290.0 << 11490.0;
    }

    void layout()
    {
        QFETCH(QSizeF, client);
        QFETCH(double, button);
        QFETCH(double, frame);
        QFETCH(double, list);
        QFETCH(double, timeServerColumn);

        HostsLayout::Heights heights;
        heights.statusBar = 300;
        const HostsLayout l = HostsLayout::arrange(client, heights);
        QCOMPARE(l.cmdNew.width(), button);
        QCOMPARE(l.cmdNew.left(), 50.0);
        QCOMPARE(l.cmdEdit.left(), 50 + button + 15);
        QCOMPARE(l.cmdTest.right(), client.width() - 50);
        QCOMPARE(l.cmdTest.top(), client.height() - 300 - 50 - 375);
        QCOMPARE(l.Frame1.width(), frame);
        QCOMPARE(l.Frame2.left(), 50 + frame + 50);
        QCOMPARE(l.Frame1.height(), 705.0);
        QCOMPARE(l.lblLocal.width(), frame - 75);
        QCOMPARE(l.ListView1.width(), list);
        QCOMPARE(l.ListView1.top(), 50.0 + 705 + 50);
        QCOMPARE(l.ListView1.bottom(), l.cmdNew.top() - 50);
        QCOMPARE(l.columnTimeServer, timeServerColumn);
        QCOMPARE(l.columnLastSynchronization, 2200.0);
        QCOMPARE(l.columnCorrection, 1200.0);
        QCOMPARE(l.ProgressBar1, QRectF(client.width() - 1095, client.height() - 300 + 45, 795, 225));
    }

    void twipsFollowTheScreenDensity()
    {
        QCOMPARE(Twips(96, 96).toPixels(QSizeF(7695, 5490)), QSize(513, 366));
        QCOMPARE(Twips(192, 192).toPixels(QSizeF(7695, 5490)), QSize(1026, 732));
        QCOMPARE(Twips(144, 144).x(1887.5), 189);
    }

    void minimumSize()
    {
        Rig rig({QStringLiteral("127.0.0.1")});
        rig.window->show();
        const QSize smallest = Twips(*rig.window).toPixels(QSizeF(HostsLayout::MinOuterWidth, HostsLayout::MinOuterHeight));
        rig.window->resize(100, 100);
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->frameGeometry().width() >= smallest.width(), EventWait);
        QVERIFY(rig.window->frameGeometry().height() >= smallest.height());
        // Larger sizes are kept, and the elements follow.
        rig.window->resize(900, 700);
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->size(), QSize(900, 700), EventWait);
        QCOMPARE(rig.window->cmdTest->geometry().right() + 1, 900 - Twips(*rig.window).x(50));
        QVERIFY(rig.window->ListView1->geometry().bottom() < rig.window->cmdNew->geometry().top());
    }

    // ---- clocks ----

    void clocks_data()
    {
        QTest::addColumn<int>("bias");
        QTest::addColumn<QTime>("local");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QTime>("universal");

        QTest::newRow("UTC") << 0 << QTime(13, 41, 17) << QStringLiteral("Local Time (+00:00)") << QTime(13, 41, 17);
        QTest::newRow("five hours west") << 300 << QTime(13, 41, 17) << QStringLiteral("Local Time (+05:00)") << QTime(18, 41, 17);
        QTest::newRow("five and a half east") << -330 << QTime(13, 41, 17) << QStringLiteral("Local Time (-05:30)") << QTime(8, 11, 17);
        QTest::newRow("day carried over") << 300 << QTime(23, 50, 0) << QStringLiteral("Local Time (+05:00)") << QTime(4, 50, 0);
        QTest::newRow("offset that cannot be shown") << int(std::numeric_limits<qint32>::min()) << QTime(13, 41, 17)
                                                     << QStringLiteral("Local Time") << QTime();
    }

    void clocks()
    {
        QFETCH(int, bias);
        QFETCH(QTime, local);
        QFETCH(QString, caption);
        QFETCH(QTime, universal);

        Rig rig;
        QCOMPARE(rig.window->tmrHeaders.interval(), 500);
        QVERIFY(rig.window->tmrHeaders.isActive());
        // Filled as the window opens, never shown empty until the first tick.
        QCOMPARE(rig.window->lblLocal->text(), FormatLongTime(DateTime::timeOf(rig.clock.now())));
        QVERIFY(!rig.window->lblUniversal->text().isEmpty());
        rig.clock.current = DateTime::fromParts(QDate(2004, 1, 6), local);
        rig.zone.bias = bias;
        rig.window->tmrHeaders_Timer();
        QCOMPARE(rig.window->Frame1->title(), caption);
        QCOMPARE(rig.window->lblLocal->text(), FormatLongTime(local));
        if (universal.isValid())
            QCOMPARE(rig.window->lblUniversal->text(), FormatLongTime(universal));

        // A bias that cannot be read freezes everything.
        rig.zone.readable = false;
        rig.clock.advance(1);
        rig.window->tmrHeaders_Timer();
        QCOMPARE(rig.window->Frame1->title(), caption);
        QCOMPARE(rig.window->lblLocal->text(), FormatLongTime(local));
    }

    // ---- New ----

    void newServer_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("address") << QStringLiteral("127.0.0.5");
        QTest::newRow("other letter case") << QStringLiteral("LOCALHOST");
        QTest::newRow("leading blank") << QStringLiteral(" 127.0.0.1");
        QTest::newRow("trailing blank") << QStringLiteral("127.0.0.1 ");
    }

    void newServer()
    {
        QFETCH(QString, typed);
        Rig rig({QStringLiteral("127.0.0.1"), QStringLiteral("localhost"), QStringLiteral("zz.example")});
        QList<Seen> seen;
        ModalDriver driver({inputStep(typed, &seen)});
        rig.window->cmdNew->click();
        QVERIFY(!driver.missing());
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].title, QStringLiteral("New Time Server"));
        QCOMPARE(seen[0].text, QStringLiteral("IP address of new time server:"));
        QCOMPARE(seen[0].inputName, seen[0].text); // not the same name as Edit's
        QCOMPARE(seen[0].value, QString());

        // Stored as typed, last in the collection, inactive and never tried.
        QCOMPARE(rig.state.Hosts.count(), 4);
        const auto added = rig.state.Hosts.Item(4);
        QCOMPARE(added->HostPath(), typed);
        QCOMPARE(added->HostName(), typed);
        QCOMPARE(added->HostActive(), qint16(0));
        QCOMPARE(added->HostStatus(), HostStatus::Untried);
        QCOMPARE(added->HostPollDate(), DateTime::Never);
        // The list is sorted, the new entry unchecked, with image 1 and blank columns.
        QStringList sorted = rig.entries();
        std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
            const int order = QString::compare(a, b, Qt::CaseInsensitive);
            return order != 0 ? order < 0 : a < b;
        });
        QCOMPARE(rig.entries(), sorted);
        QTreeWidgetItem *item = rig.window->itemOf(typed);
        QVERIFY(item);
        QCOMPARE(item->text(0), QLatin1Char(' ') + typed);
        QCOMPARE(item->checkState(0), Qt::Unchecked);
        QCOMPARE(item->text(1), QStringLiteral(" "));
        QCOMPARE(item->text(2), QStringLiteral(" "));
        QCOMPARE(picture(item->icon(0)), picture(Pictures::listStatus(1)));
        // Only the list's own blank is left out of the name: the address is said as typed.
        QCOMPARE(spokenRow(*rig.window, rig.window->ListView1->indexOfTopLevelItem(item)).names.value(0), typed);
        QVERIFY(!item->isSelected());
        QVERIFY(rig.listHasFocus());
    }

    void newServerCancelledOrDuplicate()
    {
        Rig rig({QStringLiteral("127.0.0.1")});
        QList<Seen> seen;
        {
            ModalDriver driver({cancelStep(&seen)});
            rig.window->cmdNew_Click();
            QVERIFY(!driver.missing());
        }
        QCOMPARE(rig.state.Hosts.count(), 1);
        QVERIFY(rig.listHasFocus());

        // A duplicate: the message, then the dialog again, empty; Cancel ends it.
        seen.clear();
        ModalDriver driver({inputStep(QStringLiteral("127.0.0.1"), &seen), boxStep(QMessageBox::Ok, &seen), cancelStep(&seen)});
        rig.window->cmdNew_Click();
        QVERIFY(!driver.missing());
        QCOMPARE(driver.unexpected, 0);
        QCOMPARE(seen[1].title, QStringLiteral("Error: Duplicate Time Server"));
        QCOMPARE(seen[1].text, Duplicate);
        QCOMPARE(seen[1].icon, QMessageBox::Information);
        QCOMPARE(seen[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen[2].title, QStringLiteral("New Time Server"));
        QCOMPARE(seen[2].value, QString());
        QCOMPARE(rig.hostPaths(), QStringList{QStringLiteral("127.0.0.1")});
        QCOMPARE(rig.entries(), QStringList{QStringLiteral(" 127.0.0.1")});
    }

    // ---- Edit ----

    void editServer()
    {
        Rig rig({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")});
        const auto old = rig.state.Hosts.Item(1);
        old->setHostStatus(HostStatus::Succeeded);
        old->setHostPollDate(EarlierToday);
        old->setHostSynchError(5);
        rig.window->RefreshServerList();
        QFont bold = rig.entry(0)->font(0);
        bold.setBold(true);
        rig.entry(0)->setFont(0, bold);
        rig.entry(1)->setCheckState(0, Qt::Unchecked);
        rig.select(0);

        QList<Seen> seen;
        ModalDriver driver({inputStep(QStringLiteral("127.0.0.9"), &seen)});
        rig.window->cmdEdit->click();
        QVERIFY(!driver.missing());
        QCOMPARE(seen[0].title, QStringLiteral("Edit Time Server"));
        QCOMPARE(seen[0].text, QStringLiteral("New IP address of time server:"));
        QCOMPARE(seen[0].inputName, seen[0].text);
        QCOMPARE(seen[0].value, QStringLiteral("127.0.0.1"));
        QVERIFY(seen[0].caretAtEnd);

        // The record moves to the end, keeps HostActive and starts afresh.
        QCOMPARE(rig.hostPaths(), (QStringList{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.9")}));
        const auto edited = rig.state.Hosts.Item(3);
        QCOMPARE(edited->HostActive(), qint16(1));
        QCOMPARE(edited->HostStatus(), HostStatus::Untried);
        QCOMPARE(edited->HostPollDate(), DateTime::Never);
        QCOMPARE(edited->HostSynchError(), 0);
        // The entry keeps its check box and its selection, and is sorted anew.
        QCOMPARE(rig.entries(), (QStringList{QStringLiteral(" 127.0.0.2"), QStringLiteral(" 127.0.0.3"), QStringLiteral(" 127.0.0.9")}));
        QTreeWidgetItem *item = rig.entry(2);
        QCOMPARE(frmHosts::keyOf(item), QStringLiteral("127.0.0.9"));
        QCOMPARE(item->checkState(0), Qt::Checked);
        QVERIFY(item->isSelected());
        QVERIFY(!item->font(0).bold());
        QCOMPARE(item->text(1), QStringLiteral(" "));
        QCOMPARE(item->text(2), QStringLiteral(" "));
        QCOMPARE(picture(item->icon(0)), picture(Pictures::listStatus(1)));
        QCOMPARE(rowDescription(*rig.window, 2), NotTried);
        QCOMPARE(spokenRow(*rig.window, 2).names, (QStringList{QStringLiteral("127.0.0.9"), NotSynchronizedYet, NotSynchronizedYet}));
        QCOMPARE(rig.entry(0)->checkState(0), Qt::Unchecked);
        QVERIFY(rig.listHasFocus());
    }

    void editUnchangedIsADuplicate()
    {
        Rig rig({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")});
        rig.select(1);
        QList<Seen> seen;
        ModalDriver driver({inputStep(QStringLiteral("127.0.0.2"), &seen), boxStep(QMessageBox::Ok, &seen),
                            inputStep(QStringLiteral("127.0.0.1"), &seen), boxStep(QMessageBox::Ok, &seen), cancelStep(&seen)});
        rig.window->cmdEdit_Click();
        QVERIFY(!driver.missing());
        QCOMPARE(driver.unexpected, 0);
        QCOMPARE(seen[1].text, Duplicate);
        QCOMPARE(seen[2].value, QStringLiteral("127.0.0.2")); // the dialog opens again with the address
        QCOMPARE(seen[3].text, Duplicate);
        QCOMPARE(rig.hostPaths(), (QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}));
    }

    // New and Edit bring the entry they made into view, however long the list; New leaves the
    // selection where it was, Edit keeps its entry selected.
    void newAndEditShowTheirEntry_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::newRow("New") << false;
        QTest::newRow("Edit") << true;
    }

    void newAndEditShowTheirEntry()
    {
        QFETCH(bool, edit);
        QStringList paths;
        for (int i = 10; i < 70; ++i)
            paths << QStringLiteral("127.0.0.%1").arg(i);
        Rig rig(paths);
        rig.window->show();
        rig.select(0);
        QList<Seen> seen;
        ModalDriver driver({inputStep(QStringLiteral("zz.example"), &seen)});
        if (edit)
            rig.window->cmdEdit_Click();
        else
            rig.window->cmdNew_Click();
        QVERIFY(!driver.missing());

        QTreeWidgetItem *item = rig.window->itemOf(QStringLiteral("zz.example"));
        QVERIFY(item);
        QCOMPARE(rig.window->ListView1->indexOfTopLevelItem(item), rig.window->ListView1->topLevelItemCount() - 1);
        QCOMPARE(item->isSelected(), edit);
        const QRect viewport = rig.window->ListView1->viewport()->rect();
        QVERIFY2(viewport.contains(rig.window->ListView1->visualItemRect(item)), "the entry is out of view");
    }

    // An address is shown as it was typed, also when it looks like markup: in the status bar
    // and in the messages that name it.
    void addressesArePlainText()
    {
        const QString address = QStringLiteral("<b>x</b>");
        Rig rig({address});
        rig.window->show();
        rig.select(0);

        QList<Seen> seen;
        ModalDriver driver({boxStep(QMessageBox::No, &seen)});
        rig.window->cmdDelete_Click();
        QVERIFY(!driver.missing());
        QCOMPARE(seen[0].text, QStringLiteral("Are you sure you want to delete the '<b>x</b>' time server?"));
        QCOMPARE(seen[0].format, Qt::PlainText);

        // The status bar says what the attempt with the server said, as it said it.
        const QString status = QStringLiteral("Error: no response received from <b>x</b>");
        emit rig.window->manualClient().Finished({ManualOutcome::Failed, address, std::nullopt, status});
        QCOMPARE(rig.window->statusText(), status);
        const QList<QLabel *> labels = rig.window->StatusBar1->findChildren<QLabel *>();
        QVERIFY(!labels.isEmpty());
        for (QLabel *label : labels) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            if (!label->text().isEmpty())
                QCOMPARE(accessibleName(label), status);
        }
        QCOMPARE(rig.entry(0)->text(0), QLatin1Char(' ') + address);
    }

    // ---- Delete ----

    void deleteServer_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("left");

        const QString a = QStringLiteral("127.0.0.1");
        const QString b = QStringLiteral("127.0.0.2");
        QTest::newRow("yes") << QStringList{a, b} << int(QMessageBox::Yes) << QStringList{a};
        QTest::newRow("no") << QStringList{a, b} << int(QMessageBox::No) << QStringList{a, b};
        QTest::newRow("the only entry") << QStringList{b} << int(QMessageBox::Yes) << QStringList{};
    }

    void deleteServer()
    {
        QFETCH(QStringList, paths);
        QFETCH(int, answer);
        QFETCH(QStringList, left);

        Rig rig(paths);
        rig.select(int(paths.size()) - 1);
        QList<Seen> seen;
        ModalDriver driver({boxStep(QMessageBox::StandardButton(answer), &seen)});
        rig.window->cmdDelete->click();
        QVERIFY(!driver.missing());
        QCOMPARE(seen[0].title, QStringLiteral("Delete Time Server?"));
        QCOMPARE(seen[0].text, QStringLiteral("Are you sure you want to delete the '127.0.0.2' time server?"));
        QCOMPARE(seen[0].icon, QMessageBox::Question);
        QCOMPARE(seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(rig.hostPaths(), left);
        QStringList entries;
        for (const QString &path : left)
            entries << QLatin1Char(' ') + path;
        QCOMPARE(rig.entries(), entries);
        QVERIFY(rig.listHasFocus());
    }

    // ---- keys and double-click ----

    void keysAndDoubleClick_data()
    {
        QTest::addColumn<int>("key"); // 0: a double-click
        QTest::addColumn<QString>("opens");

        QTest::newRow("Enter") << int(Qt::Key_Return) << QStringLiteral("Edit Time Server");
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << QStringLiteral("Edit Time Server");
        QTest::newRow("Delete") << int(Qt::Key_Delete) << QStringLiteral("Delete Time Server?");
        QTest::newRow("double-click") << 0 << QStringLiteral("Edit Time Server");
        QTest::newRow("another key") << int(Qt::Key_A) << QString();
    }

    void keysAndDoubleClick()
    {
        QFETCH(int, key);
        QFETCH(QString, opens);

        Rig rig({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")});
        rig.window->show();
        rig.select(1);
        QList<Seen> seen;
        const ModalDriver::Step step = opens.startsWith(QStringLiteral("Delete")) ? boxStep(QMessageBox::No, &seen) : cancelStep(&seen);
        ModalDriver driver(opens.isEmpty() ? QList<ModalDriver::Step>{} : QList<ModalDriver::Step>{step});
        if (key == 0) {
            const QPoint where = rig.window->ListView1->visualItemRect(rig.entry(1)).center();
            QTest::mouseDClick(rig.window->ListView1->viewport(), Qt::LeftButton, {}, where);
        } else {
            QTest::keyClick(rig.window->ListView1, Qt::Key(key));
        }
        QVERIFY(!driver.missing());
        QCOMPARE(driver.unexpected, 0);
        if (!opens.isEmpty()) {
            QCOMPARE(seen[0].title, opens);
            if (opens.startsWith(QStringLiteral("Edit")))
                QCOMPARE(seen[0].value, QStringLiteral("127.0.0.2"));
        }
        QCOMPARE(rig.state.Hosts.count(), 2);
    }

    // ---- synchronization by hand ----

    void synchronizeByHand_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("image");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("lastSynchronization");
        QTest::addColumn<QString>("description");

        const QByteArray onTime = TimeProtocol::encode(*LocalToTimeValue(Now, 300));
        const QByteArray offBy45Minutes = TimeProtocol::encode(*LocalToTimeValue(Now + 45.0 / 1440, 300));
        QTest::newRow("success") << int(ScriptedTimeServer::Reply) << onTime << 2 << false
                                 << QStringLiteral("Successfully synchronized with 127.0.0.1") << QStringLiteral("Today at 01:41 PM")
                                 << Succeeded;
        QTest::newRow("invalid time") << int(ScriptedTimeServer::Reply) << offBy45Minutes << 3 << true
                                      << QStringLiteral("Error: invalid time received from 127.0.0.1") << QStringLiteral(" ")
                                      << Failed + NotBelieved;
        QTest::newRow("no answer before the close") << int(ScriptedTimeServer::CloseAtOnce) << QByteArray() << 3 << false
                                                    << QStringLiteral("Error: no response received from 127.0.0.1")
                                                    << QStringLiteral(" ") << Failed;
    }

    void synchronizeByHand()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, reply);
        QFETCH(int, image);
        QFETCH(bool, bold);
        QFETCH(QString, status);
        QFETCH(QString, lastSynchronization);
        QFETCH(QString, description);

        ScriptedTimeServer server(ScriptedTimeServer::Mode(mode), reply);
        Rig rig({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}, server.port());
        rig.window->show();
        rig.select(0);
        rig.window->cmdTest->click();

        // Busy: nothing to press, the progress bar runs, a second click does nothing.
        QCOMPARE(rig.window->statusText(), QStringLiteral("Waiting for response from 127.0.0.1..."));
        for (QWidget *control : {static_cast<QWidget *>(rig.window->cmdNew), static_cast<QWidget *>(rig.window->cmdEdit),
                                 static_cast<QWidget *>(rig.window->cmdDelete), static_cast<QWidget *>(rig.window->cmdTest),
                                 static_cast<QWidget *>(rig.window->ListView1)})
            QVERIFY(!control->isEnabled());
        QCOMPARE(rig.window->cursor().shape(), Qt::WaitCursor);
        QVERIFY(rig.window->ProgressBar1->isVisible());
        QCOMPARE(rig.window->ProgressBar1->value(), 1);
        QCOMPARE(picture(rig.entry(0)->icon(0)), picture(Pictures::listStatus(1)));
        QCOMPARE(rowDescription(*rig.window, 0), Asking);
        rig.window->cmdTest_Click();

        QTRY_VERIFY_WITH_TIMEOUT(!rig.window->manualClient().busy(), EventWait);
        QCOMPARE(server.connections.size(), 1);
        QCOMPARE(rig.window->statusText(), status);
        QTreeWidgetItem *item = rig.entry(0);
        QCOMPARE(picture(item->icon(0)), picture(Pictures::listStatus(image)));
        QCOMPARE(item->font(0).bold(), bold);
        QCOMPARE(rowDescription(*rig.window, 0), description);
        QCOMPARE(item->text(1), lastSynchronization);
        QCOMPARE(rig.state.Hosts.Item(1)->HostStatus(), image == 2 ? HostStatus::Succeeded : HostStatus::Failed);
        QCOMPARE(rig.state.Hosts.Item(2)->HostStatus(), HostStatus::Untried);
        // Idle again.
        QVERIFY(rig.window->cmdTest->isEnabled() && rig.window->ListView1->isEnabled());
        QVERIFY(rig.listHasFocus());
        QVERIFY(!rig.window->ProgressBar1->isVisible());
        QVERIFY(!rig.window->Timer1.isActive());
        QCOMPARE(rig.window->cursor().shape(), Qt::ArrowCursor);
    }

    // A server that takes the call and never answers: the bar fills in 19 seconds, and at
    // 20 the attempt is given up.
    void noAnswerWithin20Seconds()
    {
        ScriptedTimeServer server(ScriptedTimeServer::Silent);
        Rig rig({QStringLiteral("127.0.0.1")}, server.port());
        rig.window->show();
        rig.window->cmdTest_Click();
        QCOMPARE(rig.window->Timer1.interval(), 1000);
        QVERIFY(rig.window->Timer1.isActive());
        for (int tick = 1; tick <= 19; ++tick)
            rig.window->Timer1_Timer();
        QCOMPARE(rig.window->ProgressBar1->value(), 20);
        QVERIFY(rig.window->manualClient().busy());
        rig.window->Timer1_Timer();
        QVERIFY(!rig.window->manualClient().busy());
        QCOMPARE(rig.window->statusText(), QStringLiteral("Error: no response received from 127.0.0.1"));
        QCOMPARE(picture(rig.entry(0)->icon(0)), picture(Pictures::listStatus(3)));
        QCOMPARE(rowDescription(*rig.window, 0), Failed);
        QCOMPARE(rig.state.Hosts.Item(1)->HostStatus(), HostStatus::Failed);
        QVERIFY(rig.window->cmdTest->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(server.ended(), 1, EventWait);
    }

    void refusedConnection()
    {
        Rig rig({QStringLiteral("127.0.0.1")}, freeLoopbackPort());
        rig.state.Hosts.Item(1)->setHostStatus(HostStatus::Succeeded);
        rig.window->RefreshServerList();
        rig.select(0);
        rig.window->cmdTest_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window->manualClient().busy(), EventWait);
        QVERIFY(!rig.window->statusText().isEmpty());
        QVERIFY(!rig.window->statusText().startsWith(QStringLiteral("Waiting")));
        QCOMPARE(picture(rig.entry(0)->icon(0)), picture(Pictures::listStatus(3)));
        QCOMPARE(rig.state.Hosts.Item(1)->HostStatus(), HostStatus::Failed);
        QVERIFY(rig.window->cmdTest->isEnabled());
    }

    // Closing the window during an attempt abandons it.
    void closingAbandonsTheAttempt()
    {
        ScriptedTimeServer server(ScriptedTimeServer::Silent);
        Rig rig({QStringLiteral("127.0.0.1")}, server.port());
        rig.window->cmdTest_Click();
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);
        QSignalSpy unloaded(rig.window.get(), &frmHosts::Unloaded);
        rig.window->close();
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(rig.window->manualClient().tcpClient().State(), qint16(SocketControl::sckClosed));
        QTRY_COMPARE_WITH_TIMEOUT(server.ended(), 1, EventWait);
        QCOMPARE(rig.state.Hosts.Item(1)->HostStatus(), HostStatus::Untried);
        QCOMPARE(rig.state.HostsShowing, WindowShowing::Closed);
    }

    // ---- the input dialog ----

    void inputDialog()
    {
        frmEdit dialog;
        QCOMPARE(dialog.Timer1.interval(), 250);
        QVERIFY(dialog.Timer1.isActive());
        QVERIFY(dialog.cmdSave->isEnabled()); // until the first tick
        dialog.Timer1_Timer();
        QVERIFY(!dialog.cmdSave->isEnabled());
        dialog.Text1->setText(QStringLiteral(" "));
        dialog.Timer1_Timer();
        QVERIFY(dialog.cmdSave->isEnabled()); // a blank is not empty
        dialog.Text1->clear();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.cmdSave->isEnabled(), 1000);
    }

    // Enter right after the last typed character, before the next tick has looked at the
    // text, saves what the box holds; an empty box is never saved, by Enter or by Save.
    void enterRightAfterTyping()
    {
        Rig rig;
        bool emptyStayedOpen = false;
        ModalDriver driver({[&](QWidget *modal) {
            auto *dialog = qobject_cast<frmEdit *>(modal);
            QVERIFY(dialog);
            dialog->cmdSave->click(); // before the first tick Save is still enabled
            QTest::keyClick(dialog->Text1, Qt::Key_Return);
            emptyStayedOpen = dialog->isVisible() && dialog->Value.isEmpty();
            dialog->Timer1_Timer(); // the tick of an empty box: Save disabled
            QTest::keyClicks(dialog->Text1, QStringLiteral("127.0.0.8"));
            QTest::keyClick(dialog->Text1, Qt::Key_Return);
        }});
        QCOMPARE(rig.window->GetInput(QStringLiteral("T"), QStringLiteral("P"), QString()), QStringLiteral("127.0.0.8"));
        QVERIFY(!driver.missing());
        QVERIFY(emptyStayedOpen);
    }

    void inputDialogKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("Enter saves") << int(Qt::Key_Return) << QStringLiteral("127.0.0.7");
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << QString();
    }

    void inputDialogKeys()
    {
        QFETCH(int, key);
        QFETCH(QString, value);
        Rig rig;
        ModalDriver driver({[key](QWidget *modal) {
            auto *dialog = qobject_cast<frmEdit *>(modal);
            QVERIFY(dialog);
            dialog->Text1->setText(QStringLiteral("127.0.0.7"));
            QTest::keyClick(dialog->Text1, Qt::Key(key));
        }});
        QCOMPARE(rig.window->GetInput(QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("127.0.0.1")), value);
        QVERIFY(!driver.missing());
    }
};

BRINDLECOT_TEST_MAIN(TestFrmHosts)
#include "tst_frmhosts.moc"
