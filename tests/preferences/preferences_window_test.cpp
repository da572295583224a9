#include "settings/configuration.h"
#include "settings/settings.h"
#include "settings/string_table.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widget_app.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/preferences/preferences_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace kx::ui {
namespace {

using prefs::PreferencesDialog;

const std::vector<ThemeChoice> k_themes = {
    {"zen", "Zen Garden"}, {"handdrawn", "Hand-drawn"}, {"Classic", "Classic Look"}};

// A record in which every setting the window shows differs from its default, each still a
// value the window can show.
settings::Settings nonDefaultSettings() {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.updateRange = 4;
    s.updateDate = 1600000000;
    s.saveWindowPosition = 0;
    s.uiTheme = "zen";
    s.uiSize = 1;
    s.tiffFrameLoading = 3;
    s.bmpBpp = 8;
    s.bmpCompression = 1;
    s.bmpColorTable = 1;
    s.doImageRotation = 1;
    s.imageRotationType = 1;
    s.imageRotation = 45;
    s.imageRotationBackColor = "12AB34";
    s.doImageResize = 1;
    s.imageWidth = 640;
    s.imageWidthUnit = 1;
    s.imageHeight = 50;
    s.imageHeightUnit = 1;
    s.keepAspectRatio = 0;
    s.imageResizeType = 1;
    s.imageResizeAlgorithm = 5;
    s.doImageFlipHorizontal = 1;
    s.doImageFlipVertical = 1;
    s.doImageColorCorrection = 1;
    s.imageBrightness = -20;
    s.imageContrast = 35;
    s.imageGamma = 1.5f;
    s.imageInvert = 1;
    s.doImageGreyscale = 1;
    s.doImageThreshold = 1;
    s.imageThreshold = 200;
    s.doImageDither = 1;
    s.imageDitherAlgorithm = 6;
    s.doFrame = 1;
    s.solidLeft = 1;
    s.solidRight = 2;
    s.solidTop = 3;
    s.solidBottom = 4;
    s.solidLeftColor = "FF0000";
    s.solidRightColor = "00FF00";
    s.solidTopColor = "0000FF";
    s.solidBottomColor = "808080";
    s.solidOpacity = 128;
    s.doWatermark = 2;
    s.text = "Sample text";
    s.fonts = "Arial,Tahoma,Verdana,DejaVu Serif";
    s.font = "DejaVu Serif";
    s.fontSize = 20;
    s.fontLeading = 3;
    s.fontColors += ",123456";
    s.fontColor = "123456";
    s.fontStyle = 3;
    s.fontEffect = 2;
    s.textAntialiasing = 1;
    s.textAlignment = 2;
    s.textPadding = 4;
    s.textOpacity = 200;
    s.backColor = "FF8000";
    s.backOpacity = 90;
    s.textBoundary = 1;
    s.textPosition = 4;
    s.textXOffset = -5;
    s.textYOffset = 7;
    s.textRotation = 90;
    s.textScale = 10;
    s.image = "/home/user/mark.png";
    s.imageGreyscale = 1;
    s.imageOpacity = 100;
    s.imageBoundary = 1;
    s.imagePosition = 0;
    s.imageXOffset = 20;
    s.imageYOffset = 30;
    s.watermarkImageRotation = 180;
    s.imageScale = 10;
    s.filenameMask = "%filename%_x.%ext%";
    s.fileTimestamp = 2;
    s.customTimestamp = 1700000100; // a whole minute, as the field shows it
    s.outFoldersHistory = 0;
    s.outFoldersNumber = 12;
    s.keepSubfolders = 0;
    s.recentOutFolders = "/a\t/b";
    s.recentFiles = "r";
    s.cleanRecentFiles = 1;
    return s;
}

// What each control shows for nonDefaultSettings(): named after its setting, in window order.
// The same table drives the controls to those values from defaults.
struct Shown {
    const char* control;
    const char* text;
};
const Shown k_shown[] = {
    {"General/Update Range", "Every 6 months"},
    {"General/Save Window Position", "0"},
    {"Interface/UI Theme", "Zen Garden"},
    {"Interface/UI Size", "Medium"},
    {"Input/TIFF Frame Loading", "Last"},
    {"Output/BMP BPP", "8"},
    {"Output/BMP Compression", "RLE"},
    {"Output/BMP Color Table", "Exact"},
    {"Transform/Do Image Rotation", "1"},
    {"Transform/Image Rotation Type", "Advanced"},
    {"Transform/Image Rotation", "45"},
    {"Transform/Do Image Resize", "1"},
    {"Transform/Image Width", "640"},
    {"Transform/Image Width/unit", "percent"},
    {"Transform/Image Height", "50"},
    {"Transform/Image Height/unit", "percent"},
    {"Transform/Keep Aspect Ratio", "0"},
    {"Transform/Image Resize Type", "Large Images"},
    {"Transform/Image Resize Algorithm", "Lanczos"},
    {"Transform/Do Image Flip Horizontal", "1"},
    {"Transform/Do Image Flip Vertical", "1"},
    {"Adjustment/Image Brightness", "-20"},
    {"Adjustment/Image Contrast", "35"},
    {"Adjustment/Image Gamma", "1.50"},
    {"Adjustment/Image Invert", "1"},
    {"Adjustment/Do Image Greyscale", "1"},
    {"Adjustment/Do Image Threshold", "1"},
    {"Adjustment/Image Threshold", "200"},
    {"Adjustment/Do Image Dither", "1"},
    {"Adjustment/Image Dither Algorithm", "Clustered dot dithering 16x16"},
    {"Frame/Do Frame", "Solid Color"},
    {"Frame/Solid Left", "1"},
    {"Frame/Solid Right", "2"},
    {"Frame/Solid Top", "3"},
    {"Frame/Solid Bottom", "4"},
    {"Frame/Solid Opacity", "128"},
    {"Watermark/Do Watermark", "Image"},
    {"Watermark/Text", "Sample text"},
    {"Watermark/Font Size", "20"},
    {"Watermark/Font Leading", "3"},
    {"Watermark/Font Effect", "Strikethrough"},
    {"Watermark/Text Antialiasing", "1"},
    {"Watermark/Text Alignment", "Right"},
    {"Watermark/Text Padding", "4"},
    {"Watermark/Text Opacity", "200"},
    {"Watermark/Back Color", "Orange"},
    {"Watermark/Back Opacity", "90"},
    {"Watermark/Text Boundary", "Frame"},
    {"Watermark/Text Position", "Middle-Center"},
    {"Watermark/Text X Offset", "-5"},
    {"Watermark/Text Y Offset", "7"},
    {"Watermark/Text Rotation", "90"},
    {"Watermark/Text Scale", "10"},
    {"Watermark/Image", "/home/user/mark.png"},
    {"Watermark/Image Greyscale", "1"},
    {"Watermark/Image Opacity", "100"},
    {"Watermark/Image Boundary", "Frame"},
    {"Watermark/Image Position", "Top-Left"},
    {"Watermark/Image X Offset", "20"},
    {"Watermark/Image Y Offset", "30"},
    {"Watermark/Image Rotation", "180"},
    {"Watermark/Image Scale", "10"},
    {"Advanced/Filename Mask", "%filename%_x.%ext%"},
    {"Advanced/File Timestamp", "Custom"},
    {"Advanced/Custom Timestamp", "2023/11/14 22:15"},
    {"Advanced/Out Folders History", "Clean on Exit"},
    {"Advanced/Out Folders Number", "12"},
    {"Advanced/Keep Subfolders", "0"},
};

// Shown only through a picker or together with one; checked on their own.
const Shown k_pickerShown[] = {
    {"Transform/Image Rotation Back Color", "12AB34"},
    {"Frame/Solid Left Color", "FF0000"},
    {"Frame/Solid Right Color", "00FF00"},
    {"Frame/Solid Top Color", "0000FF"},
    {"Frame/Solid Bottom Color", "808080"},
    {"Watermark/Font", "DejaVu Serif"},
    {"Watermark/Font Color", "Color #123456"},
    {"Watermark/Font Style", "Bold Italic"},
};

QString shownText(QWidget* control) {
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    if (auto* check = qobject_cast<QCheckBox*>(control))
        return check->isChecked() ? "1" : "0";
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (auto* box = qobject_cast<QAbstractSpinBox*>(control))
        return box->text();
    if (auto* slider = qobject_cast<QSlider*>(control))
        return QString::number(slider->value());
    return "?";
}

// Types into a box's own editor, as a user would.
QLineEdit* editorOf(QWidget* box) {
    return box->findChild<QLineEdit*>();
}

void typeInto(QWidget* box, const QString& text) {
    QLineEdit* editor = editorOf(box);
    editor->selectAll();
    QTest::keyClicks(editor, text);
}

void setShown(QWidget* control, const QString& text) {
    if (auto* dateTime = qobject_cast<QDateTimeEdit*>(control)) {
        const QDateTime local = QDateTime::fromString(text, "yyyy/MM/dd hh:mm");
        dateTime->setDateTime(QDateTime(local.date(), local.time(), Qt::UTC));
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable())
            combo->setCurrentText(text);
        else
            combo->setCurrentIndex(combo->findText(text));
    } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
        check->setChecked(text == "1");
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
    } else if (qobject_cast<QAbstractSpinBox*>(control)) {
        typeInto(control, text);
        QTest::keyClick(editorOf(control), Qt::Key_Return);
    }
}

class PreferencesWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    void open(settings::Settings& settings, int page = 0,
              std::vector<ThemeChoice> themes = k_themes) {
        m_window =
            std::make_unique<PreferencesDialog>(nullptr, settings, configPath(), themes, QIcon());
        m_window->fill(page);
        m_window->show();
    }

    template <typename T = QWidget> T* control(const char* name) const {
        T* found = m_window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::string configPath() const { return m_dir.file("config.ini"); }
    bool configWritten() const { return std::filesystem::exists(configPath()); }

    void pressOk() { QTest::mouseClick(m_window->okButton(), Qt::LeftButton); }

    test::TempDir m_dir;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<PreferencesDialog> m_window;
};

TEST_F(PreferencesWindowTest, EveryControlShowsTheRecord) {
    settings::Settings s = nonDefaultSettings();
    open(s);
    for (const Shown& row : k_shown) {
        QWidget* shown = control(row.control);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shownText(shown).toStdString(), row.text) << row.control;
    }
    for (const Shown& row : k_pickerShown)
        EXPECT_EQ(shownText(control(row.control)).toStdString(), row.text) << row.control;
    EXPECT_EQ(control<QComboBox>("General/Language")->currentText(), "English");
    EXPECT_EQ(control<QComboBox>("Input/Format")->currentText(), "TIFF");
    EXPECT_EQ(control<QComboBox>("Output/Format")->currentText(), "BMP (Windows or OS/2 Bitmap)");
}

