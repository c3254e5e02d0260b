#pragma once

#include <QString>
#include <cstdint>

// Numbers as strings of binary digits, most significant digit first. The jukebox's side of the
// protocol builds and reads a frame's two length bytes through such strings; the frame code
// here shifts instead (link/Frame.cpp), with the same result for every length a frame can
// carry. These stay as the reference the benchmarks compare the shift with.

// Value of a digit string: every "1" at position i (counted from the right, from 0) adds 2^i;
// any other character counts as 0. The empty string gives 0. Throws std::overflow_error when
// the value reaches 2^31.
std::int32_t BinToLong(const QString &digits);

// Digit string of value, padded with "0" on the left to at least width digits and never cut.
// 0 gives "0". A negative value is written as its 32-bit two's complement.
QString LongToBin(std::int32_t value, std::uint8_t width);
