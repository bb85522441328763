#include "editor/value_format.h"

#include <cmath>
#include <cstdio>

#include "shell/parameters.h"

namespace larkwire {

namespace {

struct FaderScale {
    int zeroDbPosition;
    double lowerCoefficient;
    double upperCoefficient;
};

const FaderScale& faderScale() {
    static const FaderScale scale = [] {
        const int zero = static_cast<int>(1000.0 * -kFaderLowestDb /
                                              (kFaderHighestDb - kFaderLowestDb) +
                                          0.5);
        return FaderScale{zero, std::pow(double(zero), kFaderCurve) / kFaderLowestDb,
                          std::pow(double(kFaderPositions - zero), kFaderCurve) / kFaderHighestDb};
    }();
    return scale;
}

double decibelsOf(double gain) {
    if (gain < 2.9802322e-8) return -150.0;
    const double db = std::log(gain) * 8.685889638065037;
    return db > -150.0 ? db : -150.0;
}

}  // namespace

int faderZeroDbPosition() { return faderScale().zeroDbPosition; }

void formatParameterValue(std::int32_t index, double value, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return;
    out[0] = '\0';
    if (index < 0 || index >= kParameterCount) return;
    formatValueForRow(parameterTable[index], value, out, size);
}

void formatValueForRow(const ParameterInfo& row, double value, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return;
    const char* prefix = row.minimum == kDecibelKind && value >= 1.0 ? "+" : "";
    double shown;
    if (row.minimum == kDecibelKind) shown = decibelsOf(value);
    else if (row.minimum == kSwitchKind) shown = value >= 0.5 ? 1.0 : 0.0;
    else shown = row.minimum + (value / row.scale) * (row.maximum - row.minimum);
    std::snprintf(out, size, "%s%.*f", prefix, int(row.decimals), shown);
}

double faderPositionToDb(double position) {
    const FaderScale& scale = faderScale();
    const int rounded = static_cast<int>(position + 0.5);
    if (rounded == scale.zeroDbPosition) return 0.0;
    double db;
    if (rounded < scale.zeroDbPosition)
        db = std::pow(scale.zeroDbPosition - position, kFaderCurve) / scale.lowerCoefficient;
    else
        db = std::pow(position - scale.zeroDbPosition, kFaderCurve) / scale.upperCoefficient;
    if (db < kFaderLowestDb + 0.0001) return -1000.0;
    return db;
}

int dbToFaderPosition(double db) {
    const FaderScale& scale = faderScale();
    double position;
    if (db < 0.0)
        position = scale.zeroDbPosition - std::pow(db * scale.lowerCoefficient, 1.0 / kFaderCurve);
    else
        position = scale.zeroDbPosition + std::pow(db * scale.upperCoefficient, 1.0 / kFaderCurve);
    return static_cast<int>(position);
}

}  // namespace larkwire
