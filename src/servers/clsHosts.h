#pragma once

#include "servers/clsHost.h"

#include <QList>

#include <memory>

class QIODevice;

// The ordered server collection. Records are shared: Item() hands out the stored record,
// so whoever sets a property of it changes the collection's record. Positions are
// 1-based; -1 means "not found".
class clsHosts
{
public:
    using HostRef = std::shared_ptr<clsHost>;

    // A block announcing this many records or more is ignored as damaged.
    static constexpr qint32 MaxStoredRecords = 1000; // records

    // Appends without looking for duplicates: callers check FindPathname first.
    void Add(HostRef anItem);
    // The record at 1-based index, or null outside 1..count().
    HostRef Item(qint32 index) const;
    // Removes the record at 1-based index; later records move up. False outside 1..count().
    bool Remove(qint32 index);
    qint32 count() const;

    // Writes the host block at the device's current position: the 16-bit block version 2,
    // the 32-bit record count, then the records in order. Writing stops before the first
    // record that does not fit the file, and the count written says so, so the block
    // never announces records it does not hold. False only when the device refused bytes.
    bool WriteProperties(QIODevice &file) const;

    // Reads a host block from the device's current position and appends each record whose
    // HostPath this collection does not hold yet (the first one of a path wins). A count
    // below 1 or of MaxStoredRecords or more reads nothing. The first error (a negative
    // length, missing bytes) ends the reading: the records appended before it stay, the
    // one being read is dropped. True when the block was read to its announced end.
    bool ReadProperties(QIODevice &file);

    // Position of the first record whose HostPath equals thePathname exactly, or -1.
    qint32 FindPathname(const QString &thePathname) const;

    // The list's rules for the user's edits. An address that is already listed is never
    // added a second time; each returns the record it made, or null when it changed nothing.

    // A new server at the end of the list, not yet in automatic use.
    HostRef AddServer(const QString &theAddress);
    // The server thePathname becomes theAddress: a fresh record at the end of the list that
    // keeps only the old one's check box. Null when thePathname is not listed or theAddress
    // is (the unchanged address included).
    HostRef ChangeServer(const QString &thePathname, const QString &theAddress);
    // The server thePathname leaves the list; later records move up. False when it is not
    // listed.
    bool RemoveServer(const QString &thePathname);
    // The server thePathname takes part in automatic synchronization (HostActive 1) or does
    // not (0). False when it is not listed.
    bool SetServerActive(const QString &thePathname, bool active);

    QList<HostRef> mItems;
};
