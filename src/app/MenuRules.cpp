#include "app/MenuRules.h"

namespace MenuRules {

Enabled enabled(const Situation &now)
{
    // While a question is open nothing else may be done, as on a desktop with modal
    // dialogs; while the Time Servers window is open only the pages may be opened.
    if (now.questionOpen)
        return {};
    Enabled items;
    items.pages = true;
    if (now.hostsOpen)
        return items;
    items.synchronize = !now.paused;
    items.pause = items.hostList = items.hostDefaults = items.exit = true;
    items.about = !now.aboutOpen;
    return items;
}

} // namespace MenuRules
