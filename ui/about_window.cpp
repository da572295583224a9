#include "ui/about_window.h"

#include "base/text_format.h"
#include "base/version.h"
#include "settings/string_table.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/pictures.h"
#include "ui/shell_targets.h"
#include "ui/side_window_layout.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace kx::ui {

namespace {

// A label showing `caption` in blue as a link; a click hands `target` to the desktop.
QLabel* makeLink(QWidget* parent, const QString& caption, const QUrl& target) {
    auto* link = new QLabel(parent);
    link->setTextFormat(Qt::RichText);
    link->setText(QString("<a href=\"%1\" style=\"color:#0000ff;\">%2</a>")
                      .arg(target.toString().toHtmlEscaped(), caption.toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setCursor(Qt::PointingHandCursor);
    QObject::connect(link, &QLabel::linkActivated, link,
                     [target](const QString&) { openOnDesktop(target); });
    return link;
}

} // namespace

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(uiText("About", "Title"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(360, 240);

    auto* banner = new QLabel(this);
    banner->setPixmap(aboutBanner());
    banner->setGeometry(0, 0, 360, 40);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);
    panel->setGeometry(0, 40, 360, 150);

    auto* title = new QLabel(QString::fromStdString(base::titleText()), this);
    title->setAlignment(Qt::AlignCenter);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setGeometry(20, 50, 320, 20);
    auto* notice =
        new QLabel(QString::fromUtf8(base::k_notice.data(), base::k_notice.size()), this);
    notice->setAlignment(Qt::AlignCenter);
    notice->setGeometry(20, 70, 320, 20);

    auto* webLabel = new QLabel(uiText("About", "Website"), this);
    webLabel->setGeometry(80, 100, 60, 20);
    auto* mailLabel = new QLabel(uiText("About", "Email"), this);
    mailLabel->setGeometry(80, 120, 60, 20);

    QString site = makerSiteUrl().toString();
    m_webLink = makeLink(this, site, makerSiteUrl());
    m_webLink->setGeometry(140, 100, 215, 20);
    m_mailLink = makeLink(this, QString::fromStdString(supportMailAddress()), supportMailUrl());
    m_mailLink->setGeometry(140, 120, 215, 20);

    m_ok = new QPushButton(uiText("Dialog", "OK"), this);
    m_ok->setGeometry(140, 200, 80, 25);
    m_ok->setDefault(true);
    m_ok->setFocus();
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

void openAboutWindow(QWidget* parent) {
    AboutWindow window(parent);
    runModalWindow(window, parent);
}

} // namespace kx::ui
