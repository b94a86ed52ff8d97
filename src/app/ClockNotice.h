#pragma once

#include <QString>

struct ClockAccess;

// The one notice at start-up for an account that may not set the clock, though the
// installed program could let it: the helper is there, but only for its group.
namespace ClockNotice {

// True when this process lacks the privilege and the installed helper exists but this
// account may not run it. Never from the build tree, where there is no installed helper.
bool applies(const ClockAccess &access);

QString title();
// What the account may not do, and the command with which an administrator allows it.
QString text(const QString &account);

} // namespace ClockNotice
