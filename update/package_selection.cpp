// The Open step: the user picks a package; the step finds the image whose model record fits
// the selected drive, keeps its model code and index, and shows its target product.
#include <algorithm>
#include <memory>

#include "os/user_files.h"
#include "update/model_record.h"
#include "update/package_stream.h"
#include "update/update_workflow.h"

namespace troz {

namespace {

constexpr const char* kOpenFileErrorPrefix = "Err:Open File: ";
constexpr const char* kOpenFileErrorSuffix = " Error!!";

}  // namespace

void UpdateWorkflow::ForgetImageChoice() {
    // Start must refuse a file the Open step did not accept rather than flash it with the
    // image index and target product of an earlier package.
    imageChosen_ = false;
    opened_ = OpenedPackage{};
    state_.imageIndex = 0;
    window_.SetTargetProductText("");
}

void UpdateWorkflow::OpenPackage() {
    if (updateRunning_) {
        window_.AddLogLine(kOpenWhileUpdating);
        return;
    }
    if (!window_.ChoosePackageFile()) {
        return;  // cancelled: everything stays as it was
    }
    atapi_.BeginUserAction();
    ForgetImageChoice();
    const std::string path = window_.PackageFileName();
    const auto opened = std::make_shared<PackageStream>(path);
    PackageStream& file = *opened;
    // Stamped before the first read: whatever Start finds under the name must be this file.
    FileStamp stamp;
    if (!file.IsOpen() || !file.Stamp(stamp)) {
        // The name is shown escaped: a line break in it must not make a log line of its own.
        const std::string name = PrintableName(path);
        window_.AddLogLine(kOpenFileErrorPrefix + name + kOpenFileErrorSuffix);
        window_.ShowFileError("cannot open " + name + ": " +
                              (file.IsOpen() ? std::string("cannot be examined") : file.Failure()));
        return;
    }
    auto& header = headerCopy_.RawBytes();
    const std::size_t headerRead = file.Read(header.data(), header.size());
    std::fill(header.begin() + static_cast<std::ptrdiff_t>(headerRead), header.end(), 0);
    const auto window = AllocateWorkingBuffer();
    if (!window) {
        window_.AddLogLine(kMemoryAllocation);
        return;
    }
    if (!HasPackageExtension(path)) {
        return;
    }
    std::uint64_t windowDigest = 0;
    if (ScanImages(file, window.get(), windowDigest)) {
        opened_ = {opened, stamp, windowDigest};
    }
}

bool UpdateWorkflow::ScanImages(PackageStream& file, std::uint8_t* window,
                                std::uint64_t& windowDigest) {
    std::uint32_t imageCount = 1;
    if (headerCopy_.IsMultiImage()) {
        state_.imageSize = ImageSize(headerCopy_);
        // Only images the checksum table covers can be validated and flashed. Looking further
        // would let a small file with a tiny image size and an image count of 65535 hold the
        // window for seconds, reading and scanning the same bytes again and again.
        imageCount = std::min<std::uint32_t>(headerCopy_.ImageCount(), kImageChecksumEntries);
    }
    // The selected drive's model code, asked once: every image is compared with it.
    std::array<std::uint8_t, 2> driveModelCode{};
    bool driveAsked = false;
    bool recordFound = false;
    for (std::uint32_t k = 0; k < imageCount; ++k) {
        if (k > 0 && !file.Seek(ImagePosition(headerCopy_, static_cast<std::int32_t>(k)))) {
            break;
        }
        if (file.Read(window, kWorkingBufferSize) != kWorkingBufferSize) {
            break;
        }
        if (headerCopy_.IsScrambled()) {
            Descramble(window, kWorkingBufferSize);
        }
        const auto record = FindModelRecord(window, kWorkingBufferSize);
        if (!record) {
            continue;
        }
        recordFound = true;
        state_.modelCode = record->modelCode;
        if (headerCopy_.IsMultiImage()) {
            if (!driveAsked) {
                ReadDriveModelCode(driveModelCode);
                driveAsked = true;
            }
            if (record->modelCode != driveModelCode) {
                continue;
            }
        }
        state_.imageIndex = static_cast<std::int32_t>(k);
        imageChosen_ = true;
        windowDigest = BlockDigest(window, kWorkingBufferSize);
        window_.SetTargetProductText(record->targetProduct);
        return true;
    }
    if (headerCopy_.IsMultiImage() && recordFound) {
        // One refusal for the whole package, not one per image that fits another drive.
        window_.AddLogLine(kRefusalModelCode);
    }
    return false;
}

bool UpdateWorkflow::OpenedFileStillNamed(const std::string& path) const {
    FileStamp open;
    FileStamp named;
    return opened_.stream && opened_.stream->Stamp(open) && open == opened_.stamp &&
           StampOfPath(path, named) && named == opened_.stamp;
}

bool UpdateWorkflow::ChosenWindowUnchanged() {
    const auto window = AllocateWorkingBuffer();
    const std::int32_t imageIndex = headerCopy_.IsMultiImage() ? state_.imageIndex : 0;
    if (!window || !opened_.stream->Seek(ImagePosition(headerCopy_, imageIndex)) ||
        opened_.stream->Read(window.get(), kWorkingBufferSize) != kWorkingBufferSize) {
        return false;
    }
    if (headerCopy_.IsScrambled()) {
        Descramble(window.get(), kWorkingBufferSize);
    }
    return BlockDigest(window.get(), kWorkingBufferSize) == opened_.windowDigest;
}

}  // namespace troz
