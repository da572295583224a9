#pragma once

#include <QUrl>

#include <string>
#include <string_view>

namespace kx::ui {

// The addresses the program hands to the desktop. The maker's site, the support mail box
// and the uninstall page come from the build's configuration.
QUrl makerSiteUrl();    // the site's root, shown in the About window
QUrl homePageUrl();     // the product page: site + "quorvant/"
QUrl supportMailUrl();  // "mailto:" + support address
QUrl feedbackMailUrl(); // the same with the subject "<title text> Feedback"
QUrl uninstallPageUrl();
QUrl converterSearchUrl(std::string_view from, std::string_view to); // site + "find/from-to/"
std::string supportMailAddress();

// The HTML manual: "doc/index.html" beside the program, else the installed documentation
// folder "../share/doc/kestrelix/index.html" relative to it; the first when neither exists.
QUrl manualUrl();

// Hands `url` to the desktop through dialogs().openUrl(). When the desktop cannot open it,
// a warning box on the active window names the address and, when xdg-open is missing from
// the PATH, says so.
void openOnDesktop(const QUrl& url);

// openOnDesktop() of each target.
void openHomePage();
void openFeedbackMail();
void openManual();

} // namespace kx::ui