TEST_F(PreferencesWindowTest, SlidersShowOffsetAndHundredths) {
    settings::Settings s = nonDefaultSettings();
    open(s);
    EXPECT_EQ(control<QSlider>("Adjustment/Image Brightness/slider")->value(), 80);
    EXPECT_EQ(control<QSlider>("Adjustment/Image Contrast/slider")->value(), 135);
    EXPECT_EQ(control<QSlider>("Adjustment/Image Gamma/slider")->value(), 150);
    EXPECT_EQ(control<QSlider>("Adjustment/Image Threshold/slider")->value(), 200);
}

TEST_F(PreferencesWindowTest, ListsOfTheWindowHoldTheirEntries) {
    settings::Settings s = nonDefaultSettings();
    s.fonts = "DejaVu Sans,NoSuchFont123,DejaVu Serif";
    open(s);
    const struct {
        const char* control;
        QStringList entries;
    } cases[] = {
        {"General/Update Range",
         {"Every day", "Every week", "Every month", "Every 3 months", "Every 6 months", "Never"}},
        {"Interface/UI Theme", {"Classic Look", "Hand-drawn", "Zen Garden"}},
        {"Interface/UI Size", {"Small", "Medium", "Large", "Extra Large", "Huge"}},
        {"Output/BMP BPP", {"Auto", "1", "4", "8", "16", "24", "32"}},
        {"Input/TIFF Frame Loading", {"All", "First", "Middle", "Last", "Random"}},
        {"Watermark/Font", {"DejaVu Sans", "DejaVu Serif"}}, // only the installed ones
        {"Watermark/Font Color",
         {"Black", "White", "Red", "Orange", "Yellow", "Green", "Aqua", "Blue", "Violet",
          "Color #123456"}},
        {"Watermark/Text Size", {"Fixed"}},
    };
    for (const auto& c : cases) {
        auto* combo = control<QComboBox>(c.control);
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
        EXPECT_EQ(entries, c.entries) << c.control;
    }
    EXPECT_EQ(control<QComboBox>("Watermark/Font Color")->iconSize(), QSize(16, 16));
}

TEST_F(PreferencesWindowTest, ChangingEveryControlStoresAndWritesIt) {
    const settings::Settings wanted = nonDefaultSettings();
    settings::Settings s;
    settings::applyDefaults(s, false);
    // What the window does not show comes through unchanged.
    s.updateDate = wanted.updateDate;
    s.recentOutFolders = wanted.recentOutFolders;
    s.recentFiles = wanted.recentFiles;
    s.cleanRecentFiles = wanted.cleanRecentFiles;
    s.x = wanted.x;
    s.y = wanted.y;
    open(s);
    for (const Shown& row : k_shown)
        setShown(control(row.control), row.text);
    // Colours, fonts and the font style through their pickers.
    const struct {
        const char* swatch;
        QColor colour;
    } colours[] = {
        {"Transform/Image Rotation Back Color/swatch", QColor(0x12, 0xAB, 0x34)},
        {"Frame/Solid Left Color/swatch", Qt::red},
        {"Frame/Solid Right Color/swatch", QColor(0, 255, 0)},
        {"Frame/Solid Top Color/swatch", Qt::blue},
        {"Frame/Solid Bottom Color/swatch", QColor(0x80, 0x80, 0x80)},
        {"Watermark/Font Color/pick", QColor(0x12, 0x34, 0x56)},
    };
    for (const auto& c : colours) {
        m_dialogs.colorAnswers.push_back(c.colour);
        QTest::mouseClick(control(c.swatch), Qt::LeftButton);
    }
    QFont font("DejaVu Serif", 20);
    font.setBold(true);
    font.setItalic(true);
    m_dialogs.fontAnswers.push_back(font);
    QTest::mouseClick(control("Watermark/Font/pick"), Qt::LeftButton);

    pressOk();
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(settings::serializeConfiguration(s), settings::serializeConfiguration(wanted));
    EXPECT_TRUE(s == wanted);
    EXPECT_EQ(test::readFile(configPath()), settings::serializeConfiguration(wanted));
}

TEST_F(PreferencesWindowTest, OkWithoutChangesWritesTheSameFileByteForByte) {
    settings::Settings original = nonDefaultSettings();
    original.saveWindowPosition = 1;
    original.isMaximized = 1;
    original.width = 700;
    original.customTimestamp = 1700000123; // seconds the field does not show
    original.imageGamma = 0.25f;
    const std::string bytes = settings::serializeConfiguration(original);
    test::writeFile(configPath(), bytes);
    settings::Settings s;
    settings::loadConfiguration(s, configPath());
    open(s);
    pressOk();
    EXPECT_EQ(test::readFile(configPath()), bytes);
}

