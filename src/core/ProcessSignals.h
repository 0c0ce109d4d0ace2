#pragma once

namespace kovrin {

// A write past the process's file-size limit fails with "File too large", like a write to a
// full disk, instead of ending the program with SIGXFSZ: every writer then reports it as the
// write error it is. Called once at start, before any file is written.
void ignoreFileSizeSignal();

}  // namespace kovrin
