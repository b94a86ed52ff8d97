// Loads arbitrary bytes as the data file, the way start-up does, and checks what a
// loaded program must always satisfy.

#include "servers/DataFile.h"

#include "TestState.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

// Start-up: a valid file is loaded, anything else is left alone.
void load(ProgramState &state, const QByteArray &bytes)
{
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    if (!DataFileIsValid(file))
        return;
    file.seek(0);
    LoadDataFile(state, file);
}

QByteArray save(const ProgramState &state)
{
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    if (!SaveDataFile(state, file))
        std::abort();
    return file.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One rig for the whole run: its folder is made once, never per input.
    static const TestState rig;
    ProgramState state = rig.another();
    load(state, QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));

    // No two servers share a path.
    for (qint32 i = 1; i <= state.Hosts.count(); ++i) {
        if (state.Hosts.FindPathname(state.Hosts.Item(i)->HostPath()) != i)
            std::abort();
    }

    // What the program saves, it loads back to the same state: saving that again
    // gives the same bytes.
    const QByteArray saved = save(state);
    ProgramState reloaded = rig.another();
    load(reloaded, saved);
    if (save(reloaded) != saved)
        std::abort();
    return 0;
}
