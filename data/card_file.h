#pragma once

// The card file "test.txt" in the current working directory holds every entry.

constexpr const char* kCardFileName = "test.txt";
// The new content is written here first, then moved over the card file in one step.
constexpr const char* kCardFileTempName = "test.txt.tmp";
// Where the untouched original goes when the card file could not be loaded whole.
constexpr const char* kCardFileBackupName = "test.txt.bak";

// Appends the card file's records to `entries`. A missing file loads nothing and
// creates nothing; a read-only file is loaded like any other.
void loadCardFile();

// Normalises `entries` and replaces the card file's whole content with them.
// Returns false, leaving the old file whole, when the new content could not be
// written safely.
bool saveCardFile();
