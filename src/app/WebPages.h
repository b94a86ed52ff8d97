#pragma once

#include <QString>
#include <QUrl>

// The pages the program hands to the browser: its help, its home page and its
// problem-report page. Installed pages lie in share/brindlecot/ beside the folder of the
// executable, in an install as in the build tree.
namespace WebPages {

// The folder of the installed pages for an executable in programFolder.
QString pagesFolder(const QString &programFolder);

// The help's first page, help/index.htm.
QUrl helpIndex(const QString &programFolder);

// index.htm and feedback.htm of the web-pages folder: the address the build was given,
// or else the pages installed with the program (web/).
QUrl homePage(const QString &programFolder);
QUrl feedbackPage(const QString &programFolder);

} // namespace WebPages
