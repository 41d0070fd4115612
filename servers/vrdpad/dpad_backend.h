// The backends that print a finished job's documents.
#pragma once

#include <string>

#include "dpad_config.h"
#include "dpad_store.h"

namespace vrcore::dpad {

// Prints document n (1 first) of the job, whose data is read from `in`. The
// directory backend writes it whole under "<job>-<n>[-<document name>]"
// (never a part of it: a temporary file renamed when complete, so a
// repeated print after a crash replaces the same file); the command
// backend runs the printer's command with /bin/sh, the data on its
// standard input and VRDPAD_JOB, VRDPAD_DOCUMENT, VRDPAD_PRINTER and
// VRDPAD_DOCUMENT_NAME in its environment, and succeeds when it exits 0.
bool PrintDocument(const Printer &printer, const Job &job, uint32_t n, int in, std::string *why);

} // namespace vrcore::dpad
