// tcmu_drive: serves a virtual drive as the user-space backstore of the kernel's SCSI target
// (target_core_user). The guest script creates the backstore and its LUN; this program maps
// the backstore's ring (/dev/uioN), answers each command with the drive model and tells the
// kernel through the uio device.
//
//   tcmu_drive [drive options] /dev/uioN
//
// The target hands the handler only the bytes of a CDB that its opcode's group calls for:
// the 12-byte vendor commands arrive as 10 bytes, so run the drive with
// --trigger-argument-unseen on this path.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "virtual/device_programs/device_program.h"

namespace {

using troz::ServedDrive;

// The ring of <linux/target_core_user.h> (mailbox version 2), read by offset: the header
// itself does not compile as C++ (its struct iovec clashes with the C library's).
namespace ring {
constexpr std::size_t kCmdrOff = 4;
constexpr std::size_t kCmdrSize = 8;
constexpr std::size_t kCmdHead = 12;
constexpr std::size_t kCmdTail = 64;
// An entry: len_op (length, operation in the low 3 bits), then the request or the response.
constexpr std::uint32_t kOpMask = 0x7;
constexpr std::uint32_t kOpCommand = 1;
constexpr std::size_t kIovCount = 8;
constexpr std::size_t kCdbOffset = 24;
constexpr std::size_t kIovs = 48;
constexpr std::size_t kIovSize = 16;  // base (an offset into the map), length
constexpr std::size_t kStatus = 8;
constexpr std::size_t kSense = 16;
constexpr std::size_t kSenseSize = 96;
constexpr std::size_t kResponseSize = kSense + kSenseSize;
}  // namespace ring

template <typename T>
T Read(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The CDB length the SCSI command set gives each opcode group.
std::size_t CdbLengthOf(std::uint8_t opcode) {
    switch (opcode >> 5) {
        case 0:
            return 6;
        case 1:
        case 2:
            return 10;
        case 4:
            return 16;
        case 5:
            return 12;
        default:
            return 10;
    }
}

std::size_t MapSize(const std::string& uioPath) {
    const std::string name = uioPath.substr(uioPath.rfind('/') + 1);
    std::ifstream file("/sys/class/uio/" + name + "/maps/map0/size");
    std::string text;
    file >> text;
    return text.empty() ? 0 : std::stoul(text, nullptr, 0);
}

class Ring {
public:
    explicit Ring(std::uint8_t* base) : base_(base) {}

    // Serves every entry between tail and head; returns how many commands it answered.
    int ServeEntries(ServedDrive& drive) {
        int served = 0;
        const std::uint32_t head = Load(ring::kCmdHead);
        const std::uint32_t offset = Read<std::uint32_t>(base_ + ring::kCmdrOff);
        const std::uint32_t size = Read<std::uint32_t>(base_ + ring::kCmdrSize);
        std::uint32_t tail = Load(ring::kCmdTail);
        while (tail != head) {
            std::uint8_t* entry = base_ + offset + tail;
            const std::uint32_t lengthAndOp = Read<std::uint32_t>(entry);
            if ((lengthAndOp & ring::kOpMask) == ring::kOpCommand) {
                ServeCommand(drive, entry);
                ++served;
            }
            tail = (tail + (lengthAndOp & ~ring::kOpMask)) % size;
            Store(ring::kCmdTail, tail);
        }
        return served;
    }

private:
    std::uint32_t Load(std::size_t field) {
        return __atomic_load_n(reinterpret_cast<std::uint32_t*>(base_ + field), __ATOMIC_ACQUIRE);
    }
    void Store(std::size_t field, std::uint32_t value) {
        __atomic_store_n(reinterpret_cast<std::uint32_t*>(base_ + field), value, __ATOMIC_RELEASE);
    }

    void ServeCommand(ServedDrive& drive, std::uint8_t* entry) {
        const std::uint8_t* cdb = base_ + Read<std::uint64_t>(entry + ring::kCdbOffset);
        const std::uint32_t iovCount = Read<std::uint32_t>(entry + ring::kIovCount);
        std::uint32_t total = 0;
        for (std::uint32_t i = 0; i < iovCount; ++i) {
            total += static_cast<std::uint32_t>(
                Read<std::uint64_t>(entry + ring::kIovs + i * ring::kIovSize + 8));
        }
        // The ring's data area is scattered; the drive model wants one buffer.
        data_.assign(total, 0);
        const std::uint8_t direction =
            total == 0 ? troz::kDirectionNone : troz::DataDirectionOf(cdb);
        if (direction == troz::kDirectionOut) {
            Gather(entry, iovCount, true);
        }
        const ServedDrive::Answer answer =
            drive.Serve(cdb, CdbLengthOf(cdb[0]), direction, data_.data(), total);
        if (answer.delayMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
        }
        if (direction == troz::kDirectionIn) {
            Gather(entry, iovCount, false);
        }
        const troz::DeviceReply& reply = answer.reply;
        std::memset(entry + ring::kStatus, 0, ring::kResponseSize - ring::kStatus);
        if (reply.fault != troz::TransportFault::None) {
            // A drive model that went away still owes the kernel an answer: not ready.
            entry[ring::kStatus] = troz::kScsiStatusCheckCondition;
            const auto sense = troz::MakeFixedSense({0x02, 0x04, 0x00});
            std::memcpy(entry + ring::kSense, sense.data(), sense.size());
        } else {
            entry[ring::kStatus] = reply.scsiStatus;
            if (reply.scsiStatus == troz::kScsiStatusCheckCondition) {
                std::memcpy(entry + ring::kSense, reply.sense.data(), reply.sense.size());
            }
        }
    }

    // Copies between the ring's iovecs and the one buffer: out of the ring when toBuffer.
    void Gather(const std::uint8_t* entry, std::uint32_t iovCount, bool toBuffer) {
        std::size_t at = 0;
        for (std::uint32_t i = 0; i < iovCount; ++i) {
            const std::uint8_t* iov = entry + ring::kIovs + i * ring::kIovSize;
            std::uint8_t* inRing = base_ + Read<std::uint64_t>(iov);
            const std::size_t length = Read<std::uint64_t>(iov + 8);
            if (toBuffer) {
                std::memcpy(data_.data() + at, inRing, length);
            } else {
                std::memcpy(inRing, data_.data() + at, length);
            }
            at += length;
        }
    }

    std::uint8_t* base_;
    std::vector<std::uint8_t> data_;
};

}  // namespace

int main(int argc, char** argv) {
    troz::DeviceProgramOptions options;
    std::string error;
    if (!troz::ParseDeviceProgramOptions(argc, argv, options, error) || options.rest.size() != 1) {
        std::fprintf(stderr, "%s\nusage: tcmu_drive [drive options] /dev/uioN\n%s", error.c_str(),
                     troz::kDeviceProgramUsage);
        return 2;
    }
    const std::string uioPath = options.rest[0];
    const int fd = open(uioPath.c_str(), O_RDWR | O_CLOEXEC);
    const std::size_t size = MapSize(uioPath);
    if (fd < 0 || size == 0) {
        std::fprintf(stderr, "tcmu_drive: cannot open %s\n", uioPath.c_str());
        return 1;
    }
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        std::perror("tcmu_drive: mmap");
        return 1;
    }
    troz::SystemClock clock;
    ServedDrive drive(clock, options);
    Ring ring(static_cast<std::uint8_t*>(map));
    std::fprintf(stderr, "tcmu_drive: serving %s\n", uioPath.c_str());
    for (;;) {
        if (ring.ServeEntries(drive) > 0) {
            std::uint32_t notice = 0;
            if (write(fd, &notice, sizeof notice) != sizeof notice) {
                std::perror("tcmu_drive: write");
                return 1;
            }
            drive.AfterAnswer();
        }
        std::uint32_t events = 0;
        const ssize_t got = read(fd, &events, sizeof events);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != sizeof events) {
            std::perror("tcmu_drive: read");
            return 1;
        }
    }
}
