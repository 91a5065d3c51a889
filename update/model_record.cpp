#include "update/model_record.h"

#include <algorithm>

namespace troz {

namespace {

bool SignatureAt(const std::uint8_t* at) {
    return at[0] == kSignatureDeviceType && at[1] == kSignatureRemovable &&
           at[2] == kSignatureVersion &&
           (at[4] == kSignatureShortLength || at[4] == kSignatureLongLength);
}

}  // namespace

std::optional<ModelRecord> FindModelRecord(const std::uint8_t* window, std::size_t length) {
    constexpr std::size_t kReach = kModelRecordDistance + kModelRecordSize;
    static_assert(kReach >= kSignatureLength);
    if (length < kModelRecordScanStart + kReach) {
        return std::nullopt;
    }
    const std::size_t lastStart = length - kReach;
    for (std::size_t p = kModelRecordScanStart; p <= lastStart; ++p) {
        if (!SignatureAt(window + p)) {
            continue;
        }
        ModelRecord record;
        record.signatureOffset = p;
        std::copy_n(window + p + kModelRecordDistance, kModelRecordSize, record.bytes.begin());
        const auto productEnd =
            std::find(record.bytes.begin(), record.bytes.begin() + kTargetProductLength, 0);
        record.targetProduct.assign(record.bytes.begin(), productEnd);
        record.modelCode = {record.bytes[kRecordModelCodeOffset],
                            record.bytes[kRecordModelCodeOffset + 1]};
        return record;
    }
    return std::nullopt;
}

}  // namespace troz
