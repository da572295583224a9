#include "ui/preferences/preferences_panels.h"

#include "base/text.h"
#include "imaging/format_registry.h"
#include "settings/setting_keys.h"
#include "settings/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <initializer_list>

namespace kx::ui::prefs {

namespace {

constexpr QRect k_panelArea(140, 50, 450, 255);
constexpr QRect k_subPanelArea(0, 40, 450, 215);
constexpr int k_innerWidth = 420;
constexpr int k_scrollStep = 10;

QStringList texts(std::initializer_list<const char*> keys) {
    QStringList result;
    for (const char* key : keys)
        result << preferencesText(key);
    return result;
}

const std::initializer_list<const char*> k_frameLoading = {
    "All Frames", "First Frame", "Middle Frame", "Last Frame", "Random Frame"};
const std::initializer_list<const char*> k_positions = {
    "Top-Left",     "Top-Center",  "Top-Right",     "Middle-Left", "Middle-Center",
    "Middle-Right", "Bottom-Left", "Bottom-Center", "Bottom-Right"};
const std::initializer_list<const char*> k_boundaries = {"Bound Image", "Bound Frame"};

// Places fields on the row grid of one panel, one row after the other.
class Grid {
public:
    Grid(QWidget* panel, Panels& panels, FieldContext& context, int row = 0)
        : m_panel(panel), m_panels(panels), m_context(context), m_row(row) {}

    template <typename F, typename... Args> F* add(Args&&... args) {
        auto field = std::make_unique<F>(m_panel, m_row++, std::forward<Args>(args)...);
        F* raw = field.get();
        m_panels.fields.push_back(std::move(field));
        return raw;
    }

    ListField* list(const char* label, const char* group, const char* key,
                    std::initializer_list<const char*> entries) {
        return add<ListField>(label, settingKey(group, key), texts(entries));
    }
    CheckField* check(const char* label, const char* group, const char* key) {
        return add<CheckField>(label, settingKey(group, key));
    }
    NumberField* number(const char* label, const char* group, const char* key,
                        std::initializer_list<const char*> units, const char* unitKey = nullptr) {
        return add<NumberField>(label, settingKey(group, key), texts(units),
                                unitKey ? &settingKey(group, unitKey) : nullptr);
    }
    SliderField* slider(const char* label, const char* group, const char* key, int min, int max,
                        int offset = 0) {
        return add<SliderField>(label, settingKey(group, key), min, max, offset);
    }
    ColourField* colour(const char* label, const char* group, const char* key) {
        return add<ColourField>(label, settingKey(group, key), m_context);
    }
    ColourListField* colourList(const char* label, const char* group, const char* key,
                                const char* listKey) {
        return add<ColourListField>(label, settingKey(group, key), settingKey(group, listKey),
                                    m_context);
    }
    TextField* text(const char* label, const char* group, const char* key) {
        return add<TextField>(label, settingKey(group, key));
    }
    DepthField* depth(const char* key) {
        return add<DepthField>(settingKey("Output", key), formatOf(key));
    }
    FieldContext& context() { return m_context; }

private:
    // "JPG BPP" belongs to "jpg".
    static std::string formatOf(const char* key) {
        const std::string_view name(key);
        return base::lowerCase(name.substr(0, name.find(' ')));
    }

