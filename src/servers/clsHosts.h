#pragma once

#include "servers/clsHost.h"

#include <QList>

#include <memory>

// The ordered server collection. Records are shared: Item() hands out the stored record,
// so whoever sets a property of it changes the collection's record. Positions are
// 1-based; -1 means "not found".
class clsHosts
{
public:
    using HostRef = std::shared_ptr<clsHost>;

    // Appends without looking for duplicates: callers check FindPathname first.
    void Add(HostRef anItem);
    // The record at 1-based index, or null outside 1..count().
    HostRef Item(qint32 index) const;
    // Removes the record at 1-based index; later records move up. False outside 1..count().
    bool Remove(qint32 index);
    qint32 count() const;
    // Position of the first record whose HostPath equals thePathname exactly, or -1.
    qint32 FindPathname(const QString &thePathname) const;

    QList<HostRef> mItems;
};
