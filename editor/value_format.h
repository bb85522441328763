// Display text of parameter values, and the faders' decibel scale
// (positions 0..1000 for -90 dB..+24 dB, 0 dB at 789).
#pragma once

#include <cstddef>
#include <cstdint>

namespace larkwire {

constexpr double kFaderLowestDb = -90.0;
constexpr double kFaderHighestDb = 24.0;
constexpr double kFaderCurve = 2.3;
constexpr int kFaderPositions = 1000;

struct ParameterInfo;

// Writes the text of a normalised value as the row describes it.
void formatValueForRow(const ParameterInfo& row, double value, char* out, std::size_t size);

// Writes the text of a normalised value; an index outside the table writes "".
void formatParameterValue(std::int32_t index, double value, char* out, std::size_t size);

// -1000 stands for minus infinity.
double faderPositionToDb(double position);
// May fall outside 0..1000; callers clamp.
int dbToFaderPosition(double db);

int faderZeroDbPosition();

}  // namespace larkwire
