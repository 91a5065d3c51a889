// What the user-file helpers ask of the system they run on, one implementation in each of
// linux/ and win32/. Only os/ includes this.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace troz::platform {

// How every reason for a file that is not regular begins.
constexpr const char* kNotRegularFile = "not a regular file";

// Opens path for reading when it is a regular file; openError is the errno value of a
// failed open (0 for a file that is there but not regular).
std::FILE* OpenRegular(const std::string& path, std::string& reason, int& openError);

// Writes size bytes of data into a new file at temporary, beside target, flushed to the
// disk, with the permissions target has (a new file gets the usual ones). On failure nothing
// is left at temporary and reason says why.
bool WriteReplacement(const std::filesystem::path& temporary, const std::filesystem::path& target,
                      const void* data, std::size_t size, std::string& reason);

}  // namespace troz::platform
