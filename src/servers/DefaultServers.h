#pragma once

#include <QString>
#include <QStringList>

class clsHosts;

// The built-in servers: NIST Internet Time Service hosts that answer the Time Protocol
// on TCP port 37, in the order they are added.
QStringList defaultServerNames();

// Appends, in list order, each built-in server that Hosts does not hold yet, active and
// never tried. Existing records keep their values and positions, so "Restore Defaults"
// never removes or reorders anything.
void AddDefaultServers(clsHosts &Hosts);

// Appends one server with HostPath path, active and never tried, unless Hosts already
// holds that path (compared exactly).
void AddDefaultServer(clsHosts &Hosts, const QString &path);