TEST_F(PreferencesWindowTest, CancelEscapeAndCloseBoxStoreNothing) {
    const std::vector<std::pair<const char*, std::function<void(PreferencesDialog&)>>> ways = {
        {"Cancel",
         [](PreferencesDialog& w) { QTest::mouseClick(w.cancelButton(), Qt::LeftButton); }},
        {"Escape", [](PreferencesDialog& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
        {"close box", [](PreferencesDialog& w) { w.close(); }},
    };
    for (const auto& [name, close] : ways) {
        settings::Settings s = nonDefaultSettings();
        const settings::Settings before = s;
        open(s);
        control<QCheckBox>("Transform/Do Image Rotation")->setChecked(false);
        setShown(control("Advanced/Filename Mask"), "changed");
        setShown(control("Interface/UI Size"), "Large");
        close(*m_window);
        EXPECT_FALSE(m_window->isVisible()) << name;
        EXPECT_EQ(m_window->refreshRequest(), RefreshRequest::None) << name;
        EXPECT_TRUE(s == before) << name;
        EXPECT_FALSE(configWritten()) << name;
    }
}

TEST_F(PreferencesWindowTest, TypedNumbersAreClampedToTheirRange) {
    settings::Settings s = nonDefaultSettings();
    open(s);
    const struct {
        const char* box;
        const char* typed;
        const char* shown;
        int slider;
    } cases[] = {
        {"Adjustment/Image Threshold", "250", "250", 250},
        {"Adjustment/Image Threshold", "300", "255", 255},
        {"Adjustment/Image Threshold", "-5", "0", 0},
        {"Adjustment/Image Brightness", "-5", "-5", 95},
        {"Adjustment/Image Contrast", "150", "100", 200},
        {"Frame/Solid Opacity", "0", "1", 1},
        {"Advanced/Out Folders Number", "77", "50", 50},
    };
    for (const auto& c : cases) {
        typeInto(control(c.box), c.typed);
        EXPECT_EQ(shownText(control(c.box)).toStdString(), c.shown) << c.box << " " << c.typed;
        EXPECT_EQ(control<QSlider>((std::string(c.box) + "/slider").c_str())->value(), c.slider)
            << c.box << " " << c.typed;
    }
}

TEST_F(PreferencesWindowTest, TypedGammaIsRoundedAndClampedWhenEditingEnds) {
    settings::Settings s = nonDefaultSettings();
    open(s);
    const struct {
        const char* typed;
        const char* shown;
        int slider;
    } cases[] = {{"0.005", "0.01", 1}, {"12", "9.99", 999}, {"2.345", "2.35", 235}};
    for (const auto& c : cases) {
        QWidget* box = control("Adjustment/Image Gamma");
        typeInto(box, c.typed);
        QTest::keyClick(editorOf(box), Qt::Key_Return);
        EXPECT_EQ(shownText(box).toStdString(), c.shown) << c.typed;
        EXPECT_EQ(control<QSlider>("Adjustment/Image Gamma/slider")->value(), c.slider) << c.typed;
    }
    EXPECT_TRUE(m_window->isVisible()); // Enter does not press a button
    control<QSlider>("Adjustment/Image Gamma/slider")->setValue(42);
    EXPECT_EQ(shownText(control("Adjustment/Image Gamma")), "0.42");
    pressOk();
    EXPECT_FLOAT_EQ(s.imageGamma, 0.42f);
}

TEST_F(PreferencesWindowTest, MovingASliderWritesItsBox) {
    settings::Settings s = nonDefaultSettings();
    open(s);
    control<QSlider>("Adjustment/Image Brightness/slider")->setValue(130);
    EXPECT_EQ(shownText(control("Adjustment/Image Brightness")), "30");
    control<QSlider>("Transform/Image Rotation/slider")->setValue(270);
    EXPECT_EQ(shownText(control("Transform/Image Rotation")), "270");
}

TEST_F(PreferencesWindowTest, ColourCorrectionIsDerivedOnOk) {
    const struct {
        int brightness;
        int8_t wanted;
    } cases[] = {{0, 0}, {1, 1}};
    for (const auto& c : cases) {
        settings::Settings s;
        settings::applyDefaults(s, false);
        s.doImageColorCorrection = 1 - c.wanted;
        open(s);
        typeInto(control("Adjustment/Image Brightness"), QString::number(c.brightness));
        pressOk();
        EXPECT_EQ(s.doImageColorCorrection, c.wanted) << c.brightness;
    }
}

TEST_F(PreferencesWindowTest, PickedColourIsAddedToTheListOnce) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    const std::string listed = s.fontColors;
    open(s);
    auto* colours = control<QComboBox>("Watermark/Font Color");
    const int entries = colours->count();
    for (int time = 0; time < 2; ++time) {
        m_dialogs.colorAnswers.push_back(QColor(0, 255, 0));
        QTest::mouseClick(control("Watermark/Font Color/pick"), Qt::LeftButton);
        EXPECT_EQ(s.fontColors, listed + ",00FF00");
        EXPECT_EQ(colours->count(), entries + 1);
        EXPECT_EQ(colours->itemText(entries), "Lime");
        EXPECT_EQ(colours->currentIndex(), entries);
    }
    // Picking a colour already offered only selects it.
    m_dialogs.colorAnswers.push_back(QColor(255, 128, 0));
    QTest::mouseClick(control("Watermark/Font Color/pick"), Qt::LeftButton);
    EXPECT_EQ(colours->currentText(), "Orange");
    EXPECT_EQ(colours->count(), entries + 1);
    // A cancelled picker changes nothing; the addition outlives Cancel.
    QTest::mouseClick(control("Watermark/Back Color/pick"), Qt::LeftButton);
    EXPECT_EQ(control<QComboBox>("Watermark/Back Color")->currentText(), "Black");
    QTest::mouseClick(m_window->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(s.fontColors, listed + ",00FF00");
    EXPECT_EQ(s.fontColor, "FFFFFF");
}

TEST_F(PreferencesWindowTest, SwatchPickerWritesTheNewColour) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.doImageRotation = 1;
    s.imageRotationBackColor = "abcdef";
    open(s);
    auto* text = control<QLineEdit>("Transform/Image Rotation Back Color");
    EXPECT_EQ(text->text(), "abcdef");
    QTest::mouseClick(control("Transform/Image Rotation Back Color/swatch"), Qt::LeftButton);
    EXPECT_EQ(text->text(), "abcdef"); // cancelled
    m_dialogs.colorAnswers.push_back(QColor(0xAB, 0xCD, 0xEF));
    QTest::mouseClick(control("Transform/Image Rotation Back Color/swatch"), Qt::LeftButton);
    EXPECT_EQ(text->text(), "abcdef"); // the same colour
    m_dialogs.colorAnswers.push_back(QColor(0x0a, 0x0b, 0x0c));
    QTest::mouseClick(control("Transform/Image Rotation Back Color/swatch"), Qt::LeftButton);
    EXPECT_EQ(text->text(), "0A0B0C");
    const QImage swatch = control<QToolButton>("Transform/Image Rotation Back Color/swatch")
                              ->icon()
                              .pixmap(34, 12)
                              .toImage();
    EXPECT_EQ(swatch.pixelColor(5, 5), QColor(0x0a, 0x0b, 0x0c));
    pressOk();
    EXPECT_EQ(s.imageRotationBackColor, "0A0B0C");
}

TEST_F(PreferencesWindowTest, FontPickerSetsNameSizeAndStyle) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s);
    const int installed = control<QComboBox>("Watermark/Font")->count();
    QFont chosen;
    chosen.setFamily("Liberation Sans, Narrow");
    chosen.setPointSize(31);
    chosen.setItalic(true);
    m_dialogs.fontAnswers.push_back(chosen);
    m_dialogs.fontAnswers.push_back(chosen);
    QTest::mouseClick(control("Watermark/Font/pick"), Qt::LeftButton);
    QTest::mouseClick(control("Watermark/Font/pick"), Qt::LeftButton);
    EXPECT_EQ(s.fonts, "Arial,Tahoma,Verdana,Liberation Sans Narrow");
    EXPECT_EQ(control<QComboBox>("Watermark/Font")->count(), installed + 1);
    EXPECT_EQ(shownText(control("Watermark/Font")), "Liberation Sans Narrow");
    EXPECT_EQ(shownText(control("Watermark/Font Size")), "31");
    EXPECT_EQ(shownText(control("Watermark/Font Style")), "Italic");
    QTest::mouseClick(control("Watermark/Font/pick"), Qt::LeftButton); // cancelled
    pressOk();
    EXPECT_EQ(s.font, "Liberation Sans Narrow");
    EXPECT_EQ(s.fontSize, 31);
    EXPECT_EQ(s.fontStyle, 2);
}

