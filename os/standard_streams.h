// Standard input, output and error open before anything else is: a program started with one
// of them closed (`trozflash-cli flash ... >&-`) would otherwise hand that descriptor to the
// next file it opens, and its log would be written into that file. On a real drive that file
// is the drive's generic node, opened read-write, where text is taken for a command.
#pragma once

namespace troz {

// Opens the null device on each of the three standard descriptors that is not open. False
// when one could not be: the program must end without writing anything then.
bool EnsureStandardStreams();

}  // namespace troz
