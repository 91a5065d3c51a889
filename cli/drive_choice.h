// Which drive --drive names: an index in trozflash-cli list, or a device node as users of
// the SCSI tools type it (/dev/sr0, or the drive's generic node /dev/sg1).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace troz::cli {

// The node a drive is listed under for a node the user typed (a link resolved, a generic
// node mapped to its block node); empty when there is none.
using ListedNodeOf = std::function<std::string(const std::string& node)>;

// locations: TAtapi::Location of each listed drive, in list order. False with one line in
// error when the text names no listed drive.
bool ChooseDrive(const std::vector<std::string>& locations, const std::string& text,
                 const ListedNodeOf& listedNodeOf, int& index, std::string& error);

}  // namespace troz::cli