    QWidget* m_panel;
    Panels& m_panels;
    FieldContext& m_context;
    int m_row;
};

QWidget* plainPanel(QWidget* parent, const QRect& area) {
    auto* panel = new QWidget(parent);
    panel->setGeometry(area);
    return panel;
}

// A scroll area over `area` whose page is 420 wide and `innerHeight` high. Returns the page;
// `outer` receives the area, which is what is shown and hidden.
QWidget* scrollPanel(QWidget* parent, const QRect& area, int innerHeight, QWidget** outer) {
    auto* scroll = new QScrollArea(parent);
    scroll->setGeometry(area);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->verticalScrollBar()->setSingleStep(k_scrollStep);
    auto* page = new QWidget;
    page->resize(k_innerWidth, innerHeight);
    scroll->setWidget(page);
    *outer = scroll;
    return page;
}

void enableRows(std::initializer_list<Field*> rows, bool enabled) {
    for (Field* row : rows)
        row->setRowEnabled(enabled);
}

// Runs `rule` whenever the check box or list of `leader` changes, and once after filling.
void addRule(Panels& panels, QCheckBox* leader, std::function<void()> rule) {
    QObject::connect(leader, &QCheckBox::toggled, leader, [rule] { rule(); });
    panels.rules.push_back(std::move(rule));
}

void addRule(Panels& panels, QComboBox* leader, std::function<void()> rule) {
    QObject::connect(leader, &QComboBox::currentIndexChanged, leader, [rule] { rule(); });
    panels.rules.push_back(std::move(rule));
}

void buildGeneral(QWidget* panel, Panels& panels, FieldContext& context) {
    Grid grid(panel, panels, context);
    grid.add<LanguageField>(settingKey("General", "Language"));
    grid.list(
        "Check For Updates", "General", "Update Range",
        {"Every day", "Every week", "Every month", "Every 3 months", "Every 6 months", "Never"});
    grid.check("Save window position", "General", "Save Window Position");
}

void buildInterface(QWidget* panel, Panels& panels, FieldContext& context,
                    const std::vector<ThemeChoice>& themes) {
    Grid grid(panel, panels, context);
    panels.theme = grid.add<ThemeField>(settingKey("Interface", "UI Theme"), themes);
    // One entry per toolbar icon size the window has: 16, 24, 32, 48 and 64 pixels.
    panels.uiSize = grid.list("UI Size", "Interface", "UI Size",
                              {"Small", "Medium", "Large", "Extra Large", "Huge"});
}

// The loading settings of every input format that has some, on the grid below the list.
void buildInputSubPanel(const std::string& format, Grid& grid) {
    if (format == "dds") {
        grid.list("Load As", "Input", "DDS Load As", {"Auto", "BGRA", "RGBA"});
    } else if (format == "gif") {
        grid.list("Frame Loading", "Input", "GIF Frame Loading", k_frameLoading);
    } else if (format == "ico") {
        grid.list("Frame Loading", "Input", "ICO Frame Loading", k_frameLoading);
    } else if (format == "psd") {
        grid.list("Color Mode", "Input", "PSD Color Mode", {"RGB", "CMYK", "LAB"});
    } else if (format == "raw") {
        grid.list("Load As", "Input", "RAW Load As",
                  {"Auto", "RGB8", "RGB16", "RGB24", "RGB48HS", "RGB48"});
        grid.number("Header Size", "Input", "RAW Header Size", {"Bytes"});
        grid.number("Image Width", "Input", "RAW Image Width", {"Pixels"});
        grid.number("Image Height", "Input", "RAW Image Height", {"Pixels"});
        grid.list("Tone Mapping", "Input", "RAW Tone Mapping",
                  {"None", "Linear", "Adaptive Logarithmic", "DR Reduction", "Gradient Domain"});
    } else if (format == "tiff") {
        grid.list("Frame Loading", "Input", "TIFF Frame Loading", k_frameLoading);
    }
}

// The saving settings of every output format, on the grid below the list.
void buildOutputSubPanel(const std::string& format, Grid& grid) {
    grid.depth((base::upperCase(format) + " BPP").c_str());
    if (format == "bmp") {
        grid.list("Compression", "Output", "BMP Compression", {"None", "RLE"});
        grid.list("Color Table", "Output", "BMP Color Table", {"Auto", "Exact"});
    } else if (format == "exr") {
        grid.list("Compression", "Output", "EXR Compression",
                  {"None", "ZIP", "PIZ", "PXR24", "B44"});
    } else if (format == "jpg") {
        grid.slider("Image Quality", "Output", "JPG Quality", 1, 100);
        grid.list("Chroma Subsampling", "Output", "JPG Chroma", {"None", "Low", "Medium", "High"});
        grid.list("Save As", "Output", "JPG Save As",
                  {"Baseline Standard", "Baseline Simple", "Baseline Optimized", "Progressive"});
    } else if (format == "png") {
        grid.list("Compression", "Output", "PNG Compression", {"None", "ZLIB1", "ZLIB6", "ZLIB9"});
        grid.check("Interlaced", "Output", "PNG Interlaced");
    } else if (format == "tga") {
        grid.list("Compression", "Output", "TGA Compression", {"None", "RLE"});
    } else if (format == "tiff") {
        grid.list("Compression", "Output", "TIFF Compression",
                  {"None", "CCITTFAX3", "CCITTFAX4", "PACKBITS", "DEFLATE", "ADOBEDEFLATE", "LZW",
                   "JPEG", "LOGLUV"});
        grid.list("Color Mode", "Output", "TIFF Color Mode", {"RGB", "CMYK"});
    } else if (format == "webp") {
        grid.slider("Image Quality", "Output", "WEBP Quality", 1, 100);
    }
}

const std::vector<std::string> k_inputFormatsWithSettings = {"dds", "gif", "ico",
                                                             "psd", "raw", "tiff"};
const std::vector<std::string> k_outputFormatsWithSettings = {
    "bmp", "dds", "exr", "gif", "hdr", "ico", "j2k", "jng",  "jp2",  "jpg",  "jxr", "pbm",
    "pcx", "pfm", "pgm", "png", "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};

void buildFormatPanel(QWidget* panel, Panels& panels, FieldContext& context, bool output,
                      const QIcon& icon) {
    const char* group = output ? "Output" : "Input";
    auto field = std::make_unique<FormatField>(
        panel, settingKey(group, "Format"),
        output ? settings::outputFormatList() : settings::inputFormatList(), icon, output);
    FormatField* formats = field.get();
    panels.fields.push_back(std::move(field));
    for (const std::string& format :
         output ? k_outputFormatsWithSettings : k_inputFormatsWithSettings) {
        QWidget* subPanel = plainPanel(panel, k_subPanelArea);
        subPanel->setObjectName(QString("%1/%2 panel").arg(group, QString::fromStdString(format)));
        subPanel->hide();
        Grid grid(subPanel, panels, context);
        if (output)
            buildOutputSubPanel(format, grid);
        else
            buildInputSubPanel(format, grid);
        formats->addSubPanel(format, subPanel);
    }
    addRule(panels, formats->combo(), [formats] { formats->showSelectedSubPanel(); });
}

void buildTransform(QWidget* page, Panels& panels, FieldContext& context) {
    Grid grid(page, panels, context);
    CheckField* rotate = grid.check("Image Rotation", "Transform", "Do Image Rotation");
    Field* type = grid.list("Rotation Type", "Transform", "Image Rotation Type",
                            {"Simple Rotation", "Advanced Rotation"});
    Field* angle = grid.slider("Rotation Angle", "Transform", "Image Rotation", 0, 360);
    Field* back = grid.colour("Background Color", "Transform", "Image Rotation Back Color");
    CheckField* resize = grid.check("Image Resize", "Transform", "Do Image Resize");
    Field* width = grid.number("Image Width", "Transform", "Image Width", {"Pixels", "Percent"},
                               "Image Width Unit");
    Field* height = grid.number("Image Height", "Transform", "Image Height", {"Pixels", "Percent"},
                                "Image Height Unit");
    Field* keep = grid.check("Keep Aspect Ratio", "Transform", "Keep Aspect Ratio");
    Field* resizeType =
        grid.list("Resize Type", "Transform", "Image Resize Type", {"All Images", "Large Images"});
    Field* algorithm =
        grid.list("Resize Algorithm", "Transform", "Image Resize Algorithm",
                  {"Box", "Bilinear", "Bspline", "Bicubic", "Catmullrom", "Lanczos"});
    grid.check("Image Flip Horizontal", "Transform", "Do Image Flip Horizontal");
    grid.check("Image Flip Vertical", "Transform", "Do Image Flip Vertical");

    addRule(panels, rotate->check(), [=] {
        enableRows({type, angle, back}, rotate->check()->isChecked());
    });
    addRule(panels, resize->check(), [=] {
        enableRows({width, height, keep, resizeType, algorithm}, resize->check()->isChecked());
    });
}

void buildAdjustment(QWidget* page, Panels& panels, FieldContext& context) {
    Grid grid(page, panels, context);
    grid.slider("Image Brightness", "Adjustment", "Image Brightness", -100, 100, 100);
    grid.slider("Image Contrast", "Adjustment", "Image Contrast", -100, 100, 100);
    grid.add<GammaField>("Image Gamma", settingKey("Adjustment", "Image Gamma"));
    grid.check("Image Invert", "Adjustment", "Image Invert");
    grid.check("Image Greyscale", "Adjustment", "Do Image Greyscale");
    CheckField* threshold = grid.check("Image Threshold", "Adjustment", "Do Image Threshold");
    Field* level = grid.slider("Threshold Level", "Adjustment", "Image Threshold", 0, 255);
    CheckField* dither = grid.check("Image Dither", "Adjustment", "Do Image Dither");
    Field* algorithm =
        grid.list("Dither Algorithm", "Adjustment", "Image Dither Algorithm",
                  {"FS", "Bayer4", "Bayer8", "Bayer16", "Cluster6", "Cluster8", "Cluster16"});

    addRule(panels, threshold->check(),
            [=] { level->setRowEnabled(threshold->check()->isChecked()); });
    addRule(panels, dither->check(),
            [=] { algorithm->setRowEnabled(dither->check()->isChecked()); });
}

void buildFrame(QWidget* panel, Panels& panels, FieldContext& context) {
    Grid grid(panel, panels, context);
    ListField* type = grid.list("Frame Type", "Frame", "Do Frame", {"None", "Frame Solid"});
    QWidget* area = nullptr;
    QWidget* page = scrollPanel(panel, k_subPanelArea, 310, &area);
    area->setObjectName("Frame/solid panel");
    Grid rows(page, panels, context);
    for (const char* side : {"Left", "Right", "Top", "Bottom"})
        rows.number(side, "Frame", (std::string("Solid ") + side).c_str(), {"Pixels"});
    for (const char* side : {"Left", "Right", "Top", "Bottom"}) {
        const std::string label = std::string(side) + " Color";
        rows.colour(label.c_str(), "Frame", ("Solid " + label).c_str());
    }
    rows.slider("Opacity", "Frame", "Solid Opacity", 1, 255);

    addRule(panels, type->combo(), [=] { area->setVisible(type->combo()->currentIndex() == 1); });
}

void addSizeRule(Panels& panels, ListField* size, Field* scale) {
    addRule(panels, size->combo(),
            [=] { scale->setRowVisible(size->combo()->currentIndex() == 1); });
}

// The rows both watermark kinds share, from where the mark goes to its size; their keys
// begin with `kind` ("Text" or "Image").
void addPlacementRows(Grid& grid, Panels& panels, const std::string& kind) {
    const auto key = [&kind](const char* rest) { return kind + " " + rest; };
    grid.list("Boundary", "Watermark", key("Boundary").c_str(), k_boundaries);
    grid.list("Position", "Watermark", key("Position").c_str(), k_positions);
    grid.number("X-Offset", "Watermark", key("X Offset").c_str(), {"Pixels"});
    grid.number("Y-Offset", "Watermark", key("Y Offset").c_str(), {"Pixels"});
    grid.slider("Rotation Angle", "Watermark", key("Rotation").c_str(), 0, 360);
    ListField* sizeType = grid.list("Size", "Watermark", key("Size").c_str(), {"Fixed"});
    addSizeRule(panels, sizeType, grid.slider("Scale", "Watermark", key("Scale").c_str(), 1, 200));
}

void buildTextWatermark(QWidget* page, Panels& panels, FieldContext& context) {
    Grid grid(page, panels, context);
    grid.text("Text", "Watermark", "Text");
    auto* font = grid.add<FontField>("Font", settingKey("Watermark", "Font"),
                                     settingKey("Watermark", "Fonts"), context);
    NumberField* size = grid.number("Font Size", "Watermark", "Font Size", {"Points"});
    grid.number("Font Leading", "Watermark", "Font Leading", {"Pixels"});
    grid.colourList("Font Color", "Watermark", "Font Color", "Font Colors");
    ListField* style = grid.list("Font Style", "Watermark", "Font Style",
                                 {"Regular", "Bold", "Italic", "Bold Italic"});
    ListField* effect =
        grid.list("Font Effect", "Watermark", "Font Effect", {"None", "Underline", "Strikeout"});
    // The style and effect flags of the platform font dialog.
    for (int entry = 0; entry < 4; ++entry)
        style->combo()->setItemData(entry, entry * 256);
    for (int entry = 0; entry < 3; ++entry)
        effect->combo()->setItemData(entry, entry * 4);
    font->setCompanions(size, style);
    grid.check("Antialiasing", "Watermark", "Text Antialiasing");
    grid.list("Text Alignment", "Watermark", "Text Alignment",
              {"Align Left", "Align Center", "Align Right"});
    grid.number("Text Padding", "Watermark", "Text Padding", {"Pixels"});
    grid.slider("Text Opacity", "Watermark", "Text Opacity", 1, 255);
    grid.colourList("Background Color", "Watermark", "Back Color", "Back Colors");
    grid.slider("Background Opacity", "Watermark", "Back Opacity", 1, 255);
    addPlacementRows(grid, panels, "Text");
}

void buildImageWatermark(QWidget* page, Panels& panels, FieldContext& context) {
    Grid grid(page, panels, context);
    grid.add<TextField>("Image", settingKey("Watermark", "Image"), &context);
    grid.check("Image Greyscale", "Watermark", "Image Greyscale");
    grid.slider("Opacity", "Watermark", "Image Opacity", 1, 255);
    addPlacementRows(grid, panels, "Image");
}

void buildWatermark(QWidget* panel, Panels& panels, FieldContext& context) {
    Grid grid(panel, panels, context);
    ListField* type = grid.list("Watermark Type", "Watermark", "Do Watermark",
                                {"None", "Watermark Text", "Watermark Image"});
    QWidget* textArea = nullptr;
    buildTextWatermark(scrollPanel(panel, k_subPanelArea, 610, &textArea), panels, context);
    textArea->setObjectName("Watermark/text panel");
    QWidget* imageArea = nullptr;
    buildImageWatermark(scrollPanel(panel, k_subPanelArea, 310, &imageArea), panels, context);
    imageArea->setObjectName("Watermark/image panel");

    addRule(panels, type->combo(), [=] {
        textArea->setVisible(type->combo()->currentIndex() == 1);
        imageArea->setVisible(type->combo()->currentIndex() == 2);
    });
}

void buildAdvanced(QWidget* panel, Panels& panels, FieldContext& context) {
    Grid grid(panel, panels, context);
    grid.text("Filename Mask", "Advanced", "Filename Mask");
    ListField* stamp = grid.list("File Timestamp", "Advanced", "File Timestamp",
                                 {"Current", "Original", "Custom"});
    Field* custom =
        grid.add<DateField>("Custom Timestamp", settingKey("Advanced", "Custom Timestamp"));
    grid.list("Out Folders History", "Advanced", "Out Folders History",
              {"Clean On Exit", "Keep Folders"});
    grid.slider("Out Folders Number", "Advanced", "Out Folders Number", 1, 50);
    // Folders are inputs of the window too, so their subfolders can be kept or not here.
    grid.check("Keep Subfolders", "Advanced", "Keep Subfolders");

    addRule(panels, stamp->combo(),
            [=] { custom->setRowEnabled(stamp->combo()->currentIndex() == 2); });
}

} // namespace

LanguageField::LanguageField(QWidget* panel, int row, const settings::SettingKey& key)
    : ListField(panel, row, "Language", key, {"English"}) {}

void LanguageField::fill(const settings::Settings&) {
    m_combo->setCurrentIndex(0);
}

void LanguageField::store(settings::Settings& settings) const {
    settings.*m_key.text = "en";
}

namespace {

bool keyBefore(const ThemeChoice& a, const ThemeChoice& b) {
    return base::lowerCase(a.key) < base::lowerCase(b.key);
}

std::vector<ThemeChoice> sortedThemes(std::vector<ThemeChoice> themes) {
    std::stable_sort(themes.begin(), themes.end(), keyBefore);
    return themes;
}

QStringList themeNames(const std::vector<ThemeChoice>& themes) {
    if (themes.empty())
        return {preferencesText("None")};
    QStringList names;
    for (const ThemeChoice& theme : themes)
        names << QString::fromStdString(theme.displayName);
    return names;
}

} // namespace

ThemeField::ThemeField(QWidget* panel, int row, const settings::SettingKey& key,
                       std::vector<ThemeChoice> themes)
    : ListField(panel, row, "UI Theme", key, themeNames(sortedThemes(themes))),
      m_themes(sortedThemes(std::move(themes))) {}

void ThemeField::fill(const settings::Settings& settings) {
    const std::string& current = settings.*m_key.text;
    const auto found = std::find_if(m_themes.begin(), m_themes.end(),
                                    [&](const ThemeChoice& theme) { return theme.key == current; });
    m_combo->setCurrentIndex(found == m_themes.end() ? 0
                                                     : static_cast<int>(found - m_themes.begin()));
}

std::string ThemeField::selectedKey(const std::string& fallback) const {
    const int position = m_combo->currentIndex();
    if (position < 0 || position >= static_cast<int>(m_themes.size()))
        return fallback;
    return m_themes[static_cast<size_t>(position)].key;
}

void ThemeField::store(settings::Settings& settings) const {
    settings.*m_key.text = selectedKey(settings.*m_key.text);
}

FormatField::FormatField(QWidget* panel, const settings::SettingKey& key,
                         const std::vector<std::string>& formats, const QIcon& icon, bool describe)
    : ListField(panel, 0, describe ? "Output Format" : "Input Format", key, {}),
      m_formats(formats) {
    const QIcon shown =
        icon.isNull() ? QApplication::style()->standardIcon(QStyle::SP_FileIcon) : icon;
    for (const std::string& format : formats) {
        std::string text = base::upperCase(format);
        if (describe) {
            if (const auto known = imaging::findOutputFormat(format))
                text += " (" + known->description + ")";
        }
        m_combo->addItem(shown, QString::fromStdString(text));
    }
}

void FormatField::fill(const settings::Settings& settings) {
    const auto found = std::find(m_formats.begin(), m_formats.end(), settings.*m_key.text);
    m_combo->setCurrentIndex(m_formats.empty() ? -1
                             : found == m_formats.end()
                                 ? 0
                                 : static_cast<int>(found - m_formats.begin()));
    showSelectedSubPanel();
}

void FormatField::store(settings::Settings& settings) const {
    const int position = m_combo->currentIndex();
    if (position >= 0)
        settings.*m_key.text = m_formats[static_cast<size_t>(position)];
}

void FormatField::addSubPanel(const std::string& format, QWidget* subPanel) {
    m_subPanels[format] = subPanel;
}

void FormatField::showSelectedSubPanel() {
    const int position = m_combo->currentIndex();
    const std::string selected = position >= 0 ? m_formats[static_cast<size_t>(position)] : "";
    for (const auto& [format, subPanel] : m_subPanels)
        subPanel->setVisible(format == selected);
}

const std::vector<const char*>& categoryKeys() {
    static const std::vector<const char*> keys = {"General", "Interface", "Input",
                                                  "Output",  "Transform", "Adjustment",
                                                  "Frame",   "Watermark", "Advanced"};
    return keys;
}

Panels buildPanels(QWidget* window, FieldContext& context, const std::vector<ThemeChoice>& themes,
                   const QIcon& formatIcon) {
    Panels panels;
    auto plain = [&](const char* name) {
        QWidget* panel = plainPanel(window, k_panelArea);
        panel->setObjectName(name);
        panels.categories.push_back(panel);
        return panel;
    };
    auto scrolled = [&](const char* name, int innerHeight) {
        QWidget* area = nullptr;
        QWidget* page = scrollPanel(window, k_panelArea, innerHeight, &area);
        area->setObjectName(name);
        panels.categories.push_back(area);
        return page;
    };
    buildGeneral(plain("General"), panels, context);
    buildInterface(plain("Interface"), panels, context, themes);
    buildFormatPanel(plain("Input"), panels, context, false, formatIcon);
    buildFormatPanel(plain("Output"), panels, context, true, formatIcon);
    buildTransform(scrolled("Transform", 375), panels, context);
    buildAdjustment(scrolled("Adjustment", 285), panels, context);
    buildFrame(plain("Frame"), panels, context);
    buildWatermark(plain("Watermark"), panels, context);
    buildAdvanced(plain("Advanced"), panels, context);
    for (QWidget* category : panels.categories)
        category->hide();
    return panels;
}

} // namespace kx::ui::prefs