// The addresser's decisions on the simulated bus: the search, the found
// list's entries, what an identity says, and a change of address that can
// never put two devices on one address.

#include "maintenance/core/addresser.h"

#include "maintenancerig.h"

using namespace velorix;
using namespace velorix::testing;

namespace {

using AddresserTest = MaintenanceTest;

TEST_F(AddresserTest, SearchListsEveryVelorix5InOrderStopsWhenCancelledAndAChangeGoesOnlyToAFreeAddress)
{
    QList<std::uint8_t> probed, reported;
    SearchView view;
    view.probing = [&](std::uint8_t address) { probed << address; };
    view.found = [&](std::uint8_t address) { reported << address; };
    const QList<std::uint8_t> found = searchBus(device, view);
    EXPECT_EQ(found, (QList<std::uint8_t>{128, 129, 130, 131}));
    EXPECT_EQ(reported, found);
    EXPECT_EQ(probed.size(), 112);
    EXPECT_EQ(probed.last(), 239);

    probed.clear();
    view.cancelled = [&] { return !probed.isEmpty() && probed.last() == 150; };
    static_cast<void>(searchBus(device, view));
    EXPECT_EQ(probed.last(), 150);

    // A change of address goes only to a free address and is read back.
    garbleAbsent = false; // silence is what tells a free address
    const AddressChange moved = changeAddress(device, 130, 140);
    EXPECT_EQ(moved.outcome, AddressChange::Outcome::Done); // read back at 140 first
    QString identity;
    EXPECT_NE(device.ReturnID(130, identity), 0);

    const std::size_t before = peer->written.size();
    const AddressChange refused = changeAddress(device, 131, 128);
    EXPECT_EQ(refused.outcome, AddressChange::Outcome::AddressInUse);
    EXPECT_EQ(peer->written.size(), before + 1); // only the question at 128: 131 stays
    EXPECT_EQ(addressInUseText(128).left(24), "Address 128 is in use: a");

    const AddressChange nobody = changeAddress(device, 200, 201);
    EXPECT_EQ(nobody.outcome, AddressChange::Outcome::Failed);
    EXPECT_EQ(nobody.code, 1005);
}

TEST(AddresserTexts, EntriesAndIdentityVerdicts)
{
    // (The entries themselves: the addresser window's list.)
    EXPECT_EQ(entryAddress(" 239, EFh"), std::optional<std::uint8_t>(239));
    EXPECT_EQ(entryAddress(" 200"), std::nullopt);

    const struct
    {
        const char *identity;
        const char *text;
        bool beep;
    } cases[] = {
            {"02540200", "Velorix-5 Detected, Product #0254, Version 02.00", false},
            {"02540150", "Velorix-5 version incompatable, Product #0254, Version 01.50", true},
            {"03110102", "Device not a Velorix-5, Product #0311, Version 01.02", false},
    };
    for (const auto &c : cases) {
        const IdentityVerdict verdict
                = identityVerdict(QString::fromLatin1(c.identity), QStringLiteral("02540200"));
        EXPECT_EQ(verdict.text, c.text);
        EXPECT_EQ(verdict.beep, c.beep) << c.identity;
    }
}

} // namespace
