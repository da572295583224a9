#include "ui/converter_search.h"

#include "settings/string_table.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/shell_targets.h"
#include "ui/side_window_layout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cctype>

namespace kx::ui {

namespace {

constexpr std::size_t k_extensionLength = 12;

} // namespace

std::string searchExtension(std::string_view text) {
    // Cut by characters, not bytes, so that a name in another script is not split mid-way.
    const QString cut = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                            .toLower()
                            .left(static_cast<qsizetype>(k_extensionLength));
    std::string kept;
    for (const QChar c : cut) {
        const char16_t u = c.unicode();
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z'))
            kept += static_cast<char>(u);
    }
    return kept;
}

ConverterSearchWindow::ConverterSearchWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(uiText("Custom-Converter", "Title"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(370, 60);

    auto* fromLabel = new QLabel(uiText("Custom-Converter", "From"), this);
    fromLabel->setGeometry(10, 20, 40, 20);
    m_from = new QLineEdit(this);
    m_from->setGeometry(50, 20, 80, 20);
    auto* toLabel = new QLabel(uiText("Custom-Converter", "To"), this);
    toLabel->setGeometry(150, 20, 30, 20);
    m_to = new QLineEdit(this);
    m_to->setGeometry(180, 20, 80, 20);
    fromLabel->setBuddy(m_from);
    toLabel->setBuddy(m_to);
    m_search = new QPushButton(uiText("Custom-Converter", "Search"), this);
    m_search->setGeometry(280, 18, 80, 25);
    m_search->setDefault(true);
    connect(m_search, &QPushButton::clicked, this, [this] { search(); });
    m_from->setFocus();
}

void ConverterSearchWindow::search() {
    const std::string from = searchExtension(m_from->text().toStdString());
    const std::string to = searchExtension(m_to->text().toStdString());
    if (from.empty() || to.empty()) {
        showWarningMessage(this, settings::lookupText("Msg", "Empty extensions"));
        return;
    }
    accept();
    openOnDesktop(converterSearchUrl(from, to));
}

void openConverterSearch(QWidget* parent) {
    ConverterSearchWindow window(parent);
    runModalWindow(window, parent);
}

} // namespace kx::ui
