#pragma once
// Every recognition allocates and frees a few megabytes of working images. By default the C
// library hands freed memory straight back to the kernel (and maps large images afresh each
// time), so the next photograph pays hundreds of page faults. A program that reads photograph
// after photograph calls this once at start-up to keep freed memory for reuse.

namespace karvona::imaging {

/// Returns whether the C library took the settings (false where it has no such settings).
bool KeepFreedMemoryForReuse();

}  // namespace karvona::imaging
