#pragma once

// Clean shared state for each test (and, through filekit.h, the program's
// text files).
//
// SharedStateTest resets what the program keeps in globals (model/globals.h:
// the device table, the port in use, the search flags, the paths, the window
// counts), gives each test a working folder of its own (Data and config),
// installs a recording prompter, and at the end checks that every protocol
// object was released, then puts the real ports and prompter back.
// configure() puts a device of a type at a bus address into the table;
// path() names a file in the test's folder.

#include "filekit.h"
#include "recordingprompter.h"

#include "link/portlist.h"
#include "model/globals.h"
#include "protocol/multidevmod.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velorix::testing {

class SharedStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Devices = DeviceTable{};
        bolPortSetup = bolCommFound = false;
        strCommPort.clear();
        intDiagWindows = intExpWindows = 0;
        QDir(folder.path()).mkpath(QStringLiteral("Data"));
        QDir(folder.path()).mkpath(QStringLiteral("config"));
        strDataPath = folder.filePath(QStringLiteral("Data"));
        strDevIniPath = folder.filePath(QStringLiteral("config/device.ini"));
        prompts = RecordingPrompter::install();
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(intDevObjCount, 0); // every window released its protocol object
        setPrompter(nullptr);
        setSerialBackendFactory({});
        clearExtraPorts();
    }

    // Device `number` of the table: a type at a bus address.
    static void configure(int number, std::uint8_t address, std::int16_t type = kDevTypeVelorix5,
                          float version = 0)
    {
        Devices[number].intDevType = type;
        Devices[number].bytBusAddr = address;
        if (version > 0)
            Devices[number].sngVersion = version;
    }
    QString path(const char *name) const { return folder.filePath(QLatin1String(name)); }

    QTemporaryDir folder;
    RecordingPrompter *prompts = nullptr;
};

} // namespace velorix::testing
