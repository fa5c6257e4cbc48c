// Entry points of the fuzz harnesses. Each feeds one input to one loader
// and reports whether the loader accepted it or ended the run with a fatal
// message; anything else (a crash, a sanitizer report, a broken invariant of
// what was loaded) aborts. The libFuzzer drivers and the ordinary test that
// replays the corpus call the same functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velta_fuzz {

enum class Outcome { kAccepted, kFatal };

// The SNP map loader.
Outcome fuzzMapLoader(const std::uint8_t* data, std::size_t size);
// One read-file line parsed against the fixed read map, then walked.
Outcome fuzzReadLine(const std::uint8_t* data, std::size_t size);
// A whole read file loaded against the fixed read map, then walked.
Outcome fuzzReadFile(const std::uint8_t* data, std::size_t size);
// A panel loaded against the fixed panel map, then run through the copying
// model once.
Outcome fuzzPanelLoader(const std::uint8_t* data, std::size_t size);
// The input split into command-line words and parsed; a map named by
// --mfile is loaded. File names are confined to the current folder: every
// '/' of a word becomes '_'. Run it in a scratch folder prepared with
// prepareCommandLineFolder.
Outcome fuzzCommandLine(const std::uint8_t* data, std::size_t size);

// Writes the small files the command-line seeds name (map.txt, reads.txt,
// panel.txt) into the current folder.
void prepareCommandLineFolder();

// The fixed maps the read and panel targets load against.
extern const char kReadMap[];
extern const char kPanelMap[];

}  // namespace velta_fuzz
