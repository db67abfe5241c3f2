#pragma once

// Shared ground of the discovery tests: a clean device table and shared
// state per test, a scripted bus, and a prompter that answers and records.

#include "model/globals.h"
#include "model/prompter.h"
#include "recordingprompter.h"
#include "scriptedbus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace velorix::testing {

class DiscoveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Devices = DeviceTable{};
        bolPortSetup = bolCommFound = false;
        strCommPort.clear();
        strDevIniPath = folder.filePath(QStringLiteral("config/device.ini"));
        useScriptedBus(bus);
        auto recording = std::make_unique<RecordingPrompter>();
        prompts = recording.get();
        setPrompter(std::move(recording));
    }
    void TearDown() override
    {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(intDevObjCount, 0); // every window released its protocol object
        setPrompter(nullptr);
        setSerialBackendFactory({});
    }

    static void configure(int number, std::uint8_t address, std::int16_t type = kDevTypeVelorix5)
    {
        Devices[number].intDevType = type;
        Devices[number].bytBusAddr = address;
    }
    template <typename Control = QWidget>
    static Control *find(const QWidget *window, const char *name)
    {
        return window->findChild<Control *>(QString::fromLatin1(name));
    }
    static QString text(const QWidget *window, const char *name) { return find<QLabel>(window, name)->text(); }
    static void click(const QWidget *window, const char *name) { find<QPushButton>(window, name)->click(); }

    QTemporaryDir folder;
    std::shared_ptr<ScriptedBus> bus = std::make_shared<ScriptedBus>();
    RecordingPrompter *prompts = nullptr;
};

} // namespace velorix::testing
