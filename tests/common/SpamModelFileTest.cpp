#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <vector>

#include "common/SpamModelFile.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

std::vector<std::uint8_t> IntactModel() {
    SpamModel model;
    model.shape = SpamFeatureShape{MinSpamBucketBits, 1, 4, 2};
    model.threshold = 0.6F;
    model.bias = -1.0F;
    for (std::size_t i = 0; i < std::size_t{1} << MinSpamBucketBits; ++i) {
        model.weights.push_back(static_cast<float>(i % 7) - 3.0F);
    }
    return SerializeSpamModel(model);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A change behind the check, with the check made right again: what only the numbers' own limits catch.
std::function<void(std::vector<std::uint8_t>&)> Checked(std::size_t offset, std::uint32_t value) {
    return [offset, value](std::vector<std::uint8_t>& bytes) {
        Put32(bytes, offset, value);
        Put32(bytes, 60, SpamModelCheck(bytes));
    };
}

struct DamageRow {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    bool sound;
};
void PrintTo(const DamageRow& row, std::ostream* out) { *out << row.name; }

class SpamModelDamage : public testing::TestWithParam<DamageRow> {};

// The reader takes only a whole, checked model; the handler's cached read of the file says
// the same, so a damaged file judges nothing spam rather than everything.
TEST_P(SpamModelDamage, OnlyASoundFileJudges) {
    const DamageRow& row = GetParam();
    std::vector<std::uint8_t> bytes = IntactModel();
    ASSERT_FALSE(bytes.empty());
    row.damage(bytes);
    EXPECT_EQ(SpamModelView::Parse(bytes).has_value(), row.sound);

    test::TempDevice device;
    const std::filesystem::path file = device.Root() / "SpamModel.dat";
    test::WriteFileBytes(file, bytes);
    const auto verdict = JudgeSpamWithFile(device::ToUtf16(file.string()), u"Claim your prize now");
    EXPECT_EQ(verdict.has_value(), row.sound);
    if (verdict) {
        EXPECT_TRUE(verdict->score > 0.0 && verdict->score < 1.0);
    }
}

constexpr std::uint32_t kNaN = 0x7FC00000u;

INSTANTIATE_TEST_SUITE_P(
    SpamModelFile, SpamModelDamage,
    testing::Values(DamageRow{"Intact", [](auto&) {}, true}, DamageRow{"Empty", [](auto& b) { b.clear(); }, false},
                    DamageRow{"HeaderOnly", [](auto& b) { b.resize(SpamModelHeaderSize); }, false},
                    DamageRow{"LastWeightCut", [](auto& b) { b.pop_back(); }, false},
                    DamageRow{"ByteAppended", [](auto& b) { b.push_back(0); }, false},
                    DamageRow{"OtherMagic", [](auto& b) { b[0] = 'W'; }, false},
                    DamageRow{"LaterVersion", Checked(32, 2), false},
                    DamageRow{"WeightBitFlipped", [](auto& b) { b[SpamModelHeaderSize + 5] ^= 0x10; }, false},
                    DamageRow{"CheckBitFlipped", [](auto& b) { b[61] ^= 0x01; }, false},
                    DamageRow{"TableTooLarge", Checked(36, MaxSpamBucketBits + 1), false},
                    DamageRow{"TableDoesNotMatchSize", Checked(36, MinSpamBucketBits + 1), false},
                    DamageRow{"GramsOutOfOrder", Checked(40, 6), false},
                    DamageRow{"NoWordFeatureKind", Checked(48, 3), false},
                    DamageRow{"ThresholdOne", Checked(52, std::bit_cast<std::uint32_t>(1.0F)), false},
                    DamageRow{"ThresholdNaN", Checked(52, kNaN), false},
                    DamageRow{"BiasInfinite",
                              Checked(56, std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity())), false},
                    DamageRow{"WeightNaN", Checked(SpamModelHeaderSize + 40, kNaN), false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
