// Composes and types the dimlinear commands of an ordered chain: adjacent
// segments of equal rounded length form one dimension whose text reads
// count "@" length above the measured total.
#pragma once

#include <cstdint>
#include <string>

#include "dimension/cad_link.h"

namespace tarvel {

// The tier code of the dimension text: "\P" for RadioButton1, else "\X"
// for RadioButton2, else empty.
std::string TierCode(bool radio_button1, bool radio_button2);

// A span rounded to the nearest integer, ties to even. Throws
// InvalidOpError when the value is NaN or of magnitude 2^63 or more, and
// RangeError when the rounded value does not fit 32 bits.
std::int32_t RoundSpan(double span);

// Sends one dimlinear command per group of the chain held in the point
// table (slots 1..PointCount-1, with the dimension-line position in slot
// PointCount; needs PointCount >= 4). An error stops the sending; commands
// sent before it stay sent.
void SendChainedDimensions(CadLink& link, const std::string& dim_direction, bool radio_button1, bool radio_button2);

}  // namespace tarvel
