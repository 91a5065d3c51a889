#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "drive/atapi.h"
#include "tests/support/drive_fakes.h"

namespace troz::test {
namespace {

using Bytes = std::array<std::uint8_t, 12>;

class CommandCatalogue : public FakeDriveTest {
protected:
    CommandCatalogue() { platform.passThrough.drives[4] = &drive; }
    void SetUp() override {
        Start();
        platform.passThrough.sent.clear();
    }
    const SentBlock& Last() const { return platform.passThrough.sent.back(); }

    ScriptedDrive drive;
    std::uint8_t buffer[100] = {};
};

struct CatalogueCase {
    const char* name;
    std::function<std::uint8_t(TAtapi&, std::uint8_t*)> send;
    Bytes cdb;
    std::uint8_t dataIn;
    std::uint32_t length;
    bool hasBuffer;
};

TEST_F(CommandCatalogue, EveryOperationSendsItsTemplateDirectionAndLength) {
    const std::vector<CatalogueCase> cases = {
        {"TestUnitReady",
         [](TAtapi& a, std::uint8_t*) { return a.TestUnitReady(); },
         {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         2,
         0,
         false},
        {"Inquiry",
         [](TAtapi& a, std::uint8_t* b) { return a.Inquiry(std::span<std::uint8_t, 50>(b, 50)); },
         {0x12, 0, 0, 0, 0x32, 0, 0, 0, 0, 0, 0, 0},
         1,
         50,
         true},
        {"RequestSense",
         [](TAtapi& a, std::uint8_t* b) {
             return a.RequestSense(std::span<std::uint8_t, 18>(b, 18));
         },
         {0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0},
         1,
         18,
         true},
        {"StopPlayScan",
         [](TAtapi& a, std::uint8_t*) { return a.StopPlayScan(); },
         {0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         2,
         0,
         false},
        {"StopUnit",
         [](TAtapi& a, std::uint8_t*) { return a.StopUnit(); },
         {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         2,
         0,
         false},
        {"VendorQuery",
         [](TAtapi& a, std::uint8_t* b) {
             return a.VendorQuery(std::span<std::uint8_t, 10>(b, 10));
         },
         {0x5A, 0, 0x38, 0x54, 0x52, 0xC0, 0, 0, 0, 0, 0, 0},
         1,
         10,
         true},
        {"WriteBuffer",
         [](TAtapi& a, std::uint8_t* b) { return a.WriteBuffer(b, 2, 0x4000, 0x1002); },
         {0x3B, 0x05, 0x01, 0x02, 0x40, 0x00, 0x00, 0x10, 0x02, 0, 0, 0},
         0,
         4098,
         true},
        {"WriteBufferLengthAbove24Bits",
         [](TAtapi& a, std::uint8_t* b) { return a.WriteBuffer(b, 0, 0, 0x01020304); },
         {0x3B, 0x05, 0x01, 0, 0, 0, 0x02, 0x03, 0x04, 0, 0, 0},
         0,
         0x01020304,
         true},
        {"VendorDownloadBlock",
         [](TAtapi& a, std::uint8_t* b) { return a.VendorDownload(b, 5, 3, 0x8000, 0); },
         {0x5A, 0, 0x38, 0x54, 0x52, 0xA0, 0x05, 0x03, 0x80, 0x00, 0x00, 0x00},
         0,
         32768,
         true},
        {"VendorDownloadTrigger",
         [](TAtapi& a, std::uint8_t*) { return a.VendorDownload(nullptr, 4, 0xE8, 0, 0x1234); },
         {0x5A, 0, 0x38, 0x54, 0x52, 0xA0, 0x04, 0xE8, 0x00, 0x00, 0x12, 0x34},
         0,
         0,
         false},
    };
    for (const CatalogueCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.send(*atapi, buffer), kCommandSuccess);
        EXPECT_EQ(Last().cdb, c.cdb);
        EXPECT_EQ(Last().cdbLength, 12);
        EXPECT_EQ(Last().dataIn, c.dataIn);
        EXPECT_EQ(Last().dataTransferLength, c.length);
        EXPECT_EQ(Last().dataBuffer, c.hasBuffer ? static_cast<void*>(buffer) : nullptr);
    }
}

TEST_F(CommandCatalogue, OperationsInARowNeverLeakArgumentsIntoEachOther) {
    atapi->VendorDownload(buffer, 5, 7, 0x1234, 0xBEEF);
    atapi->VendorQuery(std::span(buffer).first<kVendorQueryLength>());
    EXPECT_EQ(Last().cdb, (Bytes{0x5A, 0, 0x38, 0x54, 0x52, 0xC0, 0, 0, 0, 0, 0, 0}));
    atapi->WriteBuffer(buffer, 9, 0xFFFF, 0xFFFFFF);
    atapi->WriteBuffer(buffer, 0, 0, 0);
    EXPECT_EQ(Last().cdb, (Bytes{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    atapi->VendorDownload(buffer, 5, 7, 0x1234, 0xBEEF);
    atapi->VendorDownload(nullptr, 4, 0xE0, 0, 0);
    EXPECT_EQ(Last().cdb, (Bytes{0x5A, 0, 0x38, 0x54, 0x52, 0xA0, 0x04, 0xE0, 0, 0, 0, 0}));
}

TEST_F(CommandCatalogue, StatusOfTheTransportIsReturnedUnchanged) {
    platform.passThrough.replies.push_back({{}, kScsiStatusCheckCondition, {6, 0x29, 0}});
    EXPECT_EQ(atapi->TestUnitReady(), kScsiStatusCheckCondition);
    platform.passThrough.replies.push_back({{}, kScsiStatusBusy, {}});
    EXPECT_EQ(atapi->StopUnit(), kScsiStatusBusy);
}

}  // namespace
}  // namespace troz::test
