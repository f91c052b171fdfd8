// Frame-time statistics and their two reports.
#include "tools/capture/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace capture {

EntryStats Summarise(int entry, std::vector<double> ms)
{
    EntryStats s;
    s.entry = entry;
    s.frames = ms.size();
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    size_t n = ms.size();
    s.mean_ms = std::accumulate(ms.begin(), ms.end(), 0.0) / (double)n;
    s.median_ms = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2.0;
    size_t rank = (size_t)std::ceil(0.99 * (double)n);
    s.p99_ms = ms[std::max<size_t>(rank, 1) - 1];
    s.worst_ms = ms.back();
    return s;
}

void FrameTimes::Add(int entry, double ms)
{
    by_entry_[entry].push_back(ms);
    all_.push_back(ms);
}

std::vector<EntryStats> FrameTimes::PerEntry() const
{
    std::vector<EntryStats> rows;
    for (const auto &e : by_entry_)
        rows.push_back(Summarise(e.first, e.second));
    return rows;
}

EntryStats FrameTimes::Total() const
{
    return Summarise(-1, all_);
}

namespace {

std::string Row(const EntryStats &s)
{
    char line[128];
    char label[16];
    if (s.entry < 0)
        snprintf(label, sizeof label, "%5s", "all");
    else
        snprintf(label, sizeof label, "%5d", s.entry);
    snprintf(line, sizeof line, "%s %8zu %9.2f %9.2f %9.2f %9.2f\n", label, s.frames, s.mean_ms, s.median_ms,
             s.p99_ms, s.worst_ms);
    return line;
}

std::string JsonEntry(const EntryStats &s)
{
    char text[256];
    snprintf(text, sizeof text,
             "\"frames\": %zu, \"mean_ms\": %.4f, \"median_ms\": %.4f, \"p99_ms\": %.4f, \"worst_ms\": %.4f", s.frames,
             s.mean_ms, s.median_ms, s.p99_ms, s.worst_ms);
    return text;
}

std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

} // namespace

std::string BenchTable(const std::vector<EntryStats> &rows, const EntryStats &total)
{
    std::string out = "entry   frames   mean ms median ms    p99 ms  worst ms\n";
    for (const auto &r : rows)
        out += Row(r);
    out += Row(total);
    return out;
}

std::string BenchJson(const std::vector<EntryStats> &rows, const EntryStats &total, int fps,
                      const std::string &renderer)
{
    std::string out = "{\n  \"fps\": " + std::to_string(fps) + ",\n  \"renderer\": " + JsonString(renderer) +
                      ",\n  \"entries\": [\n";
    for (size_t i = 0; i < rows.size(); i++) {
        out += "    {\"entry\": " + std::to_string(rows[i].entry) + ", " + JsonEntry(rows[i]) + "}";
        out += i + 1 < rows.size() ? ",\n" : "\n";
    }
    out += "  ],\n  \"all\": {" + JsonEntry(total) + "}\n}\n";
    return out;
}

} // namespace capture
