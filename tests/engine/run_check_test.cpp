#include "engine/run_check.h"
#include "tests/support/case_names.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace kx::engine {
namespace {

struct SettingsCase {
    const char* name;
    const char* formatKey;
    std::function<void(settings::Settings&)> change;
    RunProblem problem;
};

class RunSettingsProblem : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(RunSettingsProblem, NamesTheFirstProblem) {
    settings::Settings s;
    settings::applyDefaults(s, true);
    if (GetParam().change)
        GetParam().change(s);
    EXPECT_EQ(runSettingsProblem(s, GetParam().formatKey), GetParam().problem);
}

void resize(settings::Settings& s, int32_t width, int32_t height) {
    s.doImageResize = 1;
    s.imageWidth = width;
    s.imageHeight = height;
}

void correct(settings::Settings& s, int32_t brightness, int32_t contrast, float gamma) {
    s.doImageColorCorrection = 1;
    s.imageBrightness = brightness;
    s.imageContrast = contrast;
    s.imageGamma = gamma;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RunSettingsProblem,
    ::testing::Values(
        SettingsCase{"defaults", "bmp", {}, RunProblem::None},
        SettingsCase{"format_in_capitals", "BMP", {}, RunProblem::InvalidConversionType},
        SettingsCase{"format_not_offered", "png", {}, RunProblem::InvalidConversionType},
        SettingsCase{"depth_of_no_format", "bmp", [](auto& s) { s.bmpBpp = 2; },
                     RunProblem::InvalidDepth},
        SettingsCase{"depth_before_size", "bmp",
                     [](auto& s) {
                         s.bmpBpp = 3;
                         resize(s, 0, 0);
                     },
                     RunProblem::InvalidDepth},
        SettingsCase{"depth_of_the_format", "bmp", [](auto& s) { s.bmpBpp = 24; },
                     RunProblem::None},
        SettingsCase{"width", "bmp", [](auto& s) { resize(s, 0, 0); }, RunProblem::InvalidWidth},
        SettingsCase{"height", "bmp", [](auto& s) { resize(s, 10, 0); }, RunProblem::InvalidHeight},
        SettingsCase{"zero_size_not_resizing", "bmp",
                     [](auto& s) {
                         resize(s, 0, 0);
                         s.doImageResize = 0;
                     },
                     RunProblem::None},
        SettingsCase{"brightness", "bmp", [](auto& s) { correct(s, 101, 0, 1.0f); },
                     RunProblem::InvalidBrightness},
        SettingsCase{"contrast", "bmp", [](auto& s) { correct(s, 0, -101, 1.0f); },
                     RunProblem::InvalidContrast},
        SettingsCase{"gamma", "bmp", [](auto& s) { correct(s, 0, 0, 10.0f); },
                     RunProblem::InvalidGamma},
        SettingsCase{"gamma_not_a_number", "bmp", [](auto& s) { correct(s, 0, 0, NAN); },
                     RunProblem::InvalidGamma},
        SettingsCase{"limits", "bmp", [](auto& s) { correct(s, -100, 100, 0.01f); },
                     RunProblem::None},
        SettingsCase{"out_of_range_not_correcting", "bmp",
                     [](auto& s) {
                         correct(s, 500, 500, 0);
                         s.doImageColorCorrection = 0;
                     },
                     RunProblem::None}),
    test::byName);

TEST(OutputFolderProblem, AnExistingFolderOnly) {
    const test::TempDir dir;
    test::writeFile(dir.file("file"), "x");
    EXPECT_EQ(outputFolderProblem(dir.folder()), RunProblem::None);
    EXPECT_EQ(outputFolderProblem(""), RunProblem::EmptyOutputFolder);
    EXPECT_EQ(outputFolderProblem(dir.file("nowhere") + "/"), RunProblem::MissingOutputFolder);
    EXPECT_EQ(outputFolderProblem(dir.file("file")), RunProblem::MissingOutputFolder);
}

} // namespace
} // namespace kx::engine