TEST_F(PreferencesWindowTest, ImagePickerAsksWithTitleStartAndFilters) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.image = " /home/user/old.png ";
    open(s);
    QTest::mouseClick(control("Watermark/Image/pick"), Qt::LeftButton);
    ASSERT_EQ(m_dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(m_dialogs.fileRequests[0][0], "Select Watermark Image");
    EXPECT_EQ(m_dialogs.fileRequests[0][1], "/home/user/old.png");
    EXPECT_EQ(m_dialogs.fileRequests[0][2],
              "All Supported Files (*.png *.bmp *.rle *.dib *.jpg *.jpeg *.jpe *.jif);;"
              "Portable Network Graphics (*.png);;"
              "Windows or OS/2 Bitmap (*.bmp *.rle *.dib);;"
              "JPEG File (*.jpg *.jpeg *.jpe *.jif);;All Files (*)");
    EXPECT_EQ(shownText(control("Watermark/Image")), " /home/user/old.png "); // cancelled
    m_dialogs.fileAnswers.push_back("/home/user/new.png");
    QTest::mouseClick(control("Watermark/Image/pick"), Qt::LeftButton);
    pressOk();
    EXPECT_EQ(s.image, "/home/user/new.png");
}

TEST_F(PreferencesWindowTest, TextsAreStoredTrimmedWithoutTabsAndLineBreaks) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s);
    setShown(control("Advanced/Filename Mask"), "%filename%\t_a.%ext% ");
    setShown(control("Watermark/Text"), "  (c) me\r\n");
    setShown(control("Watermark/Image"), "\t/x.png ");
    setShown(control("Watermark/Font"), " Free Font ");
    pressOk();
    EXPECT_EQ(s.filenameMask, "%filename%_a.%ext%");
    EXPECT_EQ(s.text, "(c) me");
    EXPECT_EQ(s.image, "/x.png");
    EXPECT_EQ(s.font, " Free Font "); // the font list's text is taken as it is
}

