#include "ui/main_window.h"

#include "base/paths.h"
#include "base/text.h"
#include "imaging/format_registry.h"
#include "settings/string_table.h"
#include "ui/closable_wait.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/input_filter.h"
#include "ui/input_queue.h"
#include "ui/pictures.h"
#include "ui/progress_window.h"
#include "ui/recent_folders.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include <QToolBar>
#include <QToolButton>
#include <utility>

#include <algorithm>
#include <filesystem>

namespace kx::ui {

namespace {

constexpr int k_minimumWidth = 510;
constexpr int k_windowHeight = 260;
constexpr int k_fieldButtonSize = 24;
constexpr int k_fieldRows[] = {19, 59, 99};
// Room below the container for the notice line.
constexpr int k_noticeArea = 40;
// The container's rows end with the Convert button at 120.
constexpr int k_containerContent = 124;

bool isFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

bool isFile(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

// The local files and folders of a drop; none when the drop is not a list of files.
std::vector<std::string> droppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

// `caption` with a mnemonic: the first letter starting a word, else any letter, that no earlier
// item of its menu took (`taken`, in upper case). Captions come from the string table, so
// the letters are chosen from whatever the caption says.
QString withMnemonic(const QString& caption, QString& taken) {
    for (const bool wordStart : {true, false}) {
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const QChar letter = caption[i].toUpper();
            const bool startsWord = i == 0 || caption[i - 1].isSpace();
            if (!letter.isLetter() || (wordStart && !startsWord) || taken.contains(letter))
                continue;
            taken += letter;
            return QString(caption).insert(i, '&');
        }
    }
    return caption;
}

} // namespace

MainWindow::MainWindow(const std::string& title, settings::Settings& settings,
                       engine::JobState& job, engine::JobQueue& queue, WindowHooks hooks)
    : m_settings(settings), m_job(job), m_queue(queue), m_hooks(std::move(hooks)) {
    setWindowTitle(qtext(title));
    setAcceptDrops(true);
    buildMenus();
    buildToolbar();
    m_status = new QLabel(this);
    m_status->setContentsMargins(4, 0, 4, 0);
    statusBar()->addWidget(m_status, 1);
    statusBar()->setSizeGripEnabled(false);
    showReady();
    buildContainer();
    registerShortcuts();
    applyPictures();
    fitHeight();
}

MainWindow::~MainWindow() {
    // The field loses the focus while the window is taken down, which must not reach a half
    // destroyed window.
    m_inputField->disconnect(this);
}

void MainWindow::buildContainer() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_container = new QWidget(central);

    auto addLabel = [this](const char* key, int y) {
        auto* label = new QLabel(uiText("General", key), m_container);
        label->setGeometry(10, y, 350, 15);
    };
    addLabel("Input File", 5);
    m_inputField = new QLineEdit(m_container);
    m_inputField->setGeometry(10, 20, 350, 22);
    // A file dropped on the field is the window's drop; the field itself would paste its
    // address as text.
    m_inputField->setAcceptDrops(false);
    connect(m_inputField, &QLineEdit::editingFinished, this, [this] { takeTypedInput(); });
    connect(m_inputField, &QLineEdit::returnPressed, this, [this] {
        takeTypedInput();
        runCommand(k_commandConvert);
    });
    addLabel("Output Folder", 45);
    m_outputBox = new QComboBox(m_container);
    m_outputBox->setGeometry(10, 60, 350, 22);
    addLabel("Output Format", 85);
    m_formatBox = new QComboBox(m_container);
    m_formatBox->setGeometry(10, 100, 350, 22);

    m_convertButton = new QToolButton(m_container);
    m_convertButton->setGeometry(400, 20, 100, 100);
    m_convertButton->setIconSize(QSize(64, 64));
    m_convertButton->setToolTip(uiText("Menu", "Convert"));
    connect(m_convertButton, &QToolButton::clicked, this, [this] { runCommand(k_commandConvert); });

