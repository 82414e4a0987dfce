// Copying out of a file mapping without dying when the file shrinks.
//
// A page of a mapped file that now lies past the file's end (another
// process truncated the archive or the pack file after it was mapped)
// raises SIGBUS when it is touched. A copy made through GuardedCopy() turns
// that into a failed copy: a SIGBUS handler, installed once per process,
// jumps back into the copy that faulted when the faulting address lies in
// the range the calling thread is copying from. Any other SIGBUS (a fault
// outside a guarded copy, or one sent by another process) gets the previous
// disposition back and strikes again, so it ends the process as it would
// have without the handler.
#pragma once

#include <cstddef>

// Installs the SIGBUS handler; later calls only report the first result.
// False when it could not be installed: copies from mappings are not safe.
bool InstallCopyGuard();

// Copies n bytes from `from` (inside a read-only file mapping) to `to`.
// False when a source page vanished during the copy; `to` then holds an
// unspecified part of the bytes. InstallCopyGuard() must have succeeded.
bool GuardedCopy(void* to, const void* from, size_t n);
