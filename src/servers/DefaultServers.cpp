#include "servers/DefaultServers.h"

#include "servers/clsHosts.h"

namespace {

// Gaithersburg, Fort Collins (WWV) and Boulder. Tests never connect to them.
constexpr const char *DefaultServerNames[] = {
    "time-a-g.nist.gov",   "time-b-g.nist.gov",   "time-c-g.nist.gov",   "time-d-g.nist.gov",
    "time-e-g.nist.gov",   "time-a-wwv.nist.gov", "time-b-wwv.nist.gov", "time-c-wwv.nist.gov",
    "time-d-wwv.nist.gov", "time-e-wwv.nist.gov", "time-a-b.nist.gov",   "time-b-b.nist.gov",
    "time-c-b.nist.gov",   "time-d-b.nist.gov",
};

} // namespace

QStringList defaultServerNames()
{
    QStringList names;
    for (const char *name : DefaultServerNames)
        names << QString::fromLatin1(name);
    return names;
}

void AddDefaultServers(clsHosts &Hosts)
{
    for (const char *name : DefaultServerNames)
        AddDefaultServer(Hosts, QString::fromLatin1(name));
}

void AddDefaultServer(clsHosts &Hosts, const QString &path)
{
    if (Hosts.FindPathname(path) != -1)
        return;
    auto host = std::make_shared<clsHost>();
    host->setHostPath(path);
    host->setHostActive(1);
    Hosts.Add(std::move(host));
}
