// The checker's verdicts: one "ok:" or "FAIL:" line each, counted for the
// exit code. Output is flushed at once so that a crash still shows how far
// the run came.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace larkwire::endpoint_check {

// [main]
class Report {
public:
    bool check(bool passed, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        std::va_list args;
        va_start(args, format);
        std::fputs(passed ? "ok:   " : "FAIL: ", stdout);
        std::vprintf(format, args);
        va_end(args);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        if (!passed) ++failures_;
        return passed;
    }
    void note(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        std::va_list args;
        va_start(args, format);
        std::fputs("      ", stdout);
        std::vprintf(format, args);
        va_end(args);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    int failures() const { return failures_; }
    int exitCode() const { return failures_ == 0 ? 0 : 1; }

private:
    int failures_ = 0;
};

}  // namespace larkwire::endpoint_check