    static constexpr struct {
        int command;
        const char* tooltipKey;
    } k_fieldButtons[] = {{k_commandSelectInputFile, "Select Input File"},
                          {k_commandSelectOutputFolder, "Select Output Folder"},
                          {k_commandOutputFormatOptions, "Output Format Options"}};
    for (size_t i = 0; i < m_fieldButtons.size(); ++i) {
        auto* button = new QToolButton(m_container);
        button->setAutoRaise(true);
        button->setToolTip(uiText("Menu", k_fieldButtons[i].tooltipKey));
        button->setGeometry(364, k_fieldRows[i], k_fieldButtonSize, k_fieldButtonSize);
        const int command = k_fieldButtons[i].command;
        connect(button, &QToolButton::clicked, this, [this, command] { runCommand(command); });
        m_fieldButtons[i] = button;
    }
    // Tab walks the rows as they are read: each field, then its button, then Convert.
    QWidget* const order[] = {m_inputField, m_fieldButtons[0], m_outputBox,    m_fieldButtons[1],
                              m_formatBox,  m_fieldButtons[2], m_convertButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_outputBox, &QComboBox::activated, this, [this] {
        m_paths.outputFolder = m_outputBox->currentText().toStdString();
        showReady();
    });
    connect(m_formatBox, &QComboBox::activated, this, [this] {
        m_settings.outputFormat = m_formatBox->currentData().toString().toStdString();
    });

    m_notice = new QLabel(qtext(settings::noticeLine()), central);
    m_notice->setEnabled(false);
}

QAction* MainWindow::commandAction(const std::string& captionKey, const std::string& shortcut,
                                   int command, QString& mnemonicsTaken) {
    // Menu items get underlined letters of their own too; the toolbar shows the text without.
    QString caption = withMnemonic(uiText("Menu", captionKey), mnemonicsTaken);
    if (!shortcut.empty())
        caption += "\t" + qtext(shortcut);
    auto* action = new QAction(caption, this);
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    return action;
}

void MainWindow::buildMenus() {
    menuBar()->clear();
    m_menuPictures.clear();
    struct Item {
        const char* key;
        const char* shortcut;
        int command;
        const char* picture;
    };
    auto addMenu = [this](const char* titleKey, std::initializer_list<Item> items) {
        // "&" makes the title's first letter its mnemonic: Alt+F opens File.
        QMenu* menu = menuBar()->addMenu("&" + uiText("Menu", titleKey));
        QString taken;
        for (const Item& item : items) {
            if (!item.key) {
                menu->addSeparator();
                continue;
            }
            QAction* action = commandAction(item.key, item.shortcut, item.command, taken);
            menu->addAction(action);
            m_menuPictures.emplace_back(action, item.picture);
        }
    };
    const Item separator{nullptr, "", 0, ""};
    addMenu("File", {{"New", "Ctrl+N", k_commandNew, "New"},
                     separator,
                     {"Select Input File", "Ctrl+O", k_commandSelectInputFile, "Add"},
                     {"Select Output Folder", "", k_commandSelectOutputFolder, "OutFolder"},
                     separator,
                     {"Exit", "Alt+X", k_commandExit, "Exit"}});
    addMenu("Converter", {{"Convert", "F5", k_commandConvert, "Convert"},
                          separator,
                          {"Custom Converter", "", k_commandCustomConverter, "CustomConverter"},
                          separator,
                          {"Preferences", "", k_commandPreferences, "Preferences"}});
    addMenu("Help", {{"Manual", "F1", k_commandManual, "Help"},
                     separator,
                     {"Send Feedback", "", k_commandSendFeedback, "Email"},
                     {"Visit Homepage", "", k_commandVisitHomepage, "Web"},
                     {"Check For New Version", "", k_commandCheckForNewVersion, "Updates"},
                     separator,
                     {"About", "", k_commandAbout, "About"}});
}

