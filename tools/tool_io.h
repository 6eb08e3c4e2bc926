// What the host tools (packtool, spritetool) share: their messages, reading
// a whole file with a size limit, and writing an output so that a failure
// leaves the output path as it was.
//
// Every message goes to stderr as "TOOL: text", TOOL being the name the
// program gave RunTool. Output goes to a temporary file beside the output
// path and is renamed into place only once every byte is written and the
// file closed. Devices and pipes are written directly: they cannot be
// replaced. An output path that is a symbolic link is written through: the
// file it leads to is replaced in the same way, and the link is kept. A file
// with more than one name (hard links) is refused with a message, since
// replacing it would leave its other names with the old contents and
// writing over it in place would lose it on a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Prints "TOOL: " and the formatted text, with a line end, to stderr.
void ToolMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads the whole file at `path` into `data`. A file larger than `limit`
// bytes is refused, from its size before it is read when it is a regular
// file, with a message that it is more than `most` ("a packed block holds").
// False, with a message naming the file, on any failure.
bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& data, std::uint64_t limit,
                   const char* most);

// Writes `size` bytes to `path` (the target of a symbolic link) through a
// temporary file beside it. False, with a message naming the file, on any
// failure; the path is then as it was and no temporary is left.
bool WriteWholeFile(const char* path, const std::uint8_t* data, std::size_t size);

// Runs `run` as the program `name`: its result is the exit code. A file size
// limit makes writes fail (exit 1) instead of ending the program, and running
// out of memory is reported with exit 1.
int RunTool(const char* name, int (*run)(int argc, char** argv), int argc, char** argv);
