// Bodies of the fuzz targets. Each takes one input of any bytes and length,
// runs it through a part of the program and checks that the results stay
// within their buffers and keep their invariants. A broken invariant is
// reported on stderr and ends the process with abort(), so that the fuzzer
// keeps the input as a crash. The same bodies replay the seed corpora in the
// test suite, where a broken invariant becomes a test failure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelvaro::fuzz {

// The configuration file reader: the input is the whole file.
int FuzzConfigFile(const std::uint8_t* data, std::size_t size);

// The value cipher: the input is a stored value (up to its first NUL); its
// text is also enciphered and deciphered back.
int FuzzDecipher(const std::uint8_t* data, std::size_t size);

// The timestamp helpers: lines "a\nb\nc\nminutes" (missing lines are empty).
int FuzzTimestamps(const std::uint8_t* data, std::size_t size);

// The command line: argument words separated by NUL bytes, at most seven.
int FuzzArgs(const std::uint8_t* data, std::size_t size);

// The message log entry: a 24-byte header (see LogEntryInput in its file),
// then Funktion NUL Message NUL and the dump bytes.
int FuzzLogEntry(const std::uint8_t* data, std::size_t size);

// Called with a broken invariant; it must not return (the replay test's
// handler throws). nullptr restores the default: report on stderr and abort.
using FuzzFailureHandler = void (*)(const char* condition, const char* file, int line);
void SetFuzzFailureHandler(FuzzFailureHandler handler);

// Hands a broken invariant to the handler; aborts if the handler returns.
[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);

}  // namespace pelvaro::fuzz

#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) ::pelvaro::fuzz::FuzzCheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)
