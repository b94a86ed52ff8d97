#pragma once

#include <QString>

// The operating system's product name, as the system itself gives it ("Windows 10 Pro",
// "Debian GNU/Linux 12 (bookworm)"): the tray asks it whether it runs on Windows XP. True
// with name set; false with name unchanged when the system names no product.
bool readProductName(QString &name);