TEST_F(PreferencesWindowTest, NumberFieldsStoreTheirLeadingDigits) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s);
    setShown(control("Transform/Do Image Resize"), "1");
    auto* width = control<QLineEdit>("Transform/Image Width");
    width->selectAll();
    QTest::keyClicks(width, "12a-3"); // letters and inner signs are refused as typed
    EXPECT_EQ(width->text(), "123");
    setShown(control("Frame/Solid Left"), "");
    setShown(control("Watermark/Text X Offset"), "-30");
    pressOk();
    EXPECT_EQ(s.imageWidth, 123);
    EXPECT_EQ(s.solidLeft, 0);
    EXPECT_EQ(s.textXOffset, -30);
}

TEST_F(PreferencesWindowTest, RefreshRequestNamesWhatChanged) {
    const struct {
        const char* theme;
        const char* size;
        RefreshRequest request;
    } cases[] = {
        {"Classic Look", "Small", RefreshRequest::Full},
        {"Classic Look", "Medium", RefreshRequest::Full},
        {"Zen Garden", "Small", RefreshRequest::IconsOnly},
        {"Zen Garden", "Medium", RefreshRequest::None},
    };
    for (const auto& c : cases) {
        settings::Settings s = nonDefaultSettings(); // zen, medium
        open(s);
        setShown(control("Interface/UI Theme"), c.theme);
        setShown(control("Interface/UI Size"), c.size);
        pressOk();
        EXPECT_EQ(m_window->refreshRequest(), c.request) << c.theme << " " << c.size;
    }
}

TEST_F(PreferencesWindowTest, ThemeKeysAreOrderedWithoutRegardToCase) {
    settings::Settings s = nonDefaultSettings();
    s.uiTheme = "Classic";
    open(s);
    setShown(control("Interface/UI Theme"), "Hand-drawn");
    pressOk();
    EXPECT_EQ(s.uiTheme, "handdrawn");
}

TEST_F(PreferencesWindowTest, UnknownThemeSelectsTheFirstAndNoThemeKeepsTheSetting) {
    settings::Settings s = nonDefaultSettings();
    s.uiTheme = "gone";
    open(s);
    EXPECT_EQ(shownText(control("Interface/UI Theme")), "Classic Look");
    settings::Settings none = nonDefaultSettings();
    open(none, 0, {});
    EXPECT_EQ(shownText(control("Interface/UI Theme")), "None");
    pressOk();
    EXPECT_EQ(none.uiTheme, "zen");
    EXPECT_EQ(m_window->refreshRequest(), RefreshRequest::None);
}

TEST_F(PreferencesWindowTest, ValuesNoEntryShowsAreKept) {
    settings::Settings s = nonDefaultSettings();
    s.updateRange = 9;
    s.bmpBpp = 7;
    s.textSize = 1;
    s.imageWidthUnit = 5;
    s.fontColor = "ABCDEF";
    open(s);
    EXPECT_EQ(control<QComboBox>("General/Update Range")->currentIndex(), -1);
    EXPECT_EQ(control<QComboBox>("Output/BMP BPP")->currentIndex(), -1);
    EXPECT_EQ(control<QComboBox>("Watermark/Font Color")->currentIndex(), -1);
    pressOk();
    EXPECT_EQ(s.updateRange, 9);
    EXPECT_EQ(s.bmpBpp, 7);
    EXPECT_EQ(s.textSize, 1);
    EXPECT_EQ(s.imageWidthUnit, 5);
    EXPECT_EQ(s.fontColor, "ABCDEF");
}

TEST_F(PreferencesWindowTest, StoredValuesOutsideARangeAreClamped) {
    settings::Settings s = nonDefaultSettings();
    s.imageThreshold = 300;
    s.imageBrightness = -2147483647 - 1;
    s.imageGamma = std::numeric_limits<float>::quiet_NaN();
    open(s);
    EXPECT_EQ(shownText(control("Adjustment/Image Threshold")), "255");
    EXPECT_EQ(shownText(control("Adjustment/Image Brightness")), "-100");
    EXPECT_EQ(control<QSlider>("Adjustment/Image Brightness/slider")->value(), 0);
    EXPECT_EQ(shownText(control("Adjustment/Image Gamma")), "1.00");
}

TEST_F(PreferencesWindowTest, DefaultsAsksAndOnNoChangesNothing) {
    settings::Settings s = nonDefaultSettings();
    const settings::Settings before = s;
    open(s);
    m_dialogs.questionAnswers.push_back(false);
    QTest::mouseClick(m_window->defaultsButton(), Qt::LeftButton);
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_EQ(m_dialogs.questions[0].title, "Reset to Defaults");
    EXPECT_EQ(m_dialogs.questions[0].text,
              "Are you sure you want to reset all your settings to the default values?");
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(s == before);
    EXPECT_FALSE(configWritten());
}

