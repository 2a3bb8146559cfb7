// The recording's reader: the header decides five columns (files written before markers) or
// six, each row must hold that many fields, numbers where numbers belong and a time that does
// not go back. The first fault refuses the file, naming its line.
#include "display/recording_file.h"

#include "display/csv_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

namespace {

constexpr std::string_view HEADER = "time_s,lambda,afr,lambda_raw,stoich";
constexpr std::string_view MARK_HEADER = ",mark";
constexpr int FIELDS = 6;
constexpr std::array<const char*, FIELDS> FieldNames = {"time_s",     "lambda", "afr",
                                                        "lambda_raw", "stoich", "mark"};

int Refuse(RecordingFault& fault, long line, const char* what, const char* field = "") {
    fault.line = line;
    std::snprintf(fault.what.data(), fault.what.size(), "%s%s", what, field);
    return -1;
}

// A field as a finite number; false for anything else.
bool ReadNumber(std::string_view field, double& value) {
    const char* end = field.data() + field.size();
    auto [stop, error] = std::from_chars(field.data(), end, value);
    return error == std::errc() && stop == end && !field.empty() && std::isfinite(value);
}

// A value in [0, limit) as a whole count of steps.
bool ReadScaled(std::string_view field, double steps, double limit, int16_t& value) {
    double number;
    if (!ReadNumber(field, number) || number < 0 || number >= limit)
        return false;
    value = static_cast<int16_t>(std::lround(number * steps));
    return true;
}

// One row's fields into row; the number of fields found, or -1 with the fault.
int ReadRow(std::string_view line, long number, int fields, RecordedRow& row,
            RecordingFault& fault) {
    std::array<std::string_view, FIELDS> field;
    int count = 0;
    for (size_t start = 0;; ++count) {
        size_t comma = line.find(',', start);
        if (count < FIELDS)
            field[static_cast<size_t>(count)] = line.substr(start, comma - start);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    ++count;
    if (count != fields)
        return Refuse(fault, number, count < fields ? "a field is missing" : "a field too many");
    double raw;
    bool good = ReadNumber(field[0], row.seconds);
    int bad = !good                                                ? 0
              : !ReadScaled(field[1], 100, 100, row.lambdaX100)    ? 1
              : !ReadScaled(field[2], 10, 1000, row.afrX10)        ? 2
              : !ReadNumber(field[3], raw) || std::fabs(raw) > 1e6 ? 3
              : !ReadScaled(field[4], 100, 100, row.factorX100)    ? 4
                                                                   : -1;
    if (bad >= 0)
        return Refuse(fault, number, "no number where one belongs in ",
                      FieldNames[static_cast<size_t>(bad)]);
    // A recording's clock counts from its start; beyond 115 days it is not a recorder's.
    if (!(row.seconds >= 0 && row.seconds <= RECORDING_MAX_SECONDS))
        return Refuse(fault, number, "time_s outside 0 to 10000000 s");
    row.lambdaRaw = static_cast<float>(raw);
    row.mark = 0;
    if (fields == FIELDS && !field[5].empty()) {
        double mark;
        if (!ReadNumber(field[5], mark) || mark < 1 || mark > 65535 || mark != std::floor(mark))
            return Refuse(fault, number, "no marker number in mark");
        row.mark = static_cast<uint16_t>(mark);
    }
    return count;
}

std::string_view WithoutLineEnd(std::string_view line) {
    return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

} // namespace

namespace {
constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

int ParseRows(std::string_view text, Recording& recording, RecordingFault& fault) {
    // An editor may put a byte-order mark before the header and blank lines after the rows.
    if (text.starts_with(BYTE_ORDER_MARK))
        text.remove_prefix(BYTE_ORDER_MARK.size());
    while (text.ends_with("\n\n") || text.ends_with("\n\r\n"))
        text.remove_suffix(text.ends_with("\r\n") ? 2 : 1);
    if (text.empty())
        return Refuse(fault, 0, "the file is empty");
    size_t headerEnd = text.find('\n');
    std::string_view header = WithoutLineEnd(text.substr(0, headerEnd));
    int fields = header == HEADER ? FIELDS - 1
                 : header.starts_with(HEADER) && header.substr(HEADER.size()) == MARK_HEADER
                     ? FIELDS
                     : 0;
    if (fields == 0)
        return Refuse(fault, 1, "not the header of a recording of live data");
    // The rows' count is known before they are read, so the store is allocated once; a row
    // takes ten bytes at least, which bounds the store by the file's size, not its line ends.
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    recording.rows.reserve(std::min(lines, text.size() / 10 + 1));
    long number = 1;
    for (size_t start = headerEnd; start != std::string_view::npos && start + 1 < text.size();) {
        ++number;
        size_t end = text.find('\n', start + 1);
        bool last = end == std::string_view::npos; // without its line end
        std::string_view line =
            WithoutLineEnd(text.substr(start + 1, last ? std::string_view::npos : end - start - 1));
        RecordedRow row;
        if (ReadRow(line, number, fields, row, fault) < 0) {
            if (!last)
                return -1;
            fault = RecordingFault{}; // cut short by a killed recorder: left out
            break;
        }
        if (!recording.rows.empty() && row.seconds < recording.rows.back().seconds)
            return Refuse(fault, number, "time_s goes back");
        if (row.mark != 0)
            recording.markRows.push_back(static_cast<uint32_t>(recording.rows.size()));
        recording.rows.push_back(row);
        start = end;
    }
    if (recording.rows.empty())
        return Refuse(fault, 2, "no rows after the header");
    return 0;
}
} // namespace

int ParseRecording(std::string_view text, Recording& recording, RecordingFault& fault) {
    recording.rows.clear();
    recording.markRows.clear();
    fault = RecordingFault{};
    try {
        if (ParseRows(text, recording, fault) == 0)
            return 0;
    } catch (const std::bad_alloc&) {
        Refuse(fault, 0, "too large to open in this computer's memory");
    }
    recording = Recording{};
    return -1;
}

int ReadRecording(const char* path, Recording& recording, RecordingFault& fault) {
    std::string text;
    FileReason reason{};
    int read = -1;
    try {
        read = ReadWholeFile(path, RECORDING_SIZE_LIMIT, text, reason);
    } catch (const std::bad_alloc&) {
        std::snprintf(reason.data(), reason.size(), "%s",
                      "too large to open in this computer's memory");
    }
    if (read != 0) {
        fault = RecordingFault{};
        fault.unreadable = read == -1;
        std::snprintf(fault.what.data(), fault.what.size(), "%s", reason.data());
        return -1;
    }
    return ParseRecording(text, recording, fault);
}

void FormatRecordingFault(const char* name, const RecordingFault& fault, char* text, size_t size) {
    if (fault.line > 0)
        std::snprintf(text, size, "%s, line %ld: %s", name, fault.line, fault.what.data());
    else
        std::snprintf(text, size, "%s: %s", name, fault.what.data());
}

bool IsRowGap(double earlier, double later) {
    return std::llround(later * 1000) - std::llround(earlier * 1000) >
           std::llround(RECORDING_GAP_S * 1000);
}

RecordingFigures FigureRows(const Recording& recording, size_t first, size_t end, TargetBand band) {
    RecordingFigures figures;
    end = std::min(end, recording.rows.size());
    if (first >= end)
        return figures;
    long in = 0, lean = 0, rich = 0, sum = 0;
    int low = recording.rows[first].lambdaX100, high = low;
    for (size_t index = first; index < end; ++index) {
        const RecordedRow& row = recording.rows[index];
        if (index > first) {
            double step = row.seconds - recording.rows[index - 1].seconds;
            if (IsRowGap(recording.rows[index - 1].seconds, row.seconds)) {
                ++figures.gaps;
                figures.longestGapS = std::max(figures.longestGapS, step);
            }
        }
        double lambda = row.lambdaX100 / 100.0;
        in += lambda >= band.low && lambda <= band.high;
        lean += lambda > band.high;
        rich += lambda < band.low;
        sum += row.lambdaX100;
        low = std::min<int>(low, row.lambdaX100);
        high = std::max<int>(high, row.lambdaX100);
    }
    double rows = static_cast<double>(end - first);
    figures.rows = static_cast<long>(end - first);
    // The file's times are in milliseconds; so are their differences.
    auto milliseconds = [](double seconds) { return std::round(seconds * 1000) / 1000; };
    figures.durationS =
        milliseconds(recording.rows[end - 1].seconds - recording.rows[first].seconds);
    figures.longestGapS = milliseconds(figures.longestGapS);
    figures.lambdaMin = low / 100.0;
    figures.lambdaMax = high / 100.0;
    figures.lambdaMean = static_cast<double>(sum) / rows / 100.0;
    figures.shareInBand = static_cast<double>(in) / rows;
    figures.shareLean = static_cast<double>(lean) / rows;
    figures.shareRich = static_cast<double>(rich) / rows;
    return figures;
}

size_t RowAtOrAfter(const Recording& recording, double seconds) {
    auto found =
        std::lower_bound(recording.rows.begin(), recording.rows.end(), seconds,
                         [](const RecordedRow& row, double value) { return row.seconds < value; });
    return static_cast<size_t>(found - recording.rows.begin());
}
