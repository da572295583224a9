#pragma once

#include "engine/conversion_worker.h"
#include "imaging/saving.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace kx::engine {

// A conversion run to BMP with automatic depth and command-line defaults, writing into a
// temporary folder: what the console run sets up before it starts the worker.
class ConversionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        settings::applyDefaults(m_settings, true);
        resetJobState(m_job, m_queue);
        m_job.outputFolder = m_dir.folder();
        m_job.outputFormatKey = "bmp";
        m_job.freeImageFormat = FIF_BMP;
        m_job.autoDepth = true;
        m_job.saveFlags = imaging::computeSaveFlags("bmp", m_settings);
    }

    test::TempDir m_dir;
    settings::Settings m_settings;
    JobState m_job;
    JobQueue m_queue;
    Progress m_progress;
};

} // namespace kx::engine
