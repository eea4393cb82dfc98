// The mixer log file: one line per enumerated index, LF only, rewritten each time, and
// silently absent when it cannot be created.
#include <gtest/gtest.h>

#include <string>

#include "mixer/mixer_device_list.h"
#include "mixer/mixer_log.h"
#include "tests/mixer/fake_mixer.h"
#include "tests/mixer/mixer_log_file.h"

namespace {

void WriteLog(const std::string& content) {
    HANDLE file = CreateFileA(kMixerLogPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

fake::Card NamedCard(const char* name) {
    fake::Card card;
    card.name = name;
    return card;
}

class MixerLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        DeleteFileA(kMixerLogPath);
    }
    void TearDown() override {
        DeleteFileA(kMixerLogPath);
        fake::Reset();
    }
};

TEST_F(MixerLogTest, LogsEveryIndexTheSkippedOnesIncluded) {
    fake::System& system = fake::Current();
    system.cards = {NamedCard("Card A"), NamedCard("Card B")};
    system.waveInMixers = {0, 0, 1, -1};
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, nullptr);

    EXPECT_EQ(devices.Count(), 2);
    EXPECT_EQ(ReadLog(), "Mixer id[0]= 0\nMixer id[1]= 0\nMixer id[2]= 1\nMixer id[3]= -1\n");
    EXPECT_FALSE(processMixerLog.IsOpen());
}

TEST_F(MixerLogTest, EachEnumerationRewritesTheFile) {
    ASSERT_NO_FATAL_FAILURE(WriteLog("an older and much longer log than the next one will be\n"));
    fake::Current().cards = {NamedCard("Card A")};
    fake::Current().waveInMixers = {0};
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, nullptr);
    EXPECT_EQ(ReadLog(), "Mixer id[0]= 0\n");

    fake::Current().waveInMixers.clear();  // no waveIn devices: an empty file
    devices.Enumerate(kMixerKindWaveIn, nullptr);
    EXPECT_EQ(ReadLog(), "");
    EXPECT_EQ(devices.Count(), 0);
}

TEST_F(MixerLogTest, AFileThatCannotBeCreatedIsSkippedSilently) {
    ASSERT_NO_FATAL_FAILURE(WriteLog("held\n"));
    // Another program holds the file unshared: the log cannot be created.
    HANDLE holder = CreateFileA(kMixerLogPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    MixerLog log;
    EXPECT_EQ(log.CreateLog(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(log.IsOpen());
    log.Print("Mixer id[%d]= %d\n", 0, 0);  // nothing to write to: no effect

    fake::Current().cards = {NamedCard("Card A")};
    fake::Current().waveInMixers = {0};
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, nullptr);
    EXPECT_EQ(devices.Count(), 1);
    CloseHandle(holder);
    EXPECT_EQ(ReadLog(), "held\n");
}

TEST_F(MixerLogTest, TheOpenLogIsNotShared) {
    MixerLog log;
    ASSERT_EQ(log.CreateLog(), 0u);
    log.Print("Mixer id[%d]= %d\n", 7, -1);
    EXPECT_EQ(ReadLog(), "<missing>");  // cannot be opened while we hold it
    log.CloseLog();
    EXPECT_EQ(ReadLog(), "Mixer id[7]= -1\n");
}

}  // namespace
