#pragma once
// Collects what code in the test's own process writes to std::cout while the capture
// lives, so messages can be checked byte for byte without a child process.

#include <iostream>
#include <sstream>
#include <string>

namespace testsupport {

class CoutCapture {
public:
    CoutCapture() : previous_(std::cout.rdbuf(captured_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(previous_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;

    std::string text() const { return captured_.str(); }

private:
    std::ostringstream captured_;
    std::streambuf* previous_;
};

}  // namespace testsupport
