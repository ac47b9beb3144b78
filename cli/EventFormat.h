#pragma once

// Lines of `tindrel watch`: CSV with one header row, or one JSON object per
// line. Pure functions of the event values.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ClassTable.h"

namespace tindrel::cli {

enum class OutputFormat { Csv, Json };

// One event as the writer gets it: its number among the events the library
// delivered (1, 2, ...; a dropped line leaves a gap), the seconds since the
// watch began, and the values.
struct EventLine {
    uint64_t seq = 0;
    double time = 0;
    EventValues values;
};

class EventFormatter {
public:
    EventFormatter(OutputFormat format, std::vector<const EventInfo *> events);

    // "seq,time,event,<columns of every watched event>\n" for CSV; empty for JSON.
    std::string header() const;
    // One line, ending in "\n".
    std::string line(const EventLine &event) const;

    const std::vector<std::string> &columns() const { return columns_; }

private:
    struct Layout {
        const EventInfo *event;
        std::vector<std::vector<size_t>> fieldColumns;   // per field: its columns
    };
    OutputFormat format_;
    std::vector<std::string> columns_;
    std::vector<Layout> layouts_;
};

// A value as JSON: numbers, texts, arrays of numbers; nothing as null.
nlohmann::ordered_json valueToJson(const Value &v);

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string &text);

}   // namespace tindrel::cli
