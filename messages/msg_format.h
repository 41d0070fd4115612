// The library's own printf family: a formatter with X/Open positional
// arguments ("%2$s", "*1$"), writing through string, bounded-string and
// stream sinks. Internal view shared by the message catalogs, the status
// messages and the tests.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "vrcore/stf.h"

namespace vrcore::messages {

// Highest argument position a positional format may name.
inline constexpr int kMaxPositions = 256;

// Where formatted text goes. Count() is the number of characters the
// output needs, whether or not they all fit.
class Sink {
  public:
    virtual ~Sink() = default;
    virtual void Write(const char *s, size_t n) = 0;
    virtual void Pad(char c, size_t n) = 0;
    virtual bool Failed() const { return false; }
    uint64_t Count() const { return count_; }

  protected:
    uint64_t count_ = 0;
};

// A string buffer of `capacity` bytes (room for the NUL included); at most
// capacity - 1 characters are stored. Finish() writes the NUL.
class StringSink final : public Sink {
  public:
    StringSink(char *buf, size_t capacity) : buf_(buf), cap_(capacity) {}
    void Write(const char *s, size_t n) override;
    void Pad(char c, size_t n) override;
    void Finish();
    void Reset(); // forget everything written (invalid formats)

  private:
    char *buf_;
    size_t cap_;
    size_t pos_ = 0;
};

// A stdio stream, written through a small local buffer.
class StreamSink final : public Sink {
  public:
    explicit StreamSink(FILE *f) : f_(f) {}
    ~StreamSink() override { Flush(); }
    void Write(const char *s, size_t n) override;
    void Pad(char c, size_t n) override;
    bool Failed() const override { return failed_; }
    void Flush();

  private:
    FILE *f_;
    bool failed_ = false;
    size_t used_ = 0;
    char buf_[512];
};

// Formats `format` with variable arguments into `sink`. Returns the number
// of characters written (as Count()), or -1 for an invalid format, a
// failing stream or output longer than INT_MAX.
int FormatV(Sink &sink, const char *format, va_list ap);

// Formats with argument records (type 1 character, 3 integer, 4 double,
// 0x8005 string, 0xC005 counted string). A conversion naming a position
// beyond `count`, or whose class does not match its record, makes the
// format invalid: nothing outside the records is ever read.
int FormatRecords(Sink &sink, const char *format, int count, const STF_ArgRecord *records);

// snprintf-like helpers over FormatRecords.
int SnprintfRecords(char *buf, size_t size, const char *format, int count,
                    const STF_ArgRecord *records);

} // namespace vrcore::messages
