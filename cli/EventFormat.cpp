#include "EventFormat.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace tindrel::cli {

nlohmann::ordered_json valueToJson(const Value &v)
{
    struct Visitor {
        nlohmann::ordered_json operator()(std::monostate) const { return nullptr; }
        nlohmann::ordered_json operator()(int64_t i) const { return i; }
        nlohmann::ordered_json operator()(uint64_t u) const { return u; }
        nlohmann::ordered_json operator()(double d) const { return d; }
        nlohmann::ordered_json operator()(const std::string &s) const { return s; }
        nlohmann::ordered_json operator()(const std::vector<double> &v) const { return v; }
    };
    return std::visit(Visitor{}, v);
}

namespace {

std::string timeText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

}   // namespace

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

EventFormatter::EventFormatter(OutputFormat format, std::vector<const EventInfo *> events)
    : format_(format)
{
    auto columnFor = [this](const std::string &name) {
        const auto it = std::find(columns_.begin(), columns_.end(), name);
        if (it != columns_.end())
            return static_cast<size_t>(it - columns_.begin());
        columns_.push_back(name);
        return columns_.size() - 1;
    };
    for (const EventInfo *e : events) {
        Layout layout{e, {}};
        for (const EventField &f : e->fields()) {
            std::vector<size_t> cols;
            if (f.arrayLength > 0)
                for (int i = 0; i < f.arrayLength; ++i)
                    cols.push_back(columnFor(f.name + std::to_string(i)));
            else
                cols.push_back(columnFor(f.name));
            layout.fieldColumns.push_back(std::move(cols));
        }
        layouts_.push_back(std::move(layout));
    }
}

std::string EventFormatter::header() const
{
    if (format_ == OutputFormat::Json)
        return {};
    std::string out = "seq,time,event";
    for (const std::string &c : columns_)
        out += "," + csvField(c);
    out += "\n";
    return out;
}

std::string EventFormatter::line(const EventLine &ev) const
{
    const EventInfo *e = ev.values.event;
    if (format_ == OutputFormat::Json) {
        nlohmann::ordered_json j;
        j["seq"] = ev.seq;
        j["time"] = ev.time;
        j["event"] = e ? e->name : "";
        if (e) {
            const auto &fields = e->fields();
            for (size_t i = 0; i < fields.size() && i < ev.values.fields.size(); ++i)
                j[fields[i].name] = valueToJson(ev.values.fields[i]);
        }
        return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    std::vector<std::string> cells(columns_.size());
    for (const Layout &l : layouts_) {
        if (l.event != e)
            continue;
        for (size_t i = 0; i < l.fieldColumns.size() && i < ev.values.fields.size(); ++i) {
            const Value &v = ev.values.fields[i];
            const auto &cols = l.fieldColumns[i];
            const auto *vec = std::get_if<std::vector<double>>(&v);
            if (vec && cols.size() > 1) {
                for (size_t k = 0; k < cols.size() && k < vec->size(); ++k)
                    cells[cols[k]] = formatValue(Value((*vec)[k]));
            } else {
                cells[cols.front()] = formatValue(v);
            }
        }
    }
    std::string out = std::to_string(ev.seq) + "," + timeText(ev.time) + "," + (e ? e->name : "");
    for (const std::string &c : cells)
        out += "," + csvField(c);
    out += "\n";
    return out;
}

}   // namespace tindrel::cli