void MainWindow::buildToolbar() {
    if (!m_toolbar) {
        m_toolbar = addToolBar(QString());
        m_toolbar->setMovable(false);
        m_toolbar->setFloatable(false);
        m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
        m_toolbar->toggleViewAction()->setVisible(false);
    }
    m_toolbar->clear();
    struct Button {
        const char* picture;
        const char* captionKey;
        int command;
    };
    static constexpr Button k_buttons[] = {
        {"New", "New", k_commandNew},
        {"Add", "Select Input File", k_commandSelectInputFile},
        {"OutFolder", "Select Output Folder", k_commandSelectOutputFolder},
        {nullptr, nullptr, 0},
        {"Preferences", "Preferences", k_commandPreferences},
        {nullptr, nullptr, 0},
        {"Convert", "Convert", k_commandConvert},
        {nullptr, nullptr, 0},
        {"Help", "Manual", k_commandManual},
        {"Email", "Send Feedback", k_commandSendFeedback},
        {"Web", "Visit Homepage", k_commandVisitHomepage},
        {"Updates", "Check For New Version", k_commandCheckForNewVersion},
    };
    for (const Button& button : k_buttons) {
        if (!button.picture) {
            m_toolbar->addSeparator();
            continue;
        }
        QAction* action =
            m_toolbar->addAction(pictureIcon(PictureSet::ToolbarIcons, button.picture),
                                 uiText("Menu", button.captionKey));
        action->setToolTip(uiText("Menu", button.captionKey));
        const int command = button.command;
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    }
    applyToolbarIconSize();
}

void MainWindow::applyToolbarIconSize() {
    if (const int pixels = toolbarIconPixels(m_settings.uiSize); pixels != 0)
        m_iconPixels = pixels;
    m_toolbar->setIconSize(QSize(m_iconPixels, m_iconPixels));
}

void MainWindow::applyPictures() {
    for (const auto& [action, name] : m_menuPictures)
        action->setIcon(pictureIcon(PictureSet::MenuIcons, name));
    static constexpr const char* k_fieldPictures[] = {"Add", "OutFolder", "OutFormat"};
    for (size_t i = 0; i < m_fieldButtons.size(); ++i)
        m_fieldButtons[i]->setIcon(pictureIcon(PictureSet::MenuIcons, k_fieldPictures[i]));
    m_convertButton->setIcon(pictureIcon(PictureSet::Buttons, "Convert"));
    for (int i = 0; i < m_outputBox->count(); ++i)
        m_outputBox->setItemIcon(i, pictureIcon(PictureSet::MenuIcons, "FavFolder"));
    for (int i = 0; i < m_formatBox->count(); ++i)
        m_formatBox->setItemIcon(i, pictureIcon(PictureSet::MenuIcons, "New"));
}

void MainWindow::registerShortcuts() {
    static constexpr struct {
        const char* keys;
        int command;
    } k_shortcuts[] = {{"Ctrl+N", k_commandNew}, {"Ctrl+O", k_commandSelectInputFile},
                       {"Alt+X", k_commandExit}, {"Ctrl+Q", k_commandExit},
                       {"F5", k_commandConvert}, {"F1", k_commandManual}};
    for (const auto& shortcut : k_shortcuts) {
        auto* key = new QShortcut(QKeySequence(shortcut.keys), this);
        const int command = shortcut.command;
        connect(key, &QShortcut::activated, this, [this, command] { runCommand(command); });
    }
}

// The window grows in width only; its height is the classic 260 unless large toolbar icons
// need more room, and it is never narrower than the whole toolbar, which would otherwise hide
// its last buttons behind an overflow arrow.
void MainWindow::fitHeight() {
    const int chrome = menuBar()->sizeHint().height() + m_toolbar->sizeHint().height() +
                       statusBar()->sizeHint().height();
    const int height = std::max(k_windowHeight, chrome + k_containerContent + k_noticeArea);
    const int width = std::max(k_minimumWidth, m_toolbar->sizeHint().width());
    setMinimumSize(width, height);
    setMaximumSize(QWIDGETSIZE_MAX, height);
}

