// ValidatePackage: the check that Start runs before anything is sent to a drive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "update/checked_package.h"
#include "update/package_format.h"
#include "update/package_state.h"
#include "update/package_stream.h"
#include "update/update_window.h"

namespace troz {

constexpr const char* kOpenFirmwareFileError = "Err:Open Firmware file Error!!";
constexpr const char* kNotTrozFileSystem = "Err:Not TROZ File system!!";
constexpr const char* kFileChecksumError = "Err:File check sum error!!";
// The header's block sizes reach past the end of the file, or name an empty block.
constexpr const char* kPackageTooShort = "Err:The firmware file ends before its last block!!";
constexpr const char* kEmptyBlock = "Err:Firmware file has a block of size 0!!";

// Checks the package at path: a whole header with the magic, whether the tool can read it
// safely, and the picked image's checksum. Refreshes headerCopy from the file (bytes past a
// short read are zero). Logs one line on each failure; a file that cannot be opened also
// gets its reason through ShowFileError.
bool ValidatePackage(const std::string& path, PackageHeader& headerCopy, const PackageState& state,
                     UpdateWindow& window);
// The same check, which on success leaves the package open in checked, stamped, with the
// sum and block digests of the picked image, for the flash procedures to send from.
bool ValidatePackage(const std::string& path, PackageHeader& headerCopy, const PackageState& state,
                     UpdateWindow& window, CheckedPackage& checked);
// The same check on a package that is already open (it is read from its start): Start
// checks the very file the Open step examined, whatever the name gives now.
bool ValidatePackage(std::shared_ptr<PackageStream> stream, const std::string& path,
                     PackageHeader& headerCopy, const PackageState& state, UpdateWindow& window,
                     CheckedPackage& checked);

// Reads the image's blocks one at a time from the stream's position into buffer (65535
// bytes), descrambles each in a scrambled package and sums them. False when a block size
// is 0 or a block cannot be read in full. The header must have passed PackageRefusal. With
// blockDigests, each block's BlockDigest goes there too.
bool SumImage(PackageStream& stream, const PackageHeader& header, std::uint8_t* buffer,
              std::uint16_t& sum, std::uint64_t* blockDigests = nullptr);

}  // namespace troz
