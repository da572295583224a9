#include "ui/update_check.h"

#include "base/text_format.h"
#include "base/version.h"
#include "settings/string_table.h"
#include "ui/closable_wait.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/http_fetch.h"
#include "ui/shell_targets.h"
#include "ui/version_reply.h"

#include <QWidget>

#include <optional>

namespace kx::ui {

namespace {

constexpr std::int64_t k_secondsPerDay = 86'400;
constexpr int k_neverRange = 5;

bool g_checkRunning = false;

// The exchange ends itself at k_fetchLimit; a name lookup that hangs beyond it is given up
// here a little later, so the whole check ends within about 10.5 seconds.
constexpr auto k_checkLimit = k_fetchLimit + std::chrono::milliseconds(500);

// The published version text, "" on connection problems; nullopt when the window was closed
// meanwhile, which ends the check without a word.
std::optional<std::string> fetchWhileClosable(QWidget* window, const std::string& address) {
    const std::string agent = base::titleText();
    const auto version = resultWhileClosable<std::string>(
        window,
        [address, agent](std::stop_token stop) {
            return fetchVersionText(address, agent, k_fetchLimit, stop);
        },
        k_checkLimit);
    if (!version && window && !window->isVisible())
        return std::nullopt;
    return version.value_or("");
}

} // namespace

std::string updateAddress(std::string_view host) {
    while (host.ends_with('/'))
        host.remove_suffix(1);
    return std::string(host) + "/files/quorvant.dat";
}

int updateIntervalDays(int updateRange) {
    switch (updateRange) {
    case 0:
        return 1;
    case 1:
        return 7;
    case 2:
        return 30;
    case 3:
        return 90;
    case 4:
        return 180;
    default:
        return 30;
    }
}

bool automaticCheckDue(const settings::Settings& settings, settings::Date now) {
    if (settings.updateRange == k_neverRange)
        return false;
    const std::int64_t next = static_cast<std::int64_t>(settings.updateDate) +
                              updateIntervalDays(settings.updateRange) * k_secondsPerDay;
    return static_cast<std::int64_t>(now) > next;
}

bool checkForUpdates(QWidget* parent, const std::string& address) {
    if (g_checkRunning)
        return false;
    g_checkRunning = true;
    const std::optional<std::string> version = fetchWhileClosable(parent, address);
    g_checkRunning = false;
    if (!version)
        return true;

    const int published = parseVersionBody(*version);
    if (published == 0) {
        showErrorMessage(parent, settings::lookupText("Msg", "Internet connection problems"));
    } else if (published > base::k_version) {
        if (dialogs().question(parent, Dialogs::Icon::Question, uiText("Msg", "New Update"),
                               uiText("Msg", "New Update Text")))
            openHomePage();
    } else {
        dialogs().message(parent, Dialogs::Icon::Information, uiText("Msg", "No Update"),
                          uiText("Msg", "No Update Text"));
    }
    return true;
}

void checkForUpdatesOnRequest(QWidget* parent) {
    checkForUpdates(parent, updateAddress());
}

void runAutomaticUpdateCheck(QWidget* parent, settings::Settings& settings,
                             const std::string& address, settings::Date now) {
    if (!automaticCheckDue(settings, now))
        return;
    if (dialogs().question(parent, Dialogs::Icon::Question, uiText("Msg", "Check for Updates"),
                           uiText("Msg", "Ask check for updates")))
        checkForUpdates(parent, address);
    settings.updateDate = now;
}

void runAutomaticUpdateCheck(QWidget* parent, settings::Settings& settings) {
    runAutomaticUpdateCheck(parent, settings, updateAddress(), settings::currentDate());
}

} // namespace kx::ui
