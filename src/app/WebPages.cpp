#include "app/WebPages.h"

#include "BuildInfo.h"

#include <QDir>

namespace WebPages {

namespace {

QUrl webPage(const QString &programFolder, const QString &name)
{
    QString address = QString::fromUtf8(BuildInfo::WebPagesAddress);
    if (!address.isEmpty() && !address.endsWith(QLatin1Char('/')))
        address += QLatin1Char('/');
    if (!address.isEmpty())
        return QUrl(address).resolved(QUrl(name));
    return QUrl::fromLocalFile(pagesFolder(programFolder) + QStringLiteral("/web/") + name);
}

} // namespace

QString pagesFolder(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QLatin1Char('/') + QString::fromUtf8(BuildInfo::PagesFromProgram));
}

QUrl helpIndex(const QString &programFolder)
{
    return QUrl::fromLocalFile(pagesFolder(programFolder) + QStringLiteral("/help/index.htm"));
}

QUrl homePage(const QString &programFolder)
{
    return webPage(programFolder, QStringLiteral("index.htm"));
}

QUrl feedbackPage(const QString &programFolder)
{
    return webPage(programFolder, QStringLiteral("feedback.htm"));
}

} // namespace WebPages
