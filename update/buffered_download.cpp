// The buffered download procedure: each block travels with two length bytes in front, in
// WRITE BUFFER pieces of at most 16384 bytes, then the trigger.
#include <algorithm>
#include <array>

#include "drive/sense_data.h"
#include "update/flash_driver.h"

namespace troz {

namespace {

constexpr std::uint8_t kFunctionTrigger = 5;

}  // namespace

const FlashDriver::Procedure FlashDriver::kBufferedProcedure = {
    kBufferedPauseBeforeBlocksMs, &FlashDriver::SendBufferedBlocks,
    &FlashDriver::SendBufferedTrigger, kBufferedNtPauseBeforeWaitMs, WindowEvents::Hold};

bool FlashDriver::BufferedDownload() {
    return RunProcedure(kBufferedProcedure) == Step::Done;
}

FlashDriver::Step FlashDriver::SendBufferedBlocks(OpenImage& image) {
    for (int n = 0; n < header_.BlockCount(); ++n) {
        if (const Step read = ReadBlock(image, n, kBlockLengthBytes); read != Step::Done) {
            return read;
        }
        // The transfer image: the block size, high byte first, then the block.
        const std::uint16_t blockSize = header_.BlockSize(n);
        image.buffer[0] = static_cast<std::uint8_t>(blockSize >> 8);
        image.buffer[1] = static_cast<std::uint8_t>(blockSize);
        if (!SendTransferImage(image.buffer.get(), static_cast<std::uint8_t>(n),
                               blockSize + kBlockLengthBytes)) {
            return Step::Failed;
        }
    }
    return Step::Done;
}

bool FlashDriver::SendTransferImage(const std::uint8_t* transferImage, std::uint8_t blockNumber,
                                    std::uint32_t length) {
    for (std::uint32_t offset = 0; offset < length;) {
        const std::uint32_t piece = std::min(kWriteBufferPieceSize, length - offset);
        MarkDriveBeingWritten();
        const std::uint8_t status = atapi_.WriteBuffer(transferImage + offset, blockNumber,
                                                       static_cast<std::uint16_t>(offset), piece);
        if (status != kCommandSuccess) {
            ReportBlockFailure(blockNumber, status);
            return false;
        }
        offset += piece;
    }
    return true;
}

FlashDriver::TriggerResult FlashDriver::SendBufferedTrigger() {
    TriggerResult trigger = SendTrigger(kFunctionTrigger, TriggerCode(kTriggerCodeF0));
    // The refusal is told by the sense alone, whatever the trigger status says.
    if (!IsParameterListLengthError(trigger.sense)) {
        // Without a resend there is no REQUEST SENSE on either transport: the transport's
        // sense of the trigger itself is what tells whether the drive took it.
        return trigger;
    }
    atapi_.TestUnitReady();
    trigger = SendTrigger(kFunctionTrigger, TriggerCode(kTriggerCodeE0));
    trigger.resent = true;
    if (!atapi_.NtFlag()) {
        return trigger;
    }
    // The resend's own answer carries its sense on this transport.
    const SenseBytes resend = trigger.sense;
    std::array<std::uint8_t, kRequestSenseAllocationLength> reply{};
    const std::uint8_t status = atapi_.RequestSense(reply);
    const SenseBytes sense = ReadSense(reply);
    // A host adapter that fetches the sense itself after every CHECK CONDITION (usb-storage
    // does) leaves this REQUEST SENSE only the drive's state ("no sense", or "medium not
    // present" without a disc): a refused resend would pass for a taken one. The sense that
    // came back with the resend is the refusal; a drive that keeps its sense reports the
    // same one to the REQUEST SENSE.
    if (status != kCommandSuccess || resend.senseKey == kSenseNoSense) {
        trigger.sense = sense;
    }
    return trigger;
}

}  // namespace troz