void MainWindow::layoutContents() {
    const int width = centralWidget()->width();
    const int height = centralWidget()->height();
    m_container->setGeometry(0, 0, width, std::max(k_containerContent, height - k_noticeArea));
    for (QWidget* field : {static_cast<QWidget*>(m_inputField), static_cast<QWidget*>(m_outputBox),
                           static_cast<QWidget*>(m_formatBox)})
        field->resize(width - 160, field->height());
    for (size_t i = 0; i < m_fieldButtons.size(); ++i)
        m_fieldButtons[i]->move(width - 146, k_fieldRows[i]);
    m_convertButton->move(width - 110, 20);
    // A wider or narrower field has room for more or fewer names.
    if (m_queue.size() > 1 && base::trimmed(m_inputField->text().toStdString()) == m_shownInput)
        showQueue();
    m_notice->setGeometry(10, height - 30, std::max(350, width - 20), 20);
    update();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutContents();
}

void MainWindow::restoreGeometryFromSettings() {
    move(m_settings.x, m_settings.y);
    resize(m_settings.width, m_settings.height);
}

void MainWindow::storeGeometryInSettings() const {
    if (windowState() & Qt::WindowMaximized) {
        m_settings.isMaximized = 1;
        return;
    }
    if (windowState() & Qt::WindowMinimized)
        return;
    m_settings.isMaximized = 0;
    m_settings.x = frameGeometry().x();
    m_settings.y = frameGeometry().y();
    m_settings.width = width();
    m_settings.height = height();
}

void MainWindow::fillOutputFormats() {
    m_formatBox->clear();
    for (const std::string& key : settings::outputFormatList()) {
        const auto format = imaging::findOutputFormat(key);
        QString caption = qtext(base::upperCase(key));
        if (format)
            caption += " (" + qtext(format->description) + ")";
        m_formatBox->addItem(pictureIcon(PictureSet::MenuIcons, "New"), caption, qtext(key));
        if (key == m_settings.outputFormat)
            m_formatBox->setCurrentIndex(m_formatBox->count() - 1);
    }
}

void MainWindow::refillOutputFolders() {
    if (m_settings.recentOutFolders.empty())
        return;
    const std::vector<std::string> entries = recentFolderEntries(m_settings);
    m_outputBox->clear();
    int selected = 0;
    for (const std::string& entry : entries) {
        if (entry == m_paths.outputFolder)
            selected = m_outputBox->count();
        m_outputBox->addItem(pictureIcon(PictureSet::MenuIcons, "FavFolder"), qtext(entry));
    }
    m_outputBox->setCurrentIndex(m_outputBox->count() > 0 ? selected : -1);
}

