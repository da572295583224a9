#pragma once

#include "base/version.h"
#include "settings/settings.h"

#include <string>
#include <string_view>

class QWidget;

namespace kx::ui {

// The address of the published version file on the update host `host` (scheme, host and
// optional port, as "http://updates.example:8080"): `host` + "/files/quorvant.dat".
std::string updateAddress(std::string_view host = base::k_updateHost);

// Days between automatic checks for `Update Range` 0..4 (1, 7, 30, 90, 180); 30 for any
// other value. 5 means never and is handled by automaticCheckDue().
int updateIntervalDays(int updateRange);

// True when `Update Range` is not 5 (never) and `now` is later than `Update Date` plus the
// interval.
bool automaticCheckDue(const settings::Settings& settings, settings::Date now);

// Asks `address` for the published version and tells the user: an error box on connection
// problems, a Yes/No offer that opens the home page when the number is higher than this
// program's, an information box otherwise. The exchange runs on a thread of its own and ends
// within about ten seconds of the start; meanwhile the window keeps painting and can be
// closed, which ends the check without a box, while other input is dropped. Returns false,
// showing nothing, when a check is already under way. Main thread only.
bool checkForUpdates(QWidget* parent, const std::string& address);

// The Help menu's check, against updateAddress().
void checkForUpdatesOnRequest(QWidget* parent);

// The check at the start of the window run: when automaticCheckDue(settings, now), asks
// whether to check, checks on Yes, and stores `now` in `Update Date` whatever the answer.
void runAutomaticUpdateCheck(QWidget* parent, settings::Settings& settings,
                             const std::string& address, settings::Date now);
// The same against updateAddress() at the current local time.
void runAutomaticUpdateCheck(QWidget* parent, settings::Settings& settings);

} // namespace kx::ui
