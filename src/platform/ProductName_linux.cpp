#include "platform/ProductName.h"

#include <QSysInfo>

// The distribution's name from os-release.
bool readProductName(QString &name)
{
    const QString product = QSysInfo::prettyProductName();
    if (product.isEmpty())
        return false;
    name = product;
    return true;
}
