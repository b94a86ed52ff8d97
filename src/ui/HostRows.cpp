#include "ui/HostRows.h"

#include "format/Format.h"
#include "format/TimeTexts.h"
#include "servers/clsHost.h"

namespace HostRows {

namespace {

const QString Blank = QStringLiteral(" "); // the text of an empty cell
// A screen reader's name for a blank "Last Synchronization" or "Correction" cell.
const QString NotSynchronizedYet = QStringLiteral("Not synchronized yet");

Cell resultCell(const QString &shown)
{
    return { shown, shown == Blank ? NotSynchronizedYet : shown };
}

} // namespace

RowState stateOfStatus(qint16 hostStatus)
{
    switch (hostStatus) {
    case HostStatus::Failed:
        return RowState::Failed;
    case HostStatus::Succeeded:
        return RowState::Succeeded;
    default:
        return RowState::NotTried;
    }
}

int imageOf(RowState state)
{
    switch (state) {
    case RowState::Succeeded:
        return 2;
    case RowState::Failed:
        return 3;
    case RowState::NotTried:
    case RowState::Asking:
        break;
    }
    return 1;
}

QString describeState(RowState state, bool bold)
{
    QString text;
    switch (state) {
    case RowState::NotTried:
        text = QStringLiteral("Not tried since it was added or edited");
        break;
    case RowState::Asking:
        text = QStringLiteral("Being asked for the time now");
        break;
    case RowState::Succeeded:
        text = QStringLiteral("The last attempt succeeded");
        break;
    case RowState::Failed:
        text = QStringLiteral("The last attempt by hand failed");
        break;
    }
    if (bold)
        text += QStringLiteral(". Gave a time 30 minutes or more away from this computer's; not believed");
    return text;
}

bool isChecked(const clsHost &record)
{
    return record.HostActive() == 1;
}

Cell serverCell(const QString &hostPath)
{
    return { QLatin1Char(' ') + hostPath, hostPath };
}

Cell lastSynchronizationCell(const clsHost &record, Date now)
{
    const Date polled = record.HostPollDate();
    if (polled == DateTime::Never)
        return resultCell(Blank);
    return resultCell(FormatRelativeDate(polled, now) + QStringLiteral(" at ") + FormatMediumTime(DateTime::timeOf(polled)));
}

Cell correctionCell(const clsHost &record)
{
    if (record.HostSynchError() != 0)
        return resultCell(FormatDuration(record.HostSynchError()));
    if (record.HostPollDate() != DateTime::Never)
        return resultCell(QStringLiteral("None"));
    return resultCell(Blank);
}

bool listsBefore(const QString &mine, const QString &theirs)
{
    const int order = QString::compare(mine, theirs, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : mine < theirs;
}

} // namespace HostRows
