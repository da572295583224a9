#pragma once

#include <QDialog>

#include <string>
#include <string_view>

class QLineEdit;
class QPushButton;

namespace kx::ui {

// One extension field of the search: lower-cased, cut to its first 12 characters, then
// stripped of everything but 0-9, a-z ("b m p" gives "bmp", ".tif" gives "tif").
std::string searchExtension(std::string_view text);

// The "Find a File Converter" window: From and To fields and a default Search button.
// Search with both extensions non-empty closes the window and opens the maker's search page
// for the pair; otherwise it warns and stays open. Escape and the close box close it.
class ConverterSearchWindow : public QDialog {
public:
    explicit ConverterSearchWindow(QWidget* parent);

    QLineEdit* fromField() const { return m_from; }
    QLineEdit* toField() const { return m_to; }
    QPushButton* searchButton() const { return m_search; }

private:
    void search();

    QLineEdit* m_from;
    QLineEdit* m_to;
    QPushButton* m_search;
};

// Opens the search window modal to `parent`, centred on it, and returns when it closed.
void openConverterSearch(QWidget* parent);

} // namespace kx::ui
