// System structure labels: the chunks that belong to the device OS itself, recognised by the
// pointers the OS keeps in its low-memory globals, so that a heap dump can name them.
#pragma once

#include <cstdint>

namespace quillwatch {

constexpr int kShellSysLabelSize = 61;  // bytes of a label buffer, the terminator included

// Reads the pointers once (nothing happens while the table exists; a read that fails leaves the
// table absent, so the next dump tries again).
void ShellSysTableBuild();
void ShellSysTableFree();
// The label of the first table entry equal to the chunk's data address, or an empty text when
// none matches or the table is absent.
void ShellSysLabel(uint32_t chunk, char label[kShellSysLabelSize]);

}  // namespace quillwatch
