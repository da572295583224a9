#pragma once

#include <QString>

#include <string>

namespace kx::ui {

// The open-file dialog's filter as "name|patterns|name|patterns...": every accepted input
// extension under "All Supported Files", then one entry per format description (its later
// extensions first), then "All Files (*.*)|*.*".
std::string inputFileFilter();

// The same entries in Qt's syntax ("name (pattern pattern)" joined by ";;"). "*.*" becomes
// "*", so that files without an extension are listed under all files as well.
QString toQtFilter(const std::string& filter);

} // namespace kx::ui
