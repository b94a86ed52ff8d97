#pragma once

#include <QString>

class QIODevice;
class clsHosts;
struct IntervalChoice;

// The data file keeps the server list and the synchronization interval between runs.
// Layout, little-endian: 16-bit version (7), 8 reserved zero bytes, 16-bit legacy flag,
// 32-bit length L and L bytes of a legacy server path (0 and empty when written), 32-bit
// interval code, then the host block (clsHosts::WriteProperties) from version 6 on.

namespace DataFile {
constexpr qint16 Version = 7;
inline constexpr char FileName[] = "Brindlecot.dat";
} // namespace DataFile

// The folder (with its trailing separator) followed by the file name.
QString dataFilePath(const QString &dataFolder);

// Creates the data folder with any missing parents, private to this account (see
// createPrivateFolder). Failures are ignored: a folder that cannot be made shows later as a
// file that cannot be opened.
void CreateDataFolder(const QString &dataFolder);

// True when the file can be opened and its first 16-bit value is 1 or more.
bool DataFileIsValid(const QString &path);
bool DataFileIsValid(QIODevice &file);

// Reads the data file into the interval choice and Hosts. Files of version 5 or lower
// predate the server list: they bring the built-in servers and at most one server of
// their own. The first error ends the reading and keeps what was applied before it.
// True when the whole file was read without error.
bool LoadDataFile(const QString &dataFolder, IntervalChoice &interval, clsHosts &Hosts);
bool LoadDataFile(QIODevice &file, IntervalChoice &interval, clsHosts &Hosts);

// Writes the whole file. The file on disk is replaced only once the new one is complete,
// so a failed save leaves the previous file as it was; the new file is this account's
// alone (0600 on Linux), whatever the umask or the old file's mode. True on success.
bool SaveDataFile(const QString &dataFolder, const IntervalChoice &interval, const clsHosts &Hosts);
bool SaveDataFile(QIODevice &file, const IntervalChoice &interval, const clsHosts &Hosts);
