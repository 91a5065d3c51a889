// usb_gadget_drive: serves a virtual drive as a USB mass-storage device (SCSI transparent
// command set, Bulk-Only Transport) through FunctionFS. The guest script makes the configfs
// gadget with one function ffs.NAME and mounts its FunctionFS; this program writes the
// descriptors, then serves command blocks on the bulk endpoints and class requests on ep0.
//
//   usb_gadget_drive [drive options] [--ready-file PATH] FUNCTIONFS_DIR
//
// The command block carries the CDB's length, so the 12-byte vendor commands arrive whole.
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual/device_programs/device_program.h"

namespace {

using troz::ServedDrive;

constexpr std::uint8_t kClassMassStorage = 0x08;
constexpr std::uint8_t kSubclassScsiTransparent = 0x06;
constexpr std::uint8_t kProtocolBulkOnly = 0x50;
constexpr std::uint16_t kFullSpeedPacket = 64;
constexpr std::uint16_t kHighSpeedPacket = 512;

// Bulk-Only Transport.
constexpr std::size_t kCbwLength = 31;
constexpr std::size_t kCswLength = 13;
constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr std::size_t kCbwCdbOffset = 15;
constexpr std::uint8_t kCbwDataIn = 0x80;
constexpr std::uint8_t kCswPassed = 0;
constexpr std::uint8_t kCswFailed = 1;
constexpr std::uint8_t kRequestGetMaxLun = 0xFE;
constexpr std::uint8_t kRequestMassStorageReset = 0xFF;

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}
void Set32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}
std::uint32_t Get32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// One interface with a bulk IN (ep1) and a bulk OUT (ep2) endpoint, at full and high speed.
std::vector<std::uint8_t> Descriptors() {
    std::vector<std::uint8_t> out;
    Put32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(out, 0);  // length, set below
    Put32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    Put32(out, 3);  // descriptors at full speed
    Put32(out, 3);  // and at high speed
    for (const std::uint16_t packet : {kFullSpeedPacket, kHighSpeedPacket}) {
        out.insert(out.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, kClassMassStorage,
                               kSubclassScsiTransparent, kProtocolBulkOnly, 1});
        for (const std::uint8_t address : {std::uint8_t{1 | USB_DIR_IN}, std::uint8_t{2}}) {
            out.insert(out.end(),
                       {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
            Put16(out, packet);
            out.push_back(0);
        }
    }
    Set32(out.data() + 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::uint8_t> Strings() {
    static const char kInterfaceName[] = "TROZ virtual drive";
    std::vector<std::uint8_t> out;
    Put32(out, FUNCTIONFS_STRINGS_MAGIC);
    Put32(out, 0);
    Put32(out, 1);  // strings
    Put32(out, 1);  // languages
    Put16(out, 0x0409);
    out.insert(out.end(), kInterfaceName, kInterfaceName + sizeof kInterfaceName);
    Set32(out.data() + 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

// What ep0 tells the bulk side: a reset (mass-storage reset, or the link going down) makes
// the command in progress be forgotten.
class LinkState {
public:
    void Reset() {
        std::lock_guard lock(mutex_);
        ++generation_;
        changed_.notify_all();
    }
    std::uint64_t Generation() {
        std::lock_guard lock(mutex_);
        return generation_;
    }
    // Waits up to milliseconds; false when a reset came first.
    bool WaitWithoutReset(std::uint32_t milliseconds, std::uint64_t generation) {
        std::unique_lock lock(mutex_);
        return !changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return generation_ != generation; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t generation_ = 0;
};

void ServeControl(int ep0, LinkState& link, ServedDrive& drive) {
    usb_functionfs_event events[4];
    for (;;) {
        const ssize_t got = read(ep0, events, sizeof events);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("usb_gadget_drive: ep0");
            return;
        }
        for (ssize_t i = 0; i < got / static_cast<ssize_t>(sizeof events[0]); ++i) {
            const usb_functionfs_event& event = events[i];
            switch (event.type) {
                case FUNCTIONFS_SETUP: {
                    const usb_ctrlrequest& setup = event.u.setup;
                    const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
                    if (setup.bRequest == kRequestGetMaxLun && in) {
                        const std::uint8_t maxLun = 0;
                        [[maybe_unused]] const ssize_t sent = write(ep0, &maxLun, 1);
                    } else if (setup.bRequest == kRequestMassStorageReset && !in) {
                        drive.Log("mass-storage reset\n");
                        link.Reset();
                        [[maybe_unused]] const ssize_t acked = read(ep0, nullptr, 0);
                    } else if (in) {
                        // Stalled: the opposite direction of the request.
                        [[maybe_unused]] const ssize_t stalled = read(ep0, nullptr, 0);
                    } else {
                        [[maybe_unused]] const ssize_t stalled = write(ep0, nullptr, 0);
                    }
                    break;
                }
                case FUNCTIONFS_DISABLE:
                case FUNCTIONFS_UNBIND:
                    drive.Log("link down (%d)\n", event.type);
                    link.Reset();
                    break;
                case FUNCTIONFS_ENABLE:
                    drive.Log("link up\n");
                    break;
                default:
                    break;
            }
        }
    }
}

// Reads or writes exactly length bytes; false when the link went down on the way.
bool Transfer(int fd, std::uint8_t* data, std::size_t length, bool out) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t moved =
            out ? read(fd, data + done, length - done) : write(fd, data + done, length - done);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

void ServeBulk(int bulkIn, int bulkOut, LinkState& link, ServedDrive& drive) {
    std::vector<std::uint8_t> data;
    // Room for a short packet beyond the command block is what a stray transfer needs.
    std::uint8_t cbw[kHighSpeedPacket];
    for (;;) {
        const ssize_t got = read(bulkOut, cbw, sizeof cbw);
        if (got < 0) {
            // The link went down: the endpoint waits until it is enabled again.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (got != static_cast<ssize_t>(kCbwLength) || Get32(cbw) != kCbwSignature) {
            drive.Log("ignored %zd bytes that are no command block\n", got);
            continue;
        }
        const std::uint64_t generation = link.Generation();
        const std::uint32_t tag = Get32(cbw + 4);
        const std::uint32_t length = Get32(cbw + 8);
        const bool dataIn = (cbw[12] & kCbwDataIn) != 0;
        const std::size_t cdbLength = std::min<std::size_t>(cbw[14] & 0x1F, 16);
        data.assign(length, 0);
        if (length > 0 && !dataIn && !Transfer(bulkOut, data.data(), length, true)) {
            continue;
        }
        const std::uint8_t direction = length == 0
                                           ? troz::kDirectionNone
                                           : (dataIn ? troz::kDirectionIn : troz::kDirectionOut);
        const ServedDrive::Answer answer =
            drive.Serve(cbw + kCbwCdbOffset, cdbLength, direction, data.data(), length);
        if (answer.delayMs > 0 && !link.WaitWithoutReset(answer.delayMs, generation)) {
            drive.Log("command forgotten on the reset\n");
            continue;
        }
        const bool failed = answer.reply.fault != troz::TransportFault::None ||
                            answer.reply.scsiStatus != troz::kScsiStatusGood;
        // The whole data phase goes, padded with zeros: the host reads the lengths the
        // replies carry, and a short transfer ending on a packet boundary would stall it.
        if (length > 0 && dataIn && !Transfer(bulkIn, data.data(), length, false)) {
            continue;
        }
        std::uint8_t csw[kCswLength] = {};
        Set32(csw, kCswSignature);
        Set32(csw + 4, tag);
        csw[12] = failed ? kCswFailed : kCswPassed;
        if (!Transfer(bulkIn, csw, sizeof csw, false)) {
            continue;
        }
        drive.AfterAnswer();
    }
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    troz::DeviceProgramOptions options;
    std::string error;
    std::string readyFile;
    bool parsed = troz::ParseDeviceProgramOptions(argc, argv, options, error);
    std::vector<std::string> rest;
    for (std::size_t i = 0; parsed && i < options.rest.size(); ++i) {
        if (options.rest[i] == "--ready-file" && i + 1 < options.rest.size()) {
            readyFile = options.rest[++i];
        } else {
            rest.push_back(options.rest[i]);
        }
    }
    if (!parsed || rest.size() != 1) {
        std::fprintf(stderr,
                     "%s\nusage: usb_gadget_drive [drive options] [--ready-file PATH] "
                     "FUNCTIONFS_DIR\n%s",
                     error.c_str(), troz::kDeviceProgramUsage);
        return 2;
    }
    const std::string folder = rest[0];
    const int ep0 = open((folder + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0 < 0 || !WriteAll(ep0, Descriptors()) || !WriteAll(ep0, Strings())) {
        std::fprintf(stderr, "usb_gadget_drive: cannot set up %s/ep0: %s\n", folder.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const int bulkIn = open((folder + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    const int bulkOut = open((folder + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
    if (bulkIn < 0 || bulkOut < 0) {
        std::fprintf(stderr, "usb_gadget_drive: cannot open the bulk endpoints: %s\n",
                     std::strerror(errno));
        return 1;
    }
    troz::SystemClock clock;
    ServedDrive drive(clock, options);
    LinkState link;
    std::thread control(ServeControl, ep0, std::ref(link), std::ref(drive));
    if (!readyFile.empty()) {
        if (std::FILE* ready = std::fopen(readyFile.c_str(), "w")) {
            std::fclose(ready);
        }
    }
    std::fprintf(stderr, "usb_gadget_drive: serving %s\n", folder.c_str());
    ServeBulk(bulkIn, bulkOut, link, drive);
    control.join();
    return 0;
}
