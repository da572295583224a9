#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kx::ui {

// The About window: the banner, the title text and notice line, links to the maker's web
// site and support mail (a click opens them and leaves the window open), and OK, which Enter
// and Escape press.
class AboutWindow : public QDialog {
public:
    explicit AboutWindow(QWidget* parent);

    QLabel* webLink() const { return m_webLink; }
    QLabel* mailLink() const { return m_mailLink; }
    QPushButton* okButton() const { return m_ok; }

private:
    QLabel* m_webLink;
    QLabel* m_mailLink;
    QPushButton* m_ok;
};

// Opens the About window modal to `parent`, centred on it, and returns when it closed.
void openAboutWindow(QWidget* parent);

} // namespace kx::ui
