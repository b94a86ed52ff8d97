#pragma once

#include <QProcessEnvironment>
#include <QString>

// The environment for a program started under LeakSanitizer, where what the desktop's system
// libraries keep to their end is not the program's leak: the kit's suppressions added, and
// their use not reported at the end, so that the program's standard error is its own.
inline QProcessEnvironment withLeakSuppressions(QProcessEnvironment env)
{
    QString leaks = env.value(QStringLiteral("LSAN_OPTIONS"));
    if (!leaks.isEmpty())
        leaks += QLatin1Char(':');
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               leaks + QStringLiteral("print_suppressions=0:suppressions=")
                   + QStringLiteral(BRINDLECOT_LSAN_SUPPRESSIONS));
    return env;
}
