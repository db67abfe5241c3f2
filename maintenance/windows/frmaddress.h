#pragma once

// The device addresser: works on the bus, not on the device table. It
// searches the addresses 128 to 239 for Velorix-5 devices, shows the
// identity at the current address, gives a device a new address, resets
// one device or the whole bus, and flashes firmware ("Flash Device").
//
// A search and a firmware transfer wait between exchanges with events
// running, so the window may be asked to close inside them: the close is
// put off (a search is cancelled, a transfer stopped after the operator's
// Yes) and the close timer closes the window once they have ended.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace velorix {

class ccrpTimer;
class multiVelorix;

class frmaddress : public QWidget
{
    Q_OBJECT
public:
    // The found list starts 255 twips high and grows by 200 per device
    // while it is below 1815.
    static constexpr int kListStartTwips = 255;
    static constexpr int kListGrowTwips = 200;
    static constexpr int kListGrowsBelowTwips = 1815;

    explicit frmaddress(QWidget *parent = nullptr);
    ~frmaddress() override;

    // The window's load: port, bus reset, address lists.
    void load();

    [[nodiscard]] bool isSearching() const { return bolSearching; }
    [[nodiscard]] bool isFlashing() const { return m_flashing; }
    [[nodiscard]] std::uint8_t currentAddress() const { return bytCurAddr; }
    [[nodiscard]] int foundListTwips() const { return m_listTwips; }
    // Pauses of the firmware transfer, shortened by tests.
    void setFlashPauseScale(double scale) { m_flashPauseScale = scale; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdSearch_Click();
    void cmdReturnID_Click();
    void cmdChangeAddr_Click();
    void cmdReset_Click();
    void cmdBusReset_Click();
    void cmdProgram_Click();
    void cmdClose_Click();
    void lstAddr_Click();
    void closeTimer_Timer();
    [[nodiscard]] QString GetHexFileName();
    void ErrorDisplay(std::int16_t code);
    void setListTwips(int twips);

    std::shared_ptr<multiVelorix> m_device;
    ccrpTimer *m_closeTimer = nullptr;
    std::uint8_t bytCurAddr = 0;
    std::uint8_t bytNewAddr = 0;
    std::int16_t intResult = 0;
    bool bolCancelSearch = false;
    bool bolSearching = false;
    bool m_flashing = false;
    bool m_stopTransfer = false;
    bool m_closing = false;
    int m_listTwips = kListStartTwips;
    double m_flashPauseScale = 1.0;
    QString m_lastHexFile;

    QComboBox *cboAddr = nullptr;
    QComboBox *cboSetAddr = nullptr;
    QListWidget *lstAddr = nullptr;
    QLabel *labSearchAddr = nullptr;
    QLabel *labPerCentComplete = nullptr;
    QLineEdit *txtDisplay = nullptr;
    QPushButton *cmdSearch = nullptr;
    QPushButton *cmdCancelSearch = nullptr;
    QPushButton *cmdReturnID = nullptr;
    QPushButton *cmdChangeAddr = nullptr;
    QPushButton *cmdReset = nullptr;
    QPushButton *cmdBusReset = nullptr;
    QPushButton *cmdProgram = nullptr;
    QPushButton *cmdClose = nullptr;
};

} // namespace velorix
