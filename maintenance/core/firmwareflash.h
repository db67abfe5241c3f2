#pragma once

// "Flash Device": new firmware into the device at one address. The file is
// checked whole first (hexfile.h); only a good file switches the device into
// program mode, resets the bus and is sent line by line, each record in one
// ProgramData; then the bus is reset again and the device must answer with
// its identity.
//
// The window supplies the file name and shows what this reports through
// FlashView; every message box goes through prompter().

#include "maintenance/core/hexfile.h"

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace velorix {

class multiVelorix;

struct FlashPacing
{
    int afterModeSwitchMs = 1000;  // after the program-mode switch (and its failure's reset)
    int afterResetMs = 1000;       // after each bus reset before the transfer
    int afterLineMs = 25;          // after each line sent
    int beforeFinalResetMs = 5000; // after the last line
    int afterFinalResetMs = 1000;  // before the identity check
};

struct FlashView
{
    std::function<void(const QString &)> showText;    // txtDisplay
    std::function<void(const QString &)> showPercent; // labPerCentComplete
    std::function<void()> beep;
    // Asked before each line; false stops the transfer between two lines.
    std::function<bool()> carryOn;
    // The window the message boxes belong to, asked each time: it may have
    // gone during a pause.
    std::function<QWidget *()> parent;
};

// Memory location 18 takes the program-mode switch, value 19.
constexpr std::uint8_t kProgramModeLocation = 18;
constexpr std::uint8_t kProgramModeValue = 19;

// SendHexFile's codes beside those of ProgramData. A file that cannot be
// opened or read has no code here: the platform's error numbers would read
// as these (2, "no such file", as "Invalid file format").
namespace flash {
constexpr std::int16_t Ok = 0;
constexpr std::int16_t EmptyFile = 1;
constexpr std::int16_t InvalidFormat = 2;
constexpr std::int16_t Stopped = 3; // the window closed during the transfer
} // namespace flash

// "Error sending data file. " followed by what `code` means.
[[nodiscard]] QString sendErrorText(std::int16_t code, std::uint8_t address);
// The same for a file refused by the check, with its line; a file that
// cannot be opened or read is said in words instead, with its name (its
// error number is no transfer code).
[[nodiscard]] QString fileErrorText(const HexImage &image);

class FirmwareFlash
{
public:
    FirmwareFlash(multiVelorix &device, FlashView view, FlashPacing pacing = {});

    // The whole "Flash Device" after the file was chosen.
    void flash(const QString &fileName, std::uint8_t address);

    // Sends the records in order, one ProgramData each, and the percentage
    // after each; ends at the first line the device did not take.
    [[nodiscard]] std::int16_t SendHexFile(const QStringList &records, std::uint8_t address);

private:
    void message(const QString &text);
    void resetBus();

    multiVelorix &m_device;
    FlashView m_view;
    FlashPacing m_pacing;
};

} // namespace velorix