TEST_F(PreferencesWindowTest, DefaultsOnYesResetsWritesAndAsksForARebuild) {
    const struct {
        const char* theme;
        const char* size;
        RefreshRequest request;
    } cases[] = {
        {"Zen Garden", "Large", RefreshRequest::Full},
        {"Hand-drawn", "Small", RefreshRequest::IconsOnly},
        {"Hand-drawn", "Large", RefreshRequest::None},
    };
    for (const auto& c : cases) {
        settings::Settings s = nonDefaultSettings();
        open(s);
        setShown(control("Interface/UI Theme"), c.theme);
        setShown(control("Interface/UI Size"), c.size);
        m_dialogs.questionAnswers.push_back(true);
        QTest::mouseClick(m_window->defaultsButton(), Qt::LeftButton);
        EXPECT_FALSE(m_window->isVisible());
        EXPECT_EQ(m_window->refreshRequest(), c.request) << c.theme << " " << c.size;
        settings::Settings defaults;
        settings::applyDefaults(defaults, false);
        defaults.updateDate = s.updateDate;
        defaults.customTimestamp = s.customTimestamp;
        defaults.x = s.x;
        defaults.y = s.y;
        EXPECT_TRUE(s == defaults);
        EXPECT_EQ(test::readFile(configPath()), settings::serializeConfiguration(s));
    }
}

TEST_F(PreferencesWindowTest, DependentRowsFollowTheirLeadingControl) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s, 4);
    const struct {
        const char* leader;
        const char* on;
        const char* off;
        std::vector<const char*> rows;
    } cases[] = {
        {"Transform/Do Image Rotation",
         "1",
         "0",
         {"Transform/Image Rotation Type", "Transform/Image Rotation",
          "Transform/Image Rotation/slider", "Transform/Image Rotation Back Color/swatch",
          "Transform/Image Rotation Type/label"}},
        {"Transform/Do Image Resize",
         "1",
         "0",
         {"Transform/Image Width", "Transform/Image Width/unit", "Transform/Image Height",
          "Transform/Keep Aspect Ratio", "Transform/Image Resize Type",
          "Transform/Image Resize Algorithm"}},
        {"Adjustment/Do Image Threshold", "1", "0", {"Adjustment/Image Threshold/slider"}},
        {"Adjustment/Do Image Dither", "1", "0", {"Adjustment/Image Dither Algorithm"}},
        {"Advanced/File Timestamp", "Custom", "Original", {"Advanced/Custom Timestamp"}},
    };
    for (const auto& c : cases) {
        for (const char* row : c.rows)
            EXPECT_FALSE(control(row)->isEnabled()) << row << " after filling";
        setShown(control(c.leader), c.on);
        for (const char* row : c.rows)
            EXPECT_TRUE(control(row)->isEnabled()) << row;
        setShown(control(c.leader), c.off);
        for (const char* row : c.rows)
            EXPECT_FALSE(control(row)->isEnabled()) << row;
    }
}

TEST_F(PreferencesWindowTest, SubPanelsFollowTheirLists) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s);
    auto visible = [&](const char* name) {
        return control(name)->isVisibleTo(control(name)->parentWidget());
    };
    EXPECT_TRUE(visible("Input/tiff panel"));
    EXPECT_FALSE(visible("Input/raw panel"));
    EXPECT_TRUE(visible("Output/bmp panel"));
    EXPECT_FALSE(visible("Output/jpg panel"));
    EXPECT_FALSE(visible("Frame/solid panel"));
    setShown(control("Frame/Do Frame"), "Solid Color");
    EXPECT_TRUE(visible("Frame/solid panel"));
    const struct {
        const char* type;
        bool text;
        bool image;
    } watermarks[] = {{"None", false, false}, {"Text", true, false}, {"Image", false, true}};
    for (const auto& w : watermarks) {
        setShown(control("Watermark/Do Watermark"), w.type);
        EXPECT_EQ(visible("Watermark/text panel"), w.text) << w.type;
        EXPECT_EQ(visible("Watermark/image panel"), w.image) << w.type;
    }
    EXPECT_FALSE(visible("Watermark/Text Scale"));
    EXPECT_FALSE(visible("Watermark/Image Scale/label"));
    EXPECT_TRUE(visible("Advanced/Keep Subfolders"));
    EXPECT_TRUE(visible("Advanced/Keep Subfolders/label"));
}

TEST_F(PreferencesWindowTest, CategoryListShowsOnePanelAndItsTitle) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s, 3);
    const char* names[] = {"General",    "Interface", "Input",     "Output",  "Transform",
                           "Adjustment", "Frame",     "Watermark", "Advanced"};
    auto* list = control<QListWidget>("categories");
    ASSERT_EQ(list->count(), 9);
    for (int page = 0; page < 9; ++page) {
        list->setCurrentRow(page);
        EXPECT_EQ(control<QLabel>("title")->text(), names[page]);
        for (int other = 0; other < 9; ++other)
            EXPECT_EQ(control(names[other])->isVisible(), other == page) << names[other];
    }
    EXPECT_TRUE(control<QLabel>("title")->font().bold());
    EXPECT_EQ(control<QLabel>("title")->font().pointSize(), 10);
}

