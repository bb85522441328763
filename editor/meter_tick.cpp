#include "editor/meter_tick.h"

#include <cmath>

namespace larkwire {

int peakToTenths(double peak) {
    double db = -150.0;
    if (peak >= 2.9802322e-8) {
        db = std::log(peak) * 8.685889638065037;
        if (db < -150.0) db = -150.0;
        // An infinite sample would make the conversion to int undefined; the
        // largest finite double is about +6154 dB.
        if (db > 6200.0) db = 6200.0;
    }
    return static_cast<int>(std::floor(db * 10.0));
}

MeterReading meterTick(std::atomic<double> (&peaks)[2]) {
    int tenths[2];
    for (int ch = 0; ch < 2; ++ch) {
        double peak = peaks[ch].load();
        tenths[ch] = peakToTenths(peak);
        peaks[ch].compare_exchange_strong(peak, peak * kPeakDecay);
    }
    return {tenths[0], tenths[1]};
}

}  // namespace larkwire
