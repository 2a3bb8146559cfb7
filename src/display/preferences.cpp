// The Preferences dialog's rules.
#include "display/preferences.h"

#include "app/shell.h"
#include "display/lambda_scale.h"
#include "settings/config.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<double>& TargetOf(PreferencesTarget target) {
    return target == TARGET_FROM ? TargetLow : TargetHigh;
}

// The field's number; text that is no number counts as 0, as the C library reads it.
double ReadTarget(std::string_view text) {
    std::string whole(text);
    return std::atof(whole.c_str());
}

} // namespace

std::string FormatTarget(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.2f", value);
    return text.data();
}

std::string TargetFieldText(PreferencesTarget target) {
    return FormatTarget(TargetOf(target).load(std::memory_order_acquire));
}

std::string LeaveTargetField(PreferencesTarget target, std::string_view text) {
    double value = ClampToScale(ReadTarget(text));
    TargetOf(target).store(value, std::memory_order_release);
    return FormatTarget(value);
}

void ConfirmPreferences(int rate, std::string_view fromText, std::string_view toText) {
    ResponseRate.store(rate, std::memory_order_release);
    // The band runs from the lower value to the higher, whichever field holds which.
    TargetBand band = OrderTargets(ReadTarget(fromText), ReadTarget(toText));
    TargetLow.store(band.low, std::memory_order_release);
    TargetHigh.store(band.high, std::memory_order_release);
    WriteConfig();
    RequestRepaintAll();
}