TEST_F(PreferencesWindowTest, LayoutFollowsTheGrid) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s);
    EXPECT_EQ(m_window->size(), QSize(600, 350));
    EXPECT_EQ(m_window->windowTitle(), "Preferences...");
    EXPECT_EQ(control("categories")->geometry(), QRect(10, 10, 120, 295));
    EXPECT_EQ(control("General")->geometry(), QRect(140, 50, 450, 255));
    EXPECT_EQ(control("Transform")->geometry(), QRect(140, 50, 450, 255));
    EXPECT_EQ(m_window->defaultsButton()->geometry(), QRect(10, 315, 80, 25));
    EXPECT_EQ(m_window->okButton()->geometry(), QRect(420, 315, 80, 25));
    EXPECT_EQ(m_window->cancelButton()->geometry(), QRect(510, 315, 80, 25));
    const struct {
        const char* name;
        QRect geometry;
    } rows[] = {
        {"General/Update Range/label", QRect(10, 43, 160, 20)},
        {"General/Update Range", QRect(170, 40, 240, 21)},
        {"General/Save Window Position", QRect(170, 70, 240, 20)},
        {"Transform/Image Width", QRect(170, 160, 160, 20)},
        {"Transform/Image Width/unit", QRect(340, 160, 70, 21)},
        {"Transform/Image Rotation/slider", QRect(170, 70, 170, 20)},
        {"Transform/Image Rotation", QRect(340, 70, 70, 20)},
        {"Transform/Image Rotation Back Color/swatch", QRect(170, 100, 44, 22)},
        {"Transform/Image Rotation Back Color", QRect(220, 100, 190, 20)},
        {"Watermark/Font", QRect(170, 40, 214, 21)},
        {"Watermark/Font/pick", QRect(389, 40, 22, 22)},
        {"Watermark/Text", QRect(170, 10, 240, 20)},
        {"Advanced/Custom Timestamp", QRect(170, 70, 240, 21)},
        {"Output/bmp panel", QRect(0, 40, 450, 215)},
        {"Watermark/text panel", QRect(0, 40, 450, 215)},
    };
    for (const auto& row : rows) {
        if (QWidget* found = control(row.name)) {
            EXPECT_EQ(found->geometry(), row.geometry) << row.name;
        }
    }
    const struct {
        const char* area;
        int height;
    } scrolls[] = {{"Transform", 375},
                   {"Adjustment", 285},
                   {"Frame/solid panel", 310},
                   {"Watermark/text panel", 610},
                   {"Watermark/image panel", 310}};
    for (const auto& scroll : scrolls) {
        auto* area = control<QScrollArea>(scroll.area);
        EXPECT_EQ(area->widget()->size(), QSize(420, scroll.height)) << scroll.area;
        EXPECT_EQ(area->verticalScrollBar()->singleStep(), 10) << scroll.area;
    }
}

TEST_F(PreferencesWindowTest, NoLabelIsCutOff) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    open(s);
    for (QLabel* label : m_window->findChildren<QLabel*>()) {
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_LE(needed, label->contentsRect().width()) << label->text().toStdString();
    }
    for (QComboBox* combo : m_window->findChildren<QComboBox*>()) {
        for (int i = 0; i < combo->count(); ++i)
            EXPECT_FALSE(combo->itemText(i).isEmpty()) << combo->objectName().toStdString();
    }
}

TEST_F(PreferencesWindowTest, FailedWriteIsReportedAndTheRecordKeepsTheEdit) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    const std::string missing = m_dir.file("missing/config.ini");
    m_window = std::make_unique<PreferencesDialog>(nullptr, s, missing, k_themes, QIcon());
    m_window->fill(0);
    setShown(control("Advanced/Filename Mask"), "%filename%.x.%ext%");
    pressOk();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text.toStdString(),
              "Unable to save the file: " + missing + "!");
    EXPECT_EQ(s.filenameMask, "%filename%.x.%ext%");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "missing"));
}

// runPreferences as the main window's two commands call it: Preferences (page 0 as left by
// the last opening) and the output-format options (page 3).
TEST_F(PreferencesWindowTest, OpensModalOnTheStartPageCentredOnItsParent) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    QWidget owner;
    owner.setGeometry(100, 80, 800, 600);
    owner.show();
    const struct {
        int8_t page;
        const char* shown;
    } openings[] = {{3, "Output"}, {0, "General"}, {42, "General"}};
    for (const auto& opening : openings) {
        int8_t startPage = opening.page;
        QString title;
        bool modal = false;
        bool ownerEnabled = false;
        QPoint centre;
        QTimer::singleShot(0, [&] {
            auto* window = dynamic_cast<PreferencesDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(window, nullptr);
            title = window->findChild<QLabel*>("title")->text();
            modal = window->windowModality() != Qt::NonModal;
            ownerEnabled = owner.isEnabled();
            centre = window->geometry().center();
            EXPECT_EQ(startPage, 0);
            QTest::keyClick(window, Qt::Key_Escape);
        });
        EXPECT_EQ(runPreferences(&owner, s, startPage, configPath(), k_themes),
                  RefreshRequest::None);
        EXPECT_EQ(title, opening.shown);
        EXPECT_TRUE(modal);
        EXPECT_TRUE(ownerEnabled);
        EXPECT_LE((centre - owner.geometry().center()).manhattanLength(), 2);
        EXPECT_EQ(startPage, 0);
    }
}

TEST_F(PreferencesWindowTest, RunPreferencesReturnsTheRequestOfOk) {
    settings::Settings s = nonDefaultSettings();
    int8_t startPage = 1;
    QTimer::singleShot(0, [&] {
        auto* window = dynamic_cast<PreferencesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        setShown(window->findChild<QWidget*>("Interface/UI Size"), "Large");
        QTest::mouseClick(window->okButton(), Qt::LeftButton);
    });
    EXPECT_EQ(runPreferences(nullptr, s, startPage, configPath(), k_themes),
              RefreshRequest::IconsOnly);
    EXPECT_EQ(s.uiSize, 2);
    EXPECT_TRUE(configWritten());
}

} // namespace
} // namespace kx::ui