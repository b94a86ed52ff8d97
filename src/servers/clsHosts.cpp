#include "servers/clsHosts.h"

void clsHosts::Add(HostRef anItem)
{
    mItems.append(std::move(anItem));
}

clsHosts::HostRef clsHosts::Item(qint32 index) const
{
    if (index < 1 || index > mItems.size())
        return nullptr;
    return mItems.at(index - 1);
}

bool clsHosts::Remove(qint32 index)
{
    if (index < 1 || index > mItems.size())
        return false;
    mItems.removeAt(index - 1);
    return true;
}

qint32 clsHosts::count() const
{
    return qint32(mItems.size());
}

qint32 clsHosts::FindPathname(const QString &thePathname) const
{
    const qint32 n = count();
    for (qint32 i = 0; i < n; ++i) {
        if (mItems.at(i)->HostPath() == thePathname)
            return i + 1;
    }
    return -1;
}
