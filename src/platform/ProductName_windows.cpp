#include "platform/ProductName.h"

#include "platform/Registry.h"

// The name the system's own registry gives ("Microsoft Windows XP", "Windows 10 Pro").
// QSysInfo works the name out from the version numbers instead and never says "XP".
bool readProductName(QString &name)
{
    QString product;
    if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
                           QStringLiteral("ProductName"), product))
        return false;
    name = product;
    return true;
}
