#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QPushButton;

namespace kx::ui {

// The uninstall page: a check box, ticked at first, and Next. Next opens the maker's
// uninstall page when the box is ticked and closes the window; the close box closes it
// without opening anything.
class UninstallWindow : public QDialog {
public:
    UninstallWindow();

    QCheckBox* visitBox() const { return m_visit; }
    QPushButton* nextButton() const { return m_next; }

private:
    QCheckBox* m_visit;
    QPushButton* m_next;
};

// The -U mode: shows the uninstall page centred on the screen in an application of its own
// and returns 0 once it closed. Touches no file and no setting. Without a display it says
// so on standard error and returns 0. Main thread only; no QApplication may exist yet.
int runUninstallMode(const std::string& title);

} // namespace kx::ui
