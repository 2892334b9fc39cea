#pragma once
// Every installed header needs C++20 (std::span, std::endian). The standard is the
// user's choice (pkg-config names none); an older one is told plainly here rather than
// by the first C++20 name that fails.

#if __cplusplus < 202002L
#error "pcmwrap's headers need C++20 or later: compile with -std=c++20 (or a newer standard)"
#endif