void MainWindow::finishStartUp(bool showOnly) {
    if (m_settings.isMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    refillOutputFolders();
    fillOutputFormats();
    startAfresh();
    show();
    layoutContents();
    m_inputField->setFocus();
    if (!showOnly && m_hooks.afterStartUp)
        m_hooks.afterStartUp(this);
}

void MainWindow::startAfresh() {
    refillOutputFolders();
    engine::resetJobState(m_job, m_queue);
    showQueue();
    m_queueConverted = false;
    m_outputBox->setCurrentIndex(-1);
}

void MainWindow::showQueue() {
    // As many names as the field shows whole; its frame and margins take a few pixels.
    const QFontMetrics metrics(m_inputField->font());
    const int room = m_inputField->width() - 12;
    const QString shown = qtext(queueSummary(m_queue, [&](const std::string& text) {
        return metrics.horizontalAdvance(qtext(text)) <= room;
    }));
    m_inputField->setText(shown);
    // The count leads a summary; a path shows its file name at the end.
    if (m_queue.size() > 1)
        m_inputField->setCursorPosition(0);
    m_inputField->setToolTip(m_queue.size() > 1 ? qtext(queueListing(m_queue)) : QString());
    m_shownInput = base::trimmed(shown.toStdString());
}

void MainWindow::queueFieldText() {
    const std::string typed(base::trimmed(m_inputField->text().toStdString()));
    if (typed == m_shownInput && !m_queue.empty())
        return;
    m_queue.clear();
    if (isFolder(typed))
        engine::queueInput(m_queue, typed, inputWalk());
    else
        engine::setInputFile(m_job, m_queue, typed);
    m_shownInput = typed;
}

engine::InputWalk MainWindow::inputWalk() const {
    engine::InputWalk walk;
    walk.acceptedExtensions = m_job.acceptedExtensions;
    // Subfolders are always recorded; the run keeps them or not as Keep Subfolders says then.
    walk.keepSubfolders = true;
    walk.outputFolder = base::trimmed(m_outputBox->currentText().toStdString());
    return walk;
}

void MainWindow::takeOutputFolder(const std::string& folder) {
    if (!base::trimmed(m_outputBox->currentText().toStdString()).empty())
        return;
    if (addRecentFolder(m_settings, folder)) {
        m_paths.outputFolder = folder;
        refillOutputFolders();
    }
}

bool MainWindow::setInputFile(const std::string& path) {
    if (!engine::setInputFile(m_job, m_queue, path))
        return false;
    m_queueConverted = false;
    showQueue();
    showReady();
    takeOutputFolder(m_job.commandLineInputPath.empty() ? base::folderPart(path)
                                                        : m_job.commandLineInputPath);
    return true;
}

bool MainWindow::addInputs(const std::vector<std::string>& paths) {
    engine::JobQueue found;
    const std::vector<RefusedInput> refused = findInputs(paths, inputWalk(), found);
    if (!found.empty()) {
        if (m_queueConverted)
            m_queue.clear();
        else
            queueFieldText();
        m_queueConverted = false;
        for (size_t index = 0; index < found.size(); ++index) {
            const engine::JobQueue::Entry entry = found[index];
            m_queue.addOnce(entry.path, entry.subfolder, entry.problem);
        }
        showQueue();
        showReady();
        // A named folder is the root of what it holds: converted into itself, subfolders
        // and all, unless another output folder is chosen.
        const auto accepted = std::find_if(paths.begin(), paths.end(), [&](const auto& path) {
            return std::none_of(refused.begin(), refused.end(),
                                [&](const RefusedInput& input) { return input.path == path; });
        });
        const std::string& first = *accepted;
        takeOutputFolder(isFolder(first) ? (first.ends_with('/') ? first : first + "/")
                                         : base::folderPart(first));
    }
    if (!refused.empty())
        showWarningMessage(this, refusalText(refused));
    return refused.empty();
}

void MainWindow::takeTypedInput() {
    const std::string typed(base::trimmed(m_inputField->text().toStdString()));
    if ((isFile(typed) || isFolder(typed)) &&
        base::trimmed(m_outputBox->currentText().toStdString()).empty())
        addInputs({typed});
}

void MainWindow::chooseInputFile() {
    // The dialog opens where the last input file lies: the one in the field, else the one of
    // the last run or choice.
    const std::string typed(base::trimmed(m_inputField->text().toStdString()));
    const std::string last = isFile(typed) ? typed : m_paths.inputPath;
    const QStringList chosen =
        dialogs().openFiles(this, uiText("Dialog", "Select Input Files"),
                            qtext(base::folderPart(last)), toQtFilter(inputFileFilter()));
    if (chosen.isEmpty())
        return;
    std::vector<std::string> paths;
    for (const QString& path : chosen)
        paths.push_back(path.toStdString());
    if (addInputs(paths))
        m_paths.inputPath = paths.back();
    layoutContents();
}

void MainWindow::chooseOutputFolder() {
    const std::string boxText(base::trimmed(m_outputBox->currentText().toStdString()));
    std::string start = m_paths.outputFolder;
    if (!boxText.empty())
        start = isFolder(boxText) ? boxText : base::folderPart(boxText);
    const QString chosen =
        dialogs().chooseFolder(this, uiText("Dialog", "Select Output Folder"), qtext(start));
    const std::string folder = chosen.toStdString();
    if (isFolder(folder) && addRecentFolder(m_settings, folder)) {
        m_paths.outputFolder = folder;
        refillOutputFolders();
        showReady();
    }
    layoutContents();
}

void MainWindow::convert() {
    queueFieldText();
    const ConversionRequest request{m_queue.empty() ? "" : std::string(m_queue[0].path),
                                    m_outputBox->currentText().toStdString(),
                                    m_formatBox->currentData().toString().toStdString()};
    // A refused run leaves nothing under way, whatever step the refusal came at.
    if (runConversion(m_settings, m_job, m_queue, m_paths, *this, request))
        m_queueConverted = true;
    else
        setStatusText(settings::lookupText("Msg", "Conversion is not complete"));
    // The next file is typed or chosen there.
    m_inputField->setFocus();
    if (std::exchange(m_quitAfterRun, false))
        QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::openPreferences(int8_t startPage) {
    if (!m_hooks.openPreferences)
        return;
    m_job.preferencesStartPage = startPage;
    rebuildAfterPreferences(m_hooks.openPreferences(this));
}

void MainWindow::rebuildAfterPreferences(Rebuild request) {
    if (request == Rebuild::Full) {
        if (m_hooks.reloadPictures)
            m_hooks.reloadPictures(true, true, true);
        buildMenus();
        buildToolbar();
        applyPictures();
    } else if (request == Rebuild::IconsOnly) {
        if (m_hooks.reloadPictures)
            m_hooks.reloadPictures(false, false, true);
        buildToolbar();
    }
    if (request != Rebuild::None) {
        fitHeight();
        layoutContents();
    }
    const int format = m_formatBox->findData(qtext(m_settings.outputFormat));
    if (format >= 0)
        m_formatBox->setCurrentIndex(format);
    if (m_outputBox->count() != m_settings.outFoldersNumber)
        refillOutputFolders();
}

void MainWindow::runCommand(int command) {
    auto call = [this](const std::function<void(QWidget*)>& hook) {
        if (hook)
            hook(this);
    };
    auto callPlain = [](const std::function<void()>& hook) {
        if (hook)
            hook();
    };
    switch (command) {
    case k_commandNew:
        startAfresh();
        showReady();
        break;
    case k_commandExit:
        close();
        break;
    case k_commandSelectInputFile:
        chooseInputFile();
        break;
    case k_commandSelectOutputFolder:
        chooseOutputFolder();
        break;
    case k_commandOutputFormatOptions:
        openPreferences(3);
        break;
    case k_commandConvert:
        convert();
        break;
    case k_commandCustomConverter:
        call(m_hooks.openConverterSearch);
        break;
    case k_commandPreferences:
        openPreferences(m_job.preferencesStartPage);
        break;
    case k_commandManual:
        callPlain(m_hooks.openManual);
        break;
    case k_commandSendFeedback:
        callPlain(m_hooks.sendFeedback);
        break;
    case k_commandVisitHomepage:
        callPlain(m_hooks.visitHomepage);
        break;
    case k_commandCheckForNewVersion:
        call(m_hooks.checkForUpdates);
        break;
    case k_commandAbout:
        call(m_hooks.openAbout);
        break;
    default:
        break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_progress) {
        // The worker owns the job state until its run ends. Quitting asks as closing the
        // progress window does; after Yes the run stops after the page under way, and the
        // program ends with it.
        event->ignore();
        m_quitAfterRun = m_progress->stopToQuit();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedPaths(event->mimeData()).empty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = droppedPaths(event->mimeData());
    if (paths.empty())
        return;
    event->acceptProposedAction();
    addInputs(paths);
}

void MainWindow::takeHandOver(const std::string& file) {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
    if (!file.empty())
        openWhenNoWindowIsOpen(file);
}

// A run, Preferences, a side window or a wait for the update check or the watermark owns the
// input until it ends; the file waits.
void MainWindow::openWhenNoWindowIsOpen(const std::string& file) {
    constexpr int k_retryMs = 250;
    if (QApplication::activeModalWidget() || closableWaitUnderWay()) {
        QTimer::singleShot(k_retryMs, this, [this, file] { openWhenNoWindowIsOpen(file); });
        return;
    }
    openInputFile(file);
}

void MainWindow::setStatusText(const std::string& statusText) {
    m_status->setText(qtext(statusText));
}

void MainWindow::showReady() {
    setStatusText(settings::lookupText("General", "Ready"));
}

std::string MainWindow::statusText() const {
    return m_status->text().toStdString();
}

} // namespace kx::ui
